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
    QCryptographicHash hash(QCryptographicHash::Md5);
    if (file.size() > 0)
        hash.addData(file.read(4096));
    file.close();
    return QString::fromLatin1(hash.result().toHex().toUpper());
}
