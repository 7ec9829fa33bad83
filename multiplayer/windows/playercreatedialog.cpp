#include "playercreatedialog.h"
#include "ui_playercreatedialog.h"

#include <QEvent>
#include <QListView>
#include <QRegularExpressionValidator>

namespace OrvMulti {

const char *const playerCreateDialog::CountPattern = "[1-9]|10";

playerCreateDialog::playerCreateDialog(const QStringList &sources, QWidget *parent)
    : BaseDialog(parent), ui(std::make_unique<Ui::playerCreateDialog>())
{
    ui->setupUi(this);
    validator = new QRegularExpressionValidator(QRegularExpression(QString::fromLatin1(CountPattern)), this);
    ui->lineEdit_creat_number->setValidator(validator);
    ui->lineEdit_creat_number->setText(QStringLiteral("1"));
    connect(ui->lineEdit_creat_number, &QLineEdit::editingFinished, this,
            &playerCreateDialog::editingFinishedSlot);
    ui->lineEdit_creat_number->installEventFilter(this);
    ui->comboBox_copyobject->addItems(sources);
    // A list view as the popup, so that the popup takes the combo box's style sheet.
    ui->comboBox_copyobject->setView(new QListView(ui->comboBox_copyobject));
    connect(ui->pushButton_return, &QPushButton::clicked, this, &QDialog::reject);
    connect(ui->pushButton_ok, &QPushButton::clicked, this, &QDialog::accept);
}

playerCreateDialog::~playerCreateDialog() = default;

QString playerCreateDialog::source() const
{
    return ui->comboBox_copyobject->currentText();
}

int playerCreateDialog::count() const
{
    return ui->lineEdit_creat_number->text().toInt();
}

void playerCreateDialog::restoreEmptyCount()
{
    if (ui->lineEdit_creat_number->text().isEmpty())
        ui->lineEdit_creat_number->setText(QStringLiteral("1"));
}

void playerCreateDialog::editingFinishedSlot()
{
    restoreEmptyCount();
}

bool playerCreateDialog::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == ui->lineEdit_creat_number && event->type() == QEvent::FocusOut)
        restoreEmptyCount();
    return BaseDialog::eventFilter(watched, event);
}

} // namespace OrvMulti
