#include "quitorvdialog.h"
#include "ui_quitorvdialog.h"

#include "settingmodel.h"

QuitOrvDialog::QuitOrvDialog(QWidget *parent)
    : QDialog(parent, Qt::Tool | Qt::FramelessWindowHint), ui(std::make_unique<Ui::QuitOrvDialog>())
{
    ui->setupUi(this);
    connect(ui->btn_close, &QPushButton::clicked, this, &QDialog::reject);
    connect(ui->btn_cancel, &QPushButton::clicked, this, &QDialog::reject);
}

QuitOrvDialog::~QuitOrvDialog() = default;

void QuitOrvDialog::on_btn_confirm_clicked()
{
    if (ui->remind->isChecked())
        SettingModel::instance()->setShowCloseDialog(false);
    accept();
}
