#pragma once

#include "basebutton.h"

class QPushButton;

// The fire point and the aim point of the mouse aim mode: an image (the drag handle) with a close button
// at its top-right corner. Closing only hides the button; the editor keeps one of each and shows it again.
class PointButton : public BaseButton
{
    Q_OBJECT

public:
    QPushButton *imageButton() const { return m_image; }
    QPushButton *closeButton() const { return m_btnClose; }

    bool filterChildEvent(QObject *watched, QEvent *event) override;
    void setDisplayOnly(bool on) override;

protected:
    // formName: "FireButton" or "AimButton"; imageName: btn_fire or btn_aim; picture: the image's name.
    PointButton(QWidget *parent, const QString &formName, const QString &imageName, const QString &picture);

private slots:
    void on_btn_close_clicked();

private:
    QPushButton *m_image = nullptr;
    QPushButton *m_btnClose = nullptr;
};

class FireButton : public PointButton
{
    Q_OBJECT

public:
    explicit FireButton(QWidget *parent = nullptr);
};

class AimButton : public PointButton
{
    Q_OBJECT

public:
    explicit AimButton(QWidget *parent = nullptr);
};
