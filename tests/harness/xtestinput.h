#pragma once

#include <QList>
#include <QPoint>
#include <QRect>
#include <QString>

typedef struct _XDisplay Display;

// Real input on the X server the tests run on, through the XTest extension: the events enter the
// server as a keyboard and a mouse would give them, and reach whichever program's window is under the
// pointer or has the focus. Each call is flushed to the server and synchronised with it.
class XTestInput
{
public:
    XTestInput();
    ~XTestInput();
    XTestInput(const XTestInput &) = delete;
    XTestInput &operator=(const XTestInput &) = delete;

    // The server has the XTest extension and the connection stands.
    bool isValid() const { return m_display && m_hasXTest; }

    struct TopWindow
    {
        unsigned long id = 0;
        QRect geometry;
        QString title; // WM_NAME
    };
    // The mapped top-level windows whose _NET_WM_PID is `pid`.
    QList<TopWindow> mappedWindowsOf(qint64 pid);

    void moveTo(const QPoint &global);
    void button(int button, bool down);
    void click(int button);
    // A key by its X keysym name ("a", "Escape", "Control_L", "KP_Multiply").
    bool key(const QString &keysym, bool down);
    bool tap(const QString &keysym);
    // Gives the keyboard focus to a window, as a window manager does on a click.
    void focus(unsigned long window);
    // Maps a plain window over `rect` and removes it again: the windows below get an expose.
    void exposeOver(const QRect &rect);
    // Whether Caps Lock is on in the server's keyboard state.
    bool capsLockOn();
    void sync();

private:
    Display *m_display = nullptr;
    bool m_hasXTest = false;
};
