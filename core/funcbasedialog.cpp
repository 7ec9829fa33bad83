#include "funcbasedialog.h"

#include "x11windowstate.h"

#include <QMouseEvent>
#include <QWindow>

bool stayOnTopFlag = false;

namespace {
constexpr int kDragBandHeight = 60;
}

FuncBaseDialog::FuncBaseDialog(QWidget *parent, int left, int right, int top, int bottom)
    : QDialog(parent, Qt::Tool | Qt::FramelessWindowHint), dragExcludeLeft(left), dragExcludeRight(right),
      dragExcludeTop(top), dragExcludeBottom(bottom)
{
    Qt::WindowFlags flags = windowFlags();
    if (stayOnTopFlag)
        flags |= Qt::WindowStaysOnTopHint;
    else
        flags &= ~Qt::WindowStaysOnTopHint;
    setWindowFlags(flags);
}

bool FuncBaseDialog::isDragPoint(const QPoint &pos) const
{
    const int x = pos.x();
    const int y = pos.y();
    const bool excluded =
        dragExcludeLeft < x && x < dragExcludeRight && dragExcludeTop < y && y < dragExcludeBottom;
    return !excluded && y < kDragBandHeight;
}

bool FuncBaseDialog::event(QEvent *event)
{
    // The native window exists from the first show on (and is made anew when the flags change), so
    // look for it whenever the dialog is shown.
    if (event->type() == QEvent::Show)
        watchWindow();
    return QDialog::event(event);
}

void FuncBaseDialog::watchWindow()
{
    QWindow *window = windowHandle();
    if (!window || window == m_watchedWindow)
        return;
    if (m_watchedWindow)
        m_watchedWindow->removeEventFilter(this);
    m_watchedWindow = window;
    window->installEventFilter(this);
}

bool FuncBaseDialog::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != m_watchedWindow)
        return QDialog::eventFilter(watched, event);

    switch (event->type()) {
    case QEvent::MouseButtonPress: {
        auto *mouse = static_cast<QMouseEvent *>(event);
        if (mouse->button() != Qt::LeftButton || !isDragPoint(mouse->pos()))
            break;
        // The dialog follows the pointer from here. (A window manager's move loop, as startSystemMove
        // asks for it, starts from the pointer's last position known to the toolkit, which need not be
        // this press: the first drag would jump.) The position is the server's, which a window manager
        // may have changed before the toolkit heard of it.
        m_dragging = true;
        m_pressGlobal = mouse->globalPos();
        m_pressWindowPos = pos();
        QPoint real;
        if (X11WindowState::rootPosition(winId(), &real))
            m_pressWindowPos = real;
        return true;
    }
    case QEvent::MouseMove:
        if (m_dragging) {
            auto *mouse = static_cast<QMouseEvent *>(event);
            move(m_pressWindowPos + (mouse->globalPos() - m_pressGlobal));
            return true;
        }
        break;
    case QEvent::MouseButtonRelease:
        if (m_dragging && static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton) {
            m_dragging = false;
            return true;
        }
        break;
    default:
        break;
    }
    return QDialog::eventFilter(watched, event);
}
