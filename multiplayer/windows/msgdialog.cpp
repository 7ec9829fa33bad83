#include "msgdialog.h"
#include "ui_msgdialog.h"

#include <QDebug>

namespace OrvMulti {

MsgDialog::MsgDialog(int kind, const QString &text, QWidget *parent)
    : QDialog(parent), ui(std::make_unique<Ui::MsgDialog>())
{
    ui->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    const bool notice = kind == Notice;
    ui->pushButton_ok->setVisible(notice);
    ui->pushButton_yes->setVisible(!notice);
    ui->pushButton_reject->setVisible(!notice);
    if (kind == Retry)
        ui->pushButton_yes->setText(tr("retry"));
    ui->label_content->setText(text);
    connect(ui->pushButton_close, &QPushButton::clicked, this, &QDialog::reject);
    connect(ui->pushButton_yes, &QPushButton::clicked, this, &QDialog::accept);
    connect(ui->pushButton_reject, &QPushButton::clicked, this, &QDialog::reject);
    connect(ui->pushButton_ok, &QPushButton::clicked, this, &QDialog::accept);
}

MsgDialog::~MsgDialog() = default;

int MsgDialog::run(int kind, const QString &text, QWidget *parent)
{
    // The text is logged too, so that a message nobody saw is still on record.
    qInfo().noquote() << QStringLiteral("message : ") + text;
    MsgDialog dialog(kind, text, parent);
    return dialog.exec();
}

} // namespace OrvMulti
