#include "tararchive.h"

#include <QFile>
#include <QSaveFile>

namespace {

void putOctal(QByteArray &header, int offset, int width, qint64 value)
{
    const QByteArray digits = QByteArray::number(value, 8).rightJustified(width - 1, '0');
    header.replace(offset, width - 1, digits);
    header[offset + width - 1] = '\0';
}

} // namespace

bool TarArchive::write(const QString &path, const QList<Entry> &entries)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    for (const Entry &entry : entries) {
        QByteArray header(512, '\0');
        const QByteArray name = entry.name.toUtf8().left(99);
        header.replace(0, name.size(), name);
        putOctal(header, 100, 8, 0644);
        putOctal(header, 108, 8, 0);
        putOctal(header, 116, 8, 0);
        putOctal(header, 124, 12, entry.data.size());
        putOctal(header, 136, 12, 0);
        header[156] = '0';
        header.replace(257, 6, QByteArray("ustar\0", 6));
        header.replace(263, 2, "00");
        header.replace(148, 8, QByteArray(8, ' '));
        int sum = 0;
        for (char c : header)
            sum += static_cast<unsigned char>(c);
        putOctal(header, 148, 7, sum);
        header[155] = ' ';
        file.write(header);
        file.write(entry.data);
        const int pad = (512 - entry.data.size() % 512) % 512;
        file.write(QByteArray(pad, '\0'));
    }
    file.write(QByteArray(1024, '\0'));
    return file.commit();
}

bool TarArchive::read(const QString &path, QList<Entry> *entries)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    while (true) {
        const QByteArray header = file.read(512);
        if (header.size() < 512)
            return false;
        if (header.count('\0') == 512)
            return true;
        if (header.mid(257, 5) != "ustar")
            return false;
        Entry entry;
        entry.name = QString::fromUtf8(header.left(100).constData());
        bool ok = false;
        const qint64 size = QByteArray(header.mid(124, 12).constData()).trimmed().toLongLong(&ok, 8);
        if (!ok || size < 0)
            return false;
        entry.data = file.read(size);
        if (entry.data.size() != size)
            return false;
        file.read((512 - size % 512) % 512);
        entries->append(entry);
    }
}
