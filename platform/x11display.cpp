#include "x11display.h"

#include <QByteArray>

#include <X11/Xlib.h>

namespace {

Display *display()
{
    // Opened once on first use and kept for the life of the process; null without an X server.
    static Display *const d = [] {
        if (qEnvironmentVariableIsEmpty("DISPLAY"))
            return static_cast<Display *>(nullptr);
        return XOpenDisplay(nullptr);
    }();
    return d;
}

} // namespace

namespace X11Display {

bool compositingManagerRunning()
{
    Display *d = display();
    if (!d)
        return false;
    const QByteArray name = "_NET_WM_CM_S" + QByteArray::number(DefaultScreen(d));
    const Atom selection = XInternAtom(d, name.constData(), False);
    return XGetSelectionOwner(d, selection) != None;
}

bool keyDown(unsigned int keyCode)
{
    Display *d = display();
    if (!d || keyCode > 255)
        return false;
    char keys[32];
    XQueryKeymap(d, keys);
    return (keys[keyCode / 8] >> (keyCode % 8)) & 1;
}

} // namespace X11Display
