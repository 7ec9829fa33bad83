#include "x11windowstate.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QSocketNotifier>
#include <QStringList>
#include <QVariant>

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>

namespace {

// Whether the program's windows are X windows: its GUI runs on the X platform plugin (and not, for
// instance, offscreen, where window ids are no X ids).
bool windowsAreX()
{
    const QCoreApplication *app = QCoreApplication::instance();
    return app && app->property("platformName").toString() == QLatin1String("xcb") &&
           !qEnvironmentVariableIsEmpty("DISPLAY");
}

// One connection of this process for the requests below, opened on first use and kept for the
// process's life (X closes it with the process).
Display *connection()
{
    if (!windowsAreX())
        return nullptr;
    static Display *display = XOpenDisplay(nullptr);
    return display;
}

// The lock keys' modifiers (Caps Lock, Num Lock) must not keep a grabbed combination from matching.
const unsigned int kLockVariants[] = {0, LockMask, Mod2Mask, LockMask | Mod2Mask};

int ignoreErrors(Display *, XErrorEvent *)
{
    return 0;
}

int s_grabError = 0;
int recordGrabError(Display *, XErrorEvent *event)
{
    s_grabError = event->error_code;
    return 0;
}

} // namespace

namespace X11WindowState {

bool available()
{
    return connection() != nullptr;
}

// Asks the window manager to add or remove up to two states of a mapped window.
void changeState(unsigned long window, bool add, const char *first, const char *second)
{
    Display *display = connection();
    if (!display || !window)
        return;
    XEvent event = {};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(display, "_NET_WM_STATE", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = add ? 1 : 0; // _NET_WM_STATE_ADD or _NET_WM_STATE_REMOVE
    event.xclient.data.l[1] = static_cast<long>(XInternAtom(display, first, False));
    event.xclient.data.l[2] = second ? static_cast<long>(XInternAtom(display, second, False)) : 0;
    event.xclient.data.l[3] = 1; // from an application
    XSendEvent(display, DefaultRootWindow(display), False, SubstructureRedirectMask | SubstructureNotifyMask,
               &event);
    XFlush(display);
}

void setKeptAbove(unsigned long window, bool above)
{
    changeState(window, above, "_NET_WM_STATE_ABOVE", nullptr);
}

void setTransientFor(unsigned long window, unsigned long owner)
{
    Display *display = connection();
    if (!display || !window || !owner)
        return;
    const XErrorHandler previous = XSetErrorHandler(ignoreErrors);
    XSetTransientForHint(display, window, owner);
    XSync(display, False);
    XSetErrorHandler(previous);
}

bool rootPosition(unsigned long window, QPoint *position)
{
    Display *display = connection();
    if (!display || !window)
        return false;
    const XErrorHandler previous = XSetErrorHandler(ignoreErrors);
    int x = 0;
    int y = 0;
    Window child = 0;
    const bool ok = XTranslateCoordinates(display, window, DefaultRootWindow(display), 0, 0, &x, &y, &child);
    XSync(display, False);
    XSetErrorHandler(previous);
    if (ok)
        *position = QPoint(x, y);
    return ok;
}

} // namespace X11WindowState

X11KeyGrab::X11KeyGrab(QObject *parent) : QObject(parent) {}

X11KeyGrab::~X11KeyGrab()
{
    release();
    if (m_display)
        XCloseDisplay(static_cast<Display *>(m_display));
}

bool X11KeyGrab::parse(const QString &shortcutText, unsigned long *keysym, unsigned int *modifiers)
{
    const QStringList parts = shortcutText.split(QStringLiteral(" + "));
    if (shortcutText.isEmpty() || parts.isEmpty())
        return false;
    unsigned int mask = 0;
    for (int i = 0; i < parts.size() - 1; ++i) {
        if (parts.at(i) == QLatin1String("Ctrl"))
            mask |= ControlMask;
        else if (parts.at(i) == QLatin1String("Shift"))
            mask |= ShiftMask;
        else if (parts.at(i) == QLatin1String("Alt"))
            mask |= Mod1Mask;
        else
            return false;
    }
    const QString key = parts.last();
    static const struct
    {
        const char *name;
        KeySym sym;
    } named[] = {{"Ctrl", XK_Control_L}, {"Shift", XK_Shift_L}, {"Alt", XK_Alt_L},
                 {"Esc", XK_Escape},     {"Tab", XK_Tab},       {"Backspace", XK_BackSpace},
                 {"Enter", XK_Return},   {"Home", XK_Home},     {"End", XK_End},
                 {"Left", XK_Left},      {"Up", XK_Up},         {"Right", XK_Right},
                 {"Down", XK_Down},      {"PaUp", XK_Prior},    {"PaDown", XK_Next},
                 {"Space", XK_space},    {"^^", XK_asciicircum}};
    KeySym sym = NoSymbol;
    for (const auto &n : named)
        if (key == QLatin1String(n.name))
            sym = n.sym;
    if (sym == NoSymbol && key.size() >= 2 && key.size() <= 3 && key.at(0) == QLatin1Char('F')) {
        bool ok = false;
        const int n = key.mid(1).toInt(&ok);
        if (ok && n >= 1 && n <= 12)
            sym = XK_F1 + n - 1;
    }
    if (sym == NoSymbol && key.size() == 1) {
        const ushort c = key.at(0).toLower().unicode();
        // Latin-1 characters are their own key symbols.
        if (c > 0x20 && c < 0x7f)
            sym = c;
    }
    if (sym == NoSymbol)
        return false;
    // A lone modifier ("Ctrl") is its key with no further modifier; "Ctrl + Shift" is Shift with Ctrl.
    if (sym == XK_Control_L)
        mask &= ~ControlMask;
    if (sym == XK_Shift_L)
        mask &= ~ShiftMask;
    if (sym == XK_Alt_L)
        mask &= ~Mod1Mask;
    *keysym = sym;
    *modifiers = mask;
    return true;
}

bool X11KeyGrab::grab(const QString &shortcutText)
{
    release();
    unsigned long sym = 0;
    unsigned int mask = 0;
    if (!parse(shortcutText, &sym, &mask))
        return false;
    if (!m_display) {
        if (!windowsAreX())
            return false;
        m_display = XOpenDisplay(nullptr);
        if (!m_display)
            return false;
        m_notifier = new QSocketNotifier(ConnectionNumber(static_cast<Display *>(m_display)),
                                         QSocketNotifier::Read, this);
        connect(m_notifier, &QSocketNotifier::activated, this, &X11KeyGrab::readEvents);
    }
    auto *display = static_cast<Display *>(m_display);
    const KeyCode code = XKeysymToKeycode(display, sym);
    if (code == 0)
        return false;
    m_keycode = code;
    m_modifiers = mask;
    s_grabError = 0;
    XSync(display, False);
    const XErrorHandler previous = XSetErrorHandler(recordGrabError);
    changeGrab(true);
    XSync(display, False);
    XSetErrorHandler(previous);
    if (s_grabError != 0) {
        // Another client holds it (BadAccess): nothing of it stays grabbed.
        changeGrab(false);
        XSync(display, False);
        m_keycode = 0;
        return false;
    }
    m_text = shortcutText;
    return true;
}

void X11KeyGrab::release()
{
    if (!m_display || m_keycode == 0)
        return;
    auto *display = static_cast<Display *>(m_display);
    const XErrorHandler previous = XSetErrorHandler(ignoreErrors);
    changeGrab(false);
    XSync(display, False);
    XSetErrorHandler(previous);
    m_keycode = 0;
    m_text.clear();
}

void X11KeyGrab::changeGrab(bool grab)
{
    auto *display = static_cast<Display *>(m_display);
    const Window root = DefaultRootWindow(display);
    for (const unsigned int lock : kLockVariants) {
        if (grab)
            XGrabKey(display, static_cast<int>(m_keycode), m_modifiers | lock, root, False, GrabModeAsync,
                     GrabModeAsync);
        else
            XUngrabKey(display, static_cast<int>(m_keycode), m_modifiers | lock, root);
    }
}

void X11KeyGrab::readEvents()
{
    auto *display = static_cast<Display *>(m_display);
    bool hit = false;
    while (XPending(display)) {
        XEvent event;
        XNextEvent(display, &event);
        if (event.type == KeyPress && m_keycode != 0 && event.xkey.keycode == m_keycode &&
            (event.xkey.state & ~(LockMask | Mod2Mask)) == m_modifiers)
            hit = true;
    }
    if (hit)
        emit pressed();
}
