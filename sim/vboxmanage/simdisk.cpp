#include "simdisk.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QUuid>

namespace {

const QByteArray headerTag("ORVSIM-DISK ");
const int headerSize = 12 + 36 + 1;

bool hasHeader(const QByteArray &start)
{
    return start.size() >= headerSize && start.startsWith(headerTag) && start.at(headerSize - 1) == '\n';
}

QByteArray header(const QString &uuid)
{
    return headerTag + uuid.toLatin1() + '\n';
}

} // namespace

QString SimDisk::uuidOf(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    const QByteArray start = file.read(headerSize);
    if (hasHeader(start))
        return QString::fromLatin1(start.mid(headerTag.size(), 36));
    file.seek(0);
    QCryptographicHash hash(QCryptographicHash::Md5);
    hash.addData(file.read(1 << 20));
    hash.addData(QByteArray::number(QFileInfo(path).size()));
    QByteArray digest = hash.result();
    digest[6] = static_cast<char>((digest[6] & 0x0f) | 0x30); // name-based identifier
    digest[8] = static_cast<char>((digest[8] & 0x3f) | 0x80);
    return QUuid::fromRfc4122(digest).toString(QUuid::WithoutBraces);
}

bool SimDisk::setUuid(const QString &path, const QString &uuid)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadWrite))
        return false;
    const QByteArray start = file.read(headerSize);
    if (hasHeader(start)) {
        file.seek(0);
        return file.write(header(uuid)) == headerSize;
    }
    file.close();
    const QString temp = path + QStringLiteral(".sethduuid");
    QFile::remove(temp);
    if (!copyWithUuid(path, temp, uuid))
        return false;
    QFile::remove(path);
    return QFile::rename(temp, path);
}

bool SimDisk::copyWithUuid(const QString &source, const QString &target, const QString &uuid)
{
    QFile in(source);
    if (!in.open(QIODevice::ReadOnly))
        return false;
    if (!hasHeader(in.read(headerSize)))
        in.seek(0);
    QSaveFile out(target);
    if (!out.open(QIODevice::WriteOnly))
        return false;
    out.write(header(uuid));
    while (!in.atEnd()) {
        const QByteArray chunk = in.read(1 << 20);
        if (out.write(chunk) != chunk.size())
            return false;
    }
    return out.commit();
}

QString SimDisk::newUuid()
{
    return QUuid::createUuid().toString(QUuid::WithoutBraces);
}

bool SimDisk::isUuid(const QString &text)
{
    QString body = text;
    if (body.startsWith(QLatin1Char('{')) && body.endsWith(QLatin1Char('}')))
        body = body.mid(1, body.size() - 2);
    if (body.size() != 36)
        return false;
    const QUuid uuid(body);
    return !uuid.isNull();
}

QString SimDisk::normalisedUuid(const QString &text)
{
    QString body = text;
    if (body.startsWith(QLatin1Char('{')) && body.endsWith(QLatin1Char('}')))
        body = body.mid(1, body.size() - 2);
    return body.toLower();
}
