#pragma once

#include "basebutton.h"

#include <QStringList>

class KeyLineEdit;
class QPushButton;

// The two pads of four keys around a centre: the direction pad (PositionButton) moves one finger from
// its centre toward four points at `radius`; the sensor pad (SensorButton) tilts the device. The pad
// image (btn_ctrl) is the drag handle; the key fields are edit_up, edit_down, edit_left, edit_right.
class PadButton : public BaseButton
{
    Q_OBJECT

public:
    void setUpKey(const QString &key);
    void setDownKey(const QString &key);
    void setLeftKey(const QString &key);
    void setRightKey(const QString &key);
    QString upKey() const;
    QString downKey() const;
    QString leftKey() const;
    QString rightKey() const;
    // Up, down, left, right; empty texts included.
    QStringList keys() const;
    int getRadius() const { return radius; }
    // Gives edit_up the keyboard focus.
    void focusKeyEdit();

    KeyLineEdit *upEdit() const { return m_editUp; }
    KeyLineEdit *downEdit() const { return m_editDown; }
    KeyLineEdit *leftEdit() const { return m_editLeft; }
    KeyLineEdit *rightEdit() const { return m_editRight; }
    QPushButton *padButton() const { return m_btnCtrl; }
    QPushButton *closeButton() const { return m_btnClose; }

    bool filterChildEvent(QObject *watched, QEvent *event) override;
    void setDisplayOnly(bool on) override;

    int radius = 46;

signals:
    void focusIn(KeyLineEdit *edit);
    void focusOut(KeyLineEdit *edit);
    void keyPress(KeyLineEdit *edit, QString key);

protected:
    PadButton(QWidget *parent, const QString &formName, const QString &picture, bool focusUpOnRelease);

private slots:
    void on_btn_close_clicked();

private:
    bool m_focusUpOnRelease = false;
    QPushButton *m_btnCtrl = nullptr;
    QPushButton *m_btnClose = nullptr;
    KeyLineEdit *m_editUp = nullptr;
    KeyLineEdit *m_editDown = nullptr;
    KeyLineEdit *m_editLeft = nullptr;
    KeyLineEdit *m_editRight = nullptr;
};

class PositionButton : public PadButton
{
    Q_OBJECT

public:
    explicit PositionButton(QWidget *parent = nullptr);
};

// Ends a drag with the keyboard focus in its up field.
class SensorButton : public PadButton
{
    Q_OBJECT

public:
    explicit SensorButton(QWidget *parent = nullptr);
};
