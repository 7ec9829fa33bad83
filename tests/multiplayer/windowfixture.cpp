#include "windowfixture.h"

#include <QFile>

QString WindowFixture::readFile(const QString &path) const
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

QList<QPointer<QTimer>> &pendingDialogWatchers()
{
    static QList<QPointer<QTimer>> watchers;
    return watchers;
}

void cancelDialogWatchers()
{
    for (const QPointer<QTimer> &timer : pendingDialogWatchers())
        delete timer.data();
    pendingDialogWatchers().clear();
}
