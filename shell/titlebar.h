#pragma once

#include "titlebarbase.h"

#include <QPoint>

class QLabel;
class QPushButton;

// The strip across the top of the two frameless main windows: program icon, instance title, the
// optional-check button with its red dot, the frame-rate label and seven buttons on the right (more,
// keep on top, settings, system information, minimise, maximise, close). It moves its window with the
// window manager's move loop, keeps it on top, switches it between maximised and normal, and forwards
// dialog requests. It owns the process-wide keep-on-top flag (stayOnTopFlag).
class TitleBar : public TitleBarBase
{
    Q_OBJECT

public:
    // Runs the optional environment checks and their dialog with `parent`; true when the dialog's own
    // re-check passed. Installed by the program (the checks are another feature's).
    using OptionalCheckRunner = bool (*)(QWidget *parent);
    static void setOptionalCheckRunner(OptionalCheckRunner runner);

    explicit TitleBar(QWidget *parent);

    void setTitle() override;
    void setWindowKind(int kind) override;
    void setFps(int fps) override;
    void setFpsVisible(bool visible) override;
    void updateMaxButton() override;
    void updateCheckRedDot() override;

    int windowKind() const { return m_windowKind; }
    int buttonWidth() const { return m_curButtonWidth; }
    // True when a press at `pos` (bar coordinates) may start a move of the window.
    bool isDragPoint(const QPoint &pos) const;

    static void setButtonStyle(QPushButton *button, const QString &picture, bool isClose, int width = 34);

public slots:
    void on_title_min_click();
    void on_title_max_click();
    void on_title_more_click();
    void on_title_top_click();
    void on_title_vt_click();

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void layoutBar();

    QWidget *m_host;
    int m_windowKind = 0;
    QPushButton *m_icon;
    QPushButton *m_check;
    QPushButton *m_more;
    QPushButton *m_top;
    QPushButton *m_setting;
    QPushButton *m_systemInfo;
    QPushButton *m_min;
    QPushButton *m_max;
    QPushButton *m_close;
    QLabel *m_title;
    QLabel *m_fps;
    QLabel *m_redDot = nullptr;

    int m_labelHeight = 36;
    int m_buttonWidth = 34;
    int m_buttonHeight = 24;
    int m_rightWidth = 0;
    int m_rightGap = 12;
    int m_leftWidth = 0;
    int m_leftMargin = 10;
    int m_totalWidth = 0;
    int m_iconWidth = 0;
    int m_titleWidth = 0;
    // The title's whole text while the label shows it cut short ("..."); null otherwise.
    QString m_fullTitle;
    int m_checkWidth = 0;
    int m_curRightWidth = 0;
    int m_curRightGap = 12;
    int m_curLeftWidth = 0;
    int m_curLeftMargin = 10;
    int m_curButtonWidth = 34;

    // Our own move loop, where the window manager does not move the window for us.
    bool m_dragging = false;
    QPoint m_pressGlobal;
    QPoint m_pressWindowPos;
};
