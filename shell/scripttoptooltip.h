#pragma once

#include <QPoint>
#include <QWidget>

// The picture bubble that the side bar shows beside its script button once per instance.
class ScriptTopTooltip : public QWidget
{
    Q_OBJECT

public:
    explicit ScriptTopTooltip(QWidget *parent = nullptr);

    // Moves to `pos` (global), shows, and closes after `msec`; a later call moves it again, and the
    // earlier timer still closes it.
    void showAt(QPoint pos, int msec);

protected:
    void paintEvent(QPaintEvent *event) override;
};
