#include "updatedialog.h"
#include "ui_updatedialog.h"

#include "commondialog.h"
#include "dialogtype.h"
#include "global.h"
#include "paths.h"
#include "programs.h"

#include <QCoreApplication>
#include <QDebug>
#include <QFile>
#include <QMouseEvent>
#include <QWindow>

namespace {
constexpr int kDragBandHeight = 60;
const QRect kCloseButtonArea(QPoint(434, 23), QPoint(449, 38));
} // namespace

UpdateDialog::UpdateDialog(bool clearData, QWidget *parent)
    : QDialog(parent, Qt::Window | Qt::FramelessWindowHint), ui(std::make_unique<Ui::UpdateDialog>()),
      m_clearData(clearData)
{
    ui->setupUi(this);
    connect(ui->btn_cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(ui->btn_close, &QPushButton::clicked, this, &QDialog::reject);

    // The notes are shown once: the file is removed after reading, also when it cannot be read.
    QFile notes(notesFilePath());
    if (notes.exists()) {
        if (notes.open(QIODevice::ReadOnly)) {
            ui->update_content->setPlainText(QString::fromLocal8Bit(notes.readAll()));
            notes.close();
        }
        if (!notes.remove())
            qWarning() << "UpdateDialog : cannot remove the update notes " << notes.fileName();
    }
}

UpdateDialog::~UpdateDialog() = default;

QString UpdateDialog::notesFilePath()
{
    return Platform::localAppDataRoot() + QLatin1Char('/') + QCoreApplication::organizationName() +
           QStringLiteral("/OrvantaUpdate");
}

void UpdateDialog::on_btn_update_clicked()
{
    if (!m_clearData) {
        accept();
        return;
    }
    CommonDialog warning(tr("need_clear_data"), static_cast<int>(DialogType::ClearData), this);
    if (warning.exec() == QDialog::Accepted) {
        // "backup": the user backs the instance up in the instance manager and chooses again.
        if (!Platform::startDetachedProgram(QString::fromLatin1(GlobalText::kManagerProgram), {}))
            qWarning() << "UpdateDialog : the instance manager did not start";
        return;
    }
    accept();
}

void UpdateDialog::mousePressEvent(QMouseEvent *event)
{
    const QPoint pos = event->pos();
    if (event->button() == Qt::LeftButton && pos.y() < kDragBandHeight && !kCloseButtonArea.contains(pos) &&
        windowHandle()) {
        windowHandle()->startSystemMove();
        event->accept();
        return;
    }
    QDialog::mousePressEvent(event);
}
