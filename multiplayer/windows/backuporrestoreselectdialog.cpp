#include "backuporrestoreselectdialog.h"
#include "ui_backuporrestoreselectdialog.h"

namespace OrvMulti {

BackupOrRestoreSelectdialog::BackupOrRestoreSelectdialog(QWidget *parent)
    : QDialog(parent), ui(std::make_unique<Ui::BackupOrRestoreSelectdialog>())
{
    ui->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    connect(ui->pushButton, &QPushButton::clicked, this, &BackupOrRestoreSelectdialog::OnBackup);
    connect(ui->pushButton_2, &QPushButton::clicked, this, &BackupOrRestoreSelectdialog::OnRestore);
    connect(ui->pushButton__close, &QPushButton::clicked, this, &QDialog::reject);
}

BackupOrRestoreSelectdialog::~BackupOrRestoreSelectdialog() = default;

void BackupOrRestoreSelectdialog::OnBackup()
{
    m_choice = Backup;
    accept();
}

void BackupOrRestoreSelectdialog::OnRestore()
{
    m_choice = Restore;
    accept();
}

} // namespace OrvMulti
