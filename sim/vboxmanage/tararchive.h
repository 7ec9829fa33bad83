#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// A minimal ustar archive, the container of an appliance (.ova) file.
class TarArchive
{
public:
    struct Entry
    {
        QString name;
        QByteArray data;
    };

    static bool write(const QString &path, const QList<Entry> &entries);
    static bool read(const QString &path, QList<Entry> *entries);
};
