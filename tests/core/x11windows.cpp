#include "x11windows.h"

#include <QFile>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace {

QString programOf(unsigned long pid)
{
    QFile comm(QStringLiteral("/proc/%1/comm").arg(pid));
    return comm.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(comm.readAll()).trimmed() : QString();
}

unsigned long windowPid(Display *display, Window window)
{
    const Atom pidAtom = XInternAtom(display, "_NET_WM_PID", True);
    if (pidAtom == None)
        return 0;
    Atom type = None;
    int format = 0;
    unsigned long count = 0;
    unsigned long after = 0;
    unsigned char *data = nullptr;
    unsigned long pid = 0;
    if (XGetWindowProperty(display, window, pidAtom, 0, 1, False, XA_CARDINAL, &type, &format, &count, &after,
                           &data) == Success &&
        data && count == 1 && format == 32)
        pid = *reinterpret_cast<unsigned long *>(data);
    if (data)
        XFree(data);
    return pid;
}

int ignoreXError(Display *, XErrorEvent *)
{
    return 0;
}

} // namespace

unsigned long X11Windows::findWindowOf(const QString &program, const QString &title, qint64 pid)
{
    Display *display = XOpenDisplay(nullptr);
    if (!display)
        return 0;
    // Other programs create and destroy windows meanwhile: a window gone between the listing and its
    // questions is skipped instead of ending this process through Xlib's default error handler.
    const XErrorHandler previous = XSetErrorHandler(ignoreXError);
    Window root = 0;
    Window parent = 0;
    Window *children = nullptr;
    unsigned int count = 0;
    unsigned long found = 0;
    if (XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &count)) {
        for (unsigned int i = 0; i < count && !found; ++i) {
            XWindowAttributes attributes;
            if (!XGetWindowAttributes(display, children[i], &attributes) ||
                attributes.map_state != IsViewable)
                continue;
            const unsigned long owner = windowPid(display, children[i]);
            if (owner && programOf(owner) == program && (pid == 0 || static_cast<qint64>(owner) == pid) &&
                (title.isEmpty() || X11Windows::title(children[i]) == title))
                found = children[i];
        }
        if (children)
            XFree(children);
    }
    XSync(display, False);
    XSetErrorHandler(previous);
    XCloseDisplay(display);
    return found;
}

QString X11Windows::title(unsigned long window)
{
    Display *display = XOpenDisplay(nullptr);
    if (!display)
        return QString();
    const XErrorHandler previous = XSetErrorHandler(ignoreXError);
    QString text;
    Atom type = None;
    int format = 0;
    unsigned long count = 0;
    unsigned long after = 0;
    unsigned char *data = nullptr;
    const Atom netName = XInternAtom(display, "_NET_WM_NAME", False);
    const Atom utf8 = XInternAtom(display, "UTF8_STRING", False);
    if (XGetWindowProperty(display, window, netName, 0, 1024, False, utf8, &type, &format, &count, &after,
                           &data) == Success &&
        data && format == 8)
        text = QString::fromUtf8(reinterpret_cast<const char *>(data), static_cast<int>(count));
    if (data)
        XFree(data);
    char *name = nullptr;
    if (text.isEmpty() && XFetchName(display, window, &name) && name) {
        text = QString::fromLocal8Bit(name);
        XFree(name);
    }
    XSync(display, False);
    XSetErrorHandler(previous);
    XCloseDisplay(display);
    return text;
}

QImage X11Windows::grab(unsigned long window)
{
    Display *display = XOpenDisplay(nullptr);
    if (!display)
        return QImage();
    QImage picture;
    XWindowAttributes attributes;
    if (XGetWindowAttributes(display, window, &attributes)) {
        XImage *image = XGetImage(display, window, 0, 0, static_cast<unsigned>(attributes.width),
                                  static_cast<unsigned>(attributes.height), AllPlanes, ZPixmap);
        if (image) {
            picture = QImage(attributes.width, attributes.height, QImage::Format_RGB32);
            for (int y = 0; y < attributes.height; ++y)
                for (int x = 0; x < attributes.width; ++x)
                    picture.setPixel(x, y, static_cast<QRgb>(XGetPixel(image, x, y)) | 0xff000000u);
            XDestroyImage(image);
        }
    }
    XCloseDisplay(display);
    return picture;
}

bool X11Windows::close(unsigned long window)
{
    Display *display = XOpenDisplay(nullptr);
    if (!display)
        return false;
    XEvent event = {};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    const bool sent = XSendEvent(display, window, False, NoEventMask, &event) != 0;
    XFlush(display);
    XCloseDisplay(display);
    return sent;
}
