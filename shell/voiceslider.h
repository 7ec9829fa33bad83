#pragma once

#include <QWidget>

class QLabel;
class QSlider;

// The volume control of the side bar's voice menu: a vertical slider from 0 to 15 and the value in
// percent below it.
class VoiceSlider : public QWidget
{
    Q_OBJECT

public:
    static constexpr int kMaximum = 15;

    explicit VoiceSlider(QWidget *parent = nullptr);

    // Sets the slider (no signal) and the label.
    void setValue(int value);
    int value() const;
    QSlider *slider() const { return m_slider; }
    QLabel *label() const { return m_label; }

    // value / 15 in whole percent, e.g. "66%" for 10.
    static QString percentText(int value);

signals:
    void sliderReleased(int value);

public slots:
    void sliderMovedSlot(int value);
    void sliderReleasedSlot();

private:
    QSlider *m_slider;
    QLabel *m_label;
};
