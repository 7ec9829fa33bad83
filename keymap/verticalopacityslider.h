#pragma once

#include <QWidget>

class QLabel;
class QSlider;

// The opacity of the key-map buttons as a vertical slider, placed in the menu bar's keyboard menu.
// Like OpacityAdjustDialog it only reflects and reports: only a drag of the handle emits sliderMoved;
// the owner keeps it in step with setValue when the opacity changes elsewhere.
class verticalOpacitySlider : public QWidget
{
    Q_OBJECT

public:
    explicit verticalOpacitySlider(QWidget *parent = nullptr);
    ~verticalOpacitySlider() override;

    void setValue(int value);
    int value() const;

signals:
    void sliderMoved(int value);

public slots:
    void sliderMovedSlot(int value);

private:
    QSlider *m_slider;
    QLabel *m_labelValue;
};
