#include "vboxerrordialog.h"
#include "ui_vboxerrordialog.h"

#include "global.h"

#include <QDebug>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QUrl>

const char *const VBoxErrorDialog::kServiceUrl = "https://support.halvora.example/group/join";

VBoxErrorDialog::VBoxErrorDialog(QWidget *parent)
    : QDialog(parent, Qt::Tool | Qt::FramelessWindowHint), ui(std::make_unique<Ui::VBoxErrorDialog>())
{
    ui->setupUi(this);
    ui->label_msg->setText(Global::lastErrorCode);
    connect(ui->btn_confirm, &QPushButton::clicked, this, &QDialog::accept);
}

VBoxErrorDialog::~VBoxErrorDialog() = default;

QString VBoxErrorDialog::logFilePath()
{
    return QDir::cleanPath(Global::logRoot + QStringLiteral("/log/log/") +
                           QStringLiteral("debug-%1.log").arg(Global::startDate));
}

void VBoxErrorDialog::on_btn_curtom_clicked()
{
    QDesktopServices::openUrl(QUrl(QString::fromLatin1(kServiceUrl)));
}

void VBoxErrorDialog::on_btn_getLog_clicked()
{
    // The file browser opens the folder of this run's log; the dialog stays open.
    const QString folder = QFileInfo(logFilePath()).absolutePath();
    qInfo() << "VBoxErrorDialog : open log folder " << folder;
    QDesktopServices::openUrl(QUrl::fromLocalFile(folder));
}
