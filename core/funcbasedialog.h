#pragma once

#include <QDialog>
#include <QPoint>
#include <QPointer>

class QWindow;

// Process-wide keep-on-top mode, toggled by the title bar's stay-on-top button; read by the dialogs
// when they are created. GUI thread only.
extern bool stayOnTopFlag;

// The base of the frameless tool dialogs: the user drags the dialog by its top band (the first 60
// pixels), except inside an excluded rectangle where a control keeps its clicks. A dialog created
// while the keep-on-top mode is on stays on top for its whole life.
class FuncBaseDialog : public QDialog
{
public:
    FuncBaseDialog(QWidget *parent, int left, int right, int top, int bottom);

    // True when a press at `pos` (dialog coordinates) starts a drag: above y 60 and not strictly
    // inside the excluded rectangle.
    bool isDragPoint(const QPoint &pos) const;

protected:
    bool event(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void watchWindow();

    int dragExcludeLeft;
    int dragExcludeRight;
    int dragExcludeTop;
    int dragExcludeBottom;

    // The native window whose mouse events are looked at before any child widget sees them.
    QPointer<QWindow> m_watchedWindow;
    // Our own move loop, for platforms that cannot move a window for us.
    bool m_dragging = false;
    QPoint m_pressGlobal;
    QPoint m_pressWindowPos;
};
