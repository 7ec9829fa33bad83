#include "vtbeoccupiedtipdialog.h"

#include <QDesktopServices>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QUrl>

QString VTBeOccupiedTipDialog::tutorialPage(int mode)
{
    return mode == 0 ? QStringLiteral("http://forum.halvora.example/thread-88892741-1-1.html")
                     : QStringLiteral("http://forum.halvora.example/thread-88892736-1-1.html");
}

VTBeOccupiedTipDialog::VTBeOccupiedTipDialog(int mode, QWidget *parent)
    : QDialog(parent, Qt::Tool | Qt::FramelessWindowHint), m_mode(mode)
{
    setObjectName(QStringLiteral("VTBeOccupiedTipDialog"));
    setWindowTitle(QStringLiteral("Dialog"));
    setFixedSize(400, 220);
    setStyleSheet(QStringLiteral("QWidget{background:#343841;border:1px solid #111518;}"));

    auto *icon = new QPushButton(this);
    icon->setObjectName(QStringLiteral("dlg_icon"));
    icon->setGeometry(12, 12, 21, 23);
    icon->setIcon(QIcon(QStringLiteral(":/images/dialog_logo.png")));
    icon->setIconSize(QSize(21, 23));
    icon->setStyleSheet(QStringLiteral("border: none;"));

    auto *close = new QPushButton(this);
    close->setObjectName(QStringLiteral("dlg_close"));
    close->setGeometry(357, 1, 42, 42);
    close->setIcon(QIcon(QStringLiteral(":/images/dialog_close.png")));
    close->setIconSize(QSize(13, 13));
    close->setStyleSheet(QStringLiteral(
        "QPushButton{border:none;}QPushButton:hover,QPushButton:pressed{background:#31343b;}"));
    connect(close, &QPushButton::clicked, this, &QDialog::reject);

    auto *message = new QLabel(mode == 0 ? tr("Hyper-V occupation") : tr("software occupation"), this);
    message->setObjectName(QStringLiteral("dlg_msg"));
    message->setGeometry(1, 70, 398, 21);
    message->setAlignment(Qt::AlignCenter);
    message->setStyleSheet(QStringLiteral("border:none;color:#ffffff;font-size:20px;font-family:\"黑体\";"));

    auto *row = new QWidget(this);
    row->setObjectName(QStringLiteral("operator_error"));
    row->setGeometry(1, 146, 398, 44);
    row->setMinimumSize(398, 44);
    row->setMaximumSize(398, 45);
    row->setStyleSheet(QStringLiteral("border: none;"));
    auto *layout = new QHBoxLayout(row);
    layout->setObjectName(QStringLiteral("horizontalLayout"));
    layout->setSpacing(0);
    layout->setContentsMargins(0, 0, 0, 0);
    auto *button = new QPushButton(tr(" view the tutorial"), row);
    button->setObjectName(QStringLiteral("btn_error_confirm"));
    button->setMinimumSize(100, 44);
    button->setMaximumSize(125, 45);
    button->setStyleSheet(QStringLiteral(
        "QPushButton{background:#0190ff;border-radius:2px;color:#ffffff;font-size:18px;font-family:\"黑体\";}"
        "QPushButton:hover{background:#44aeff;}QPushButton:pressed{background:#007ae7;}"));
    layout->addWidget(button);
    connect(button, &QPushButton::clicked, this, &VTBeOccupiedTipDialog::viewTheTutorial);
}

void VTBeOccupiedTipDialog::viewTheTutorial()
{
    accept();
    QDesktopServices::openUrl(QUrl(tutorialPage(m_mode)));
}
