#include "commondialog.h"
#include "ui_commondialog.h"

#include "dialogtype.h"

CommonDialog::CommonDialog(QString msg, int type, QWidget *parent)
    : QDialog(parent, Qt::Tool | Qt::FramelessWindowHint), ui(new Ui::CommonDialog), m_type(type)
{
    ui->setupUi(this);

    ui->operator_normal->hide();
    ui->operator_error->hide();
    ui->operator_cleardata->hide();
    ui->operator_memory->hide();
    ui->dlg_msg->setText(msg);

    switch (static_cast<DialogType>(type)) {
    case DialogType::MemoryWarning:
        // "continue" goes on with the start (reject); "cancel" gives up (accept).
        ui->operator_memory->show();
        break;
    case DialogType::ErrorCode:
    case DialogType::Message:
        ui->btn_error_confirm->setText(tr("confirm"));
        ui->operator_error->show();
        break;
    case DialogType::ErrorCodeTutorial:
        ui->btn_error_confirm->setText(tr("tutorial"));
        ui->operator_error->show();
        break;
    case DialogType::Confirm:
        ui->operator_normal->show();
        break;
    case DialogType::ClearData:
        ui->operator_cleardata->show();
        break;
    default:
        // Any other kind has no row: only the close button (and Esc) end the dialog.
        break;
    }

    connect(ui->btn_normal_cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(ui->btn_normal_confirm, &QPushButton::clicked, this, &QDialog::accept);
    connect(ui->btn_error_confirm, &QPushButton::clicked, this, &QDialog::accept);
    connect(ui->btn_clear_backup, &QPushButton::clicked, this, &QDialog::accept);
    connect(ui->btn_clear_update, &QPushButton::clicked, this, &QDialog::reject);
    connect(ui->btn_memory_continue, &QPushButton::clicked, this, &QDialog::reject);
    connect(ui->btn_memory_cancel, &QPushButton::clicked, this, &QDialog::accept);
}

CommonDialog::~CommonDialog() = default;

void CommonDialog::on_dlg_close_clicked()
{
    // An error notice is acknowledged by closing it, so that the caller's error path runs.
    const auto kind = static_cast<DialogType>(m_type);
    if (kind == DialogType::ErrorCode || kind == DialogType::ErrorCodeTutorial)
        accept();
    else
        reject();
}
