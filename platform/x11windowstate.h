#pragma once

#include <QObject>
#include <QPoint>
#include <QString>

class QSocketNotifier;

// What the program asks of the X window manager and the X server for its own top-level windows, on a
// connection of its own (the platform's, when it is X; every call does nothing elsewhere).
namespace X11WindowState {

// Whether an X display is there to talk to.
bool available();
// Asks the window manager to keep the mapped window `window` above the others or to stop doing so
// (the _NET_WM_STATE client message of the desktop window-manager conventions). The native window stays
// the same; nothing happens for 0.
void setKeptAbove(unsigned long window, bool above);
// Tells the window manager (again) that `window` belongs to `owner` (WM_TRANSIENT_FOR), so that it is
// stacked above it and raised with it. Written anew even when unchanged: a manager that read the hint
// while `owner` was not yet managed learns it now. Nothing happens for 0.
void setTransientFor(unsigned long window, unsigned long owner);
// Where the server has the top-left corner of `window` on the root window: the truth after a window
// manager placed or moved it, which the toolkit may learn only later. False without X or for 0.
bool rootPosition(unsigned long window, QPoint *position);

} // namespace X11WindowState

// A key combination grabbed on the X root window: while grabbed, its presses reach this object
// (pressed()) whichever window has the focus, mapped or not. A shortcut text ("Ctrl + Alt + X") names
// the combination; grabbing a new one releases the old one.
class X11KeyGrab : public QObject
{
    Q_OBJECT

public:
    explicit X11KeyGrab(QObject *parent = nullptr);
    ~X11KeyGrab() override;

    // Grabs the combination of `shortcutText`; false when there is no X display, the text names no key
    // of the keyboard, or another client holds the combination.
    bool grab(const QString &shortcutText);
    void release();
    bool isGrabbed() const { return m_keycode != 0; }
    QString grabbedText() const { return m_text; }

    // The X key symbol and modifier mask of a shortcut text; false when it names no key.
    static bool parse(const QString &shortcutText, unsigned long *keysym, unsigned int *modifiers);

signals:
    void pressed();

private:
    void readEvents();
    void changeGrab(bool grab);

    void *m_display = nullptr;
    QSocketNotifier *m_notifier = nullptr;
    unsigned int m_keycode = 0;
    unsigned int m_modifiers = 0;
    QString m_text;
};
