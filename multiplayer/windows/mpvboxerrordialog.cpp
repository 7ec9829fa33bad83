#include "mpvboxerrordialog.h"
#include "ui_mpvboxerrordialog.h"

#include <QDesktopServices>
#include <QUrl>

namespace OrvMulti {

const char *const VBoxErrorDialog::SupportUrl = "https://support.halvora.example/group/join";

VBoxErrorDialog::VBoxErrorDialog(const QString &text, QWidget *parent)
    : QDialog(parent), ui(std::make_unique<Ui::MpVBoxErrorDialog>())
{
    ui->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    ui->label_content->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    ui->label_content->setText(text);
    connect(ui->pushButton_link, &QPushButton::clicked, this, &VBoxErrorDialog::contactToSupportStaff);
    connect(ui->pushButton_confirm, &QPushButton::clicked, this, &QDialog::accept);
}

VBoxErrorDialog::~VBoxErrorDialog() = default;

void VBoxErrorDialog::contactToSupportStaff()
{
    QDesktopServices::openUrl(QUrl(QString::fromLatin1(SupportUrl)));
}

} // namespace OrvMulti
