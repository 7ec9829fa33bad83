#pragma once

#include <QDialog>
#include <QString>

class QLabel;
class QPushButton;
class QSlider;
class QWidget;

// Shown right after a key map is saved: names the hot key that switches key control on and off and
// offers a horizontal slider for the opacity of the key-map buttons on the Android screen (0 to 99 %).
// Only a drag of the handle reports a value (sliderMoved); setValue, the page step and the keyboard
// move the slider silently. The dialog ends with its save button (accepted) or Escape (rejected); the
// opacity already reported stays.
class OpacityAdjustDialog : public QDialog
{
    Q_OBJECT

public:
    OpacityAdjustDialog(const QString &hotKeyText, QWidget *parent = nullptr);
    ~OpacityAdjustDialog() override;

    // The slider's value without sliderMoved, and the value label as "<value>%".
    void setValue(int value);

signals:
    void sliderMoved(int value);

public slots:
    void sliderMovedSlot(int value);

private:
    QLabel *m_labelOpacity;
    QSlider *m_slider;
    QLabel *m_labelValue;
    QLabel *m_labelTip;
    QWidget *m_bottom;
    QPushButton *m_save;
};
