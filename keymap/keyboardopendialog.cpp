#include "keyboardopendialog.h"

#include <QLabel>
#include <QTimer>
#include <QWidget>

KeyBoardOpenDialog::KeyBoardOpenDialog(bool on, QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("KeyBoardOpenDialog"));
    resize(360, 160);
    setStyleSheet(QStringLiteral("QDialog#KeyBoardOpenDialog { border-radius: 4px; }"));
    setAttribute(Qt::WA_TranslucentBackground);
    setWindowFlags(Qt::ToolTip | Qt::FramelessWindowHint);

    auto *background = new QWidget(this);
    background->setObjectName(QStringLiteral("widget_bkg"));
    background->setGeometry(0, 0, 360, 160);
    background->setAttribute(Qt::WA_StyledBackground);
    background->setStyleSheet(
        QStringLiteral("QWidget#widget_bkg { background: rgba(0, 0, 0, 80); border-radius: 4px; }"));

    auto *logo = new QWidget(background);
    logo->setObjectName(QStringLiteral("widget_logo"));
    logo->setGeometry(151, 30, 58, 58);
    logo->setAttribute(Qt::WA_StyledBackground);
    logo->setStyleSheet(on ? QStringLiteral("QWidget#widget_logo { background: transparent;"
                                            " border-image: url(:/images/keyctrl_on.png); }")
                           : QStringLiteral("QWidget#widget_logo { background: transparent;"
                                            " border-image: url(:/images/keyctrl_off.png); }"));

    auto *tip = new QLabel(background);
    tip->setObjectName(QStringLiteral("label_tip"));
    tip->setGeometry(100, 100, 160, 31);
    tip->setStyleSheet(
        QStringLiteral("color: white; font-size: 22px; font-family: \"微软雅黑\"; background: transparent;"));
    tip->setAlignment(Qt::AlignCenter);
    tip->setText(on ? tr("Keyctrl_On") : tr("Keyctrl_Off"));

    // Bound to the dialog: a dialog destroyed early takes its timer with it.
    QTimer::singleShot(kShowMs, this, &QDialog::accept);
}

KeyBoardOpenDialog::~KeyBoardOpenDialog() = default;
