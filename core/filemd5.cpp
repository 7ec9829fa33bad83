#include "filemd5.h"

#include <QCryptographicHash>
#include <QDebug>
#include <QFile>

QString fileMd5(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        qDebug() << "file open error.";
        return QString();
    }
    // Streamed block by block: packages reach hundreds of megabytes.
    QCryptographicHash hash(QCryptographicHash::Md5);
    if (!hash.addData(&file)) {
        qDebug() << "file read error.";
        return QString();
    }
    file.close();
    return QString::fromLatin1(hash.result().toHex().toUpper());
}
