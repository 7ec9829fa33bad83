#include "xtestinput.h"

#include <X11/XKBlib.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

XTestInput::XTestInput() : m_display(XOpenDisplay(nullptr))
{
    if (!m_display)
        return;
    int event = 0, error = 0, major = 0, minor = 0;
    m_hasXTest = XTestQueryExtension(m_display, &event, &error, &major, &minor);
}

XTestInput::~XTestInput()
{
    if (m_display)
        XCloseDisplay(m_display);
}

void XTestInput::sync()
{
    XSync(m_display, False);
}

QList<XTestInput::TopWindow> XTestInput::mappedWindowsOf(qint64 pid)
{
    QList<TopWindow> windows;
    // Windows of other programs come and go meanwhile: one gone between the listing and its questions
    // is skipped instead of ending this process through Xlib's default error handler.
    const XErrorHandler previous = XSetErrorHandler([](Display *, XErrorEvent *) { return 0; });
    const Atom pidAtom = XInternAtom(m_display, "_NET_WM_PID", True);
    Window root = DefaultRootWindow(m_display), parent = 0, *children = nullptr;
    unsigned count = 0;
    if (pidAtom != None && XQueryTree(m_display, root, &root, &parent, &children, &count)) {
        for (unsigned i = 0; i < count; ++i) {
            XWindowAttributes attributes;
            if (!XGetWindowAttributes(m_display, children[i], &attributes) ||
                attributes.map_state != IsViewable)
                continue;
            Atom type;
            int format;
            unsigned long items, after;
            unsigned char *data = nullptr;
            if (XGetWindowProperty(m_display, children[i], pidAtom, 0, 1, False, XA_CARDINAL, &type, &format,
                                   &items, &after, &data) == Success &&
                data && items == 1 &&
                *reinterpret_cast<unsigned long *>(data) == static_cast<unsigned long>(pid)) {
                char *name = nullptr;
                QString title;
                if (XFetchName(m_display, children[i], &name) && name) {
                    title = QString::fromLocal8Bit(name);
                    XFree(name);
                }
                windows.append({children[i],
                                QRect(attributes.x, attributes.y, attributes.width, attributes.height),
                                title});
            }
            if (data)
                XFree(data);
        }
        XFree(children);
    }
    XSync(m_display, False);
    XSetErrorHandler(previous);
    return windows;
}

void XTestInput::moveTo(const QPoint &global)
{
    XTestFakeMotionEvent(m_display, -1, global.x(), global.y(), CurrentTime);
    sync();
}

void XTestInput::button(int button, bool down)
{
    XTestFakeButtonEvent(m_display, static_cast<unsigned>(button), down ? True : False, CurrentTime);
    sync();
}

void XTestInput::click(int b)
{
    button(b, true);
    button(b, false);
}

bool XTestInput::key(const QString &keysym, bool down)
{
    const KeySym sym = XStringToKeysym(keysym.toLatin1().constData());
    if (sym == NoSymbol)
        return false;
    const KeyCode code = XKeysymToKeycode(m_display, sym);
    if (code == 0)
        return false;
    XTestFakeKeyEvent(m_display, code, down ? True : False, CurrentTime);
    sync();
    return true;
}

bool XTestInput::tap(const QString &keysym)
{
    return key(keysym, true) && key(keysym, false);
}

void XTestInput::focus(unsigned long window)
{
    XSetInputFocus(m_display, window, RevertToParent, CurrentTime);
    sync();
}

void XTestInput::exposeOver(const QRect &rect)
{
    const Window cover = XCreateSimpleWindow(m_display, DefaultRootWindow(m_display), rect.x(), rect.y(),
                                             static_cast<unsigned>(rect.width()),
                                             static_cast<unsigned>(rect.height()), 0, 0, 0);
    XSetWindowAttributes attributes;
    attributes.override_redirect = True;
    XChangeWindowAttributes(m_display, cover, CWOverrideRedirect, &attributes);
    XMapRaised(m_display, cover);
    sync();
    XDestroyWindow(m_display, cover);
    sync();
}

bool XTestInput::capsLockOn()
{
    unsigned state = 0;
    if (XkbGetIndicatorState(m_display, XkbUseCoreKbd, &state) != Success)
        return false;
    return state & 1u;
}
