#pragma once

#include <QPixmap>
#include <QWidget>

class QTimer;

// The painted progress bar at the bottom of the start-up window. The worker announces steps as
// (start, end) pairs; the bar lets its target climb one percent a second toward the step's end and
// lets the shown value creep after the target in small ticks, so it keeps moving during a long step and
// never goes down. When the shown value reaches 100 it says so once with process_100().
class ProgressBar : public QWidget
{
    Q_OBJECT

public:
    explicit ProgressBar(QWidget *parent = nullptr);

    // Gives the bar its size; the scale (pixels per percent) follows the width.
    void setBarSize(int width, int height);

    double current() const { return m_current; }
    double target() const { return m_start; }
    double stepEnd() const { return m_end; }
    bool isDone() const { return m_done; }
    // The text shown in the bubble ("35%").
    QString percentText() const;

    // One tick of each timer; public so that the timing rule can be driven step by step.
    void stepTick();
    void secondTick();

signals:
    void process_100();

public slots:
    void setProgress(int start, int end);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    // Restarts the millisecond tick when the target is ahead of the shown value.
    void resumeStepping();

    double m_current = 1.0;
    double m_scale = 0.0;
    QPixmap m_textBackground;
    double m_start = 0.0;
    double m_end = 0.0;
    QTimer *m_stepTimer;
    QTimer *m_secondTimer;
    bool m_done = false;
};
