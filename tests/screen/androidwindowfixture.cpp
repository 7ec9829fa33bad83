// Puts the Android window through its sizes on the X display it is started on and prints, for each
// state, the window's geometry as the X server has it, the picture's size and offset inside
// "showWindow", and the side menu bar's place:
//   <state> <x> <y> <w> <h> view <w> <h> at <x> <y> menu <x> <y>
// The render library stand-in comes from the player folder; the rotations are reported by the fixture.

#include "androidwindow.h"
#include "global.h"
#include "renderlibrary.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTextStream>
#include <QThread>

#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <thread>

namespace {

QRect serverGeometry(Display *display, WId id)
{
    XWindowAttributes attributes;
    Window child;
    int x = 0, y = 0;
    if (!XGetWindowAttributes(display, id, &attributes) ||
        !XTranslateCoordinates(display, id, DefaultRootWindow(display), 0, 0, &x, &y, &child))
        return QRect();
    return QRect(x, y, attributes.width, attributes.height);
}

// Serves events until the X server shows the window (and the menu bar) where Qt put them.
void settle(Display *display, QWidget *window, QWidget *menu)
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < 3000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        XSync(display, False);
        if (serverGeometry(display, window->winId()) == window->geometry() &&
            (!menu->isVisible() || serverGeometry(display, menu->winId()).topLeft() == menu->pos()))
            return;
    }
}

void report(Display *display, const char *state, AndroidWindow &window)
{
    settle(display, &window, window.menuBar());
    const QRect g = serverGeometry(display, window.winId());
    const AndroidDisplayInfo *info = window.displayInfo();
    const QPoint menu = serverGeometry(display, window.menuBar()->winId()).topLeft();
    QTextStream(stdout) << state << ' ' << g.x() << ' ' << g.y() << ' ' << g.width() << ' ' << g.height()
                        << " view " << info->viewSize.width() << ' ' << info->viewSize.height() << " at "
                        << info->viewPos.x() << ' ' << info->viewPos.y() << " menu " << menu.x() << ' '
                        << menu.y() << '\n';
}

void rotate(float degrees)
{
    // As the render library does: from a thread of its own.
    std::thread([degrees] { RenderLibrary::rotationCallback(degrees); }).join();
}

// A library that reports the rotation again and again, turning to and fro, before it settles.
void rotationStorm(int reports, float last)
{
    std::thread([reports, last] {
        for (int i = 0; i < reports; ++i)
            RenderLibrary::rotationCallback(i % 2 ? 90.0f : 0.0f);
        RenderLibrary::rotationCallback(last);
    }).join();
}

} // namespace

// A desktop whose panels leave the area $ORV_FIXTURE_WORKAREA ("x y w h") free, published on the root
// window as a window manager does (with its check window), before the application reads it. The
// connection stays open for the fixture's life: the check window lives with it.
Display *g_workAreaDisplay = nullptr;

void publishWorkArea()
{
    const QList<QByteArray> f = qgetenv("ORV_FIXTURE_WORKAREA").split(' ');
    if (f.size() != 4)
        return;
    Display *display = XOpenDisplay(nullptr);
    if (!display)
        return;
    const Window root = DefaultRootWindow(display);
    long area[4];
    for (int i = 0; i < 4; ++i)
        area[i] = f.at(i).toLong();
    Atom workArea = XInternAtom(display, "_NET_WORKAREA", False);
    XChangeProperty(display, root, workArea, XA_CARDINAL, 32, PropModeReplace,
                    reinterpret_cast<unsigned char *>(area), 4);
    Window check = XCreateSimpleWindow(display, root, -10, -10, 1, 1, 0, 0, 0);
    const Atom checkAtom = XInternAtom(display, "_NET_SUPPORTING_WM_CHECK", False);
    XChangeProperty(display, root, checkAtom, XA_WINDOW, 32, PropModeReplace,
                    reinterpret_cast<unsigned char *>(&check), 1);
    XChangeProperty(display, check, checkAtom, XA_WINDOW, 32, PropModeReplace,
                    reinterpret_cast<unsigned char *>(&check), 1);
    XChangeProperty(display, root, XInternAtom(display, "_NET_SUPPORTED", False), XA_ATOM, 32,
                    PropModeReplace, reinterpret_cast<unsigned char *>(&workArea), 1);
    XSync(display, False);
    g_workAreaDisplay = display;
}

int main(int argc, char *argv[])
{
    publishWorkArea();
    QApplication app(argc, argv);
    Global::vmName = QStringLiteral("Orvanta_9");
    if (RenderLibrary::instance().load(QStringLiteral("gl"), QStringLiteral(ORV_PLAYER_DIR)) != 1)
        return 2;
    Display *display = XOpenDisplay(nullptr);
    if (!display)
        return 3;

    AndroidWindow window;
    // The remembered heights of the example: 1316 portrait, 760 landscape.
    window.setStartupHeights(1316, 760);
    window.init();
    window.move(10, 20);
    window.show();
    report(display, "portrait", window);
    rotate(90);
    report(display, "landscape", window);
    window.at_window_max();
    report(display, "maximized-landscape", window);
    window.at_window_normal();
    report(display, "normal-landscape", window);
    rotate(180);
    report(display, "portrait-again", window);
    window.at_window_max();
    report(display, "maximized-portrait", window);
    window.at_window_normal();
    window.at_window_full();
    report(display, "full-portrait", window);
    window.at_window_normal();
    report(display, "normal-portrait", window);
    int rotationsTaken = 0;
    QObject::connect(&window, &AndroidWindow::rotation_changed, &window, [&] { ++rotationsTaken; });
    rotationStorm(2000, 270);
    report(display, "after-storm", window);
    // Reports that pile up while the window is busy are taken as one: the last.
    QTextStream(stdout) << "storm-reports-taken " << rotationsTaken << '\n';
    window.stopRender();
    XCloseDisplay(display);
    return 0;
}
