#pragma once

#include <QImage>
#include <QString>

// A few questions a user's eye and hand answer about windows on the X display of the test run,
// asked of the X server directly. Every call opens its own connection.
namespace X11Windows {

// The viewable top-level window of the process whose program name (as in /proc/<pid>/comm) is
// `program`, and when given, whose title is `title` and whose process is `pid`; 0 when there is none.
unsigned long findWindowOf(const QString &program, const QString &title = QString(), qint64 pid = 0);
// The window's title (_NET_WM_NAME, else WM_NAME) as the window manager shows it; empty when unset.
QString title(unsigned long window);
// The window's picture as the X server holds it; a null image when it cannot be read.
QImage grab(unsigned long window);
// Asks the window to close as the window manager's close button does (WM_DELETE_WINDOW).
bool close(unsigned long window);

} // namespace X11Windows
