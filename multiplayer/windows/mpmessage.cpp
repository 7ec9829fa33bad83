#include "mpmessage.h"

#include <QCoreApplication>
#include <QDebug>
#include <QMessageBox>

namespace OrvMulti {

void showMessage(const QString &text, QWidget *parent)
{
    // The text is logged too, so that a message nobody saw is still on record.
    qInfo().noquote() << QStringLiteral("message : ") + text;
    QMessageBox box(QMessageBox::NoIcon, QCoreApplication::applicationName(), text, QMessageBox::Ok, parent);
    box.exec();
}

} // namespace OrvMulti
