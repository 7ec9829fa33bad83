// The machine list file of the manager (titles and origins of the instances) and the rename of a title.

#include "listfilereader.h"
#include "managervboxtool.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QSet>
#include <QXmlStreamWriter>

namespace OrvMulti {

namespace {
// The writer puts the line end before the root element itself.
const char *const kDeclaration = "<?xml version = '1.0' encoding='UTF-8'?>";
const char *const kBrokenCopySuffix = ".bad";

// The first `length` characters of `title`, never ending in half a surrogate pair.
QString cutTitle(const QString &title, int length)
{
    if (title.size() <= length)
        return title;
    if (length > 0 && title.at(length - 1).isHighSurrogate())
        --length;
    return title.left(length);
}
} // namespace

QString VBoxTool::defaultTitle(const QString &vm) const
{
    int number = 0;
    QString digits;
    isInstanceName(vm, &number, &digits);
    if (vm == QLatin1String("Orvanta_0") || !(digits > QLatin1String("0")))
        return tr("Orvanta");
    return tr("Orvanta") + QLatin1Char('_') + digits;
}

bool VBoxTool::initVmsFromXml()
{
    qInfo() << "VBoxTool : initVmsFromXml";
    bool readable = true;
    QList<ListFileEntry> entries; // in file order: a later entry for the same machine wins
    QFile file(m_xmlPath);
    if (file.exists()) {
        QMutexLocker fileLocker(&m_fileMutex);
        if (!file.open(QIODevice::ReadOnly)) {
            setLastError(QStringLiteral("VBoxTool : file ") + m_xmlPath + QStringLiteral(" open failed : ") +
                         file.errorString());
            qInfo().noquote() << lastError();
            readable = false;
        } else if (file.size() > kMaxListFileBytes) {
            // Far beyond any real list: not read at all, but moved aside for the user, and replaced.
            file.close();
            const QString aside = m_xmlPath + QLatin1String(kBrokenCopySuffix);
            QFile::remove(aside);
            const bool moved = QFile::rename(m_xmlPath, aside);
            qInfo().noquote() << QStringLiteral("VBoxTool : file ") + m_xmlPath +
                                     QStringLiteral(" is larger than ") + QString::number(kMaxListFileBytes) +
                                     (moved ? QStringLiteral(" bytes, moved to ") + aside
                                            : QStringLiteral(" bytes and could not be moved, left as it is"));
            // A file that could not be moved aside is not replaced either.
            readable = moved;
        } else {
            const QByteArray content = file.read(kMaxListFileBytes);
            file.close();
            bool wellFormed = false;
            bool cut = false;
            QString parseError;
            entries = parseMachineList(content, &wellFormed, &parseError, &cut);
            if (cut)
                qInfo().noquote() << QStringLiteral("VBoxTool : file ") + m_xmlPath +
                                         QStringLiteral(" has more than ") +
                                         QString::number(kMaxListEntries) +
                                         QStringLiteral(" entries, the rest is ignored");
            if (!wellFormed) {
                // The titles in it are lost to the program; keep the bytes beside it for the user.
                qInfo().noquote() << QStringLiteral("VBoxTool : file ") + m_xmlPath +
                                         QStringLiteral(" is not well-formed: ") + parseError;
                const QString copy = m_xmlPath + QLatin1String(kBrokenCopySuffix);
                QFile::remove(copy);
                QFile::copy(m_xmlPath, copy);
            }
        }
    }

    QMutexLocker locker(&m_stateMutex);
    for (const ListFileEntry &entry : entries) {
        // Only instance names address records; "my-Orvanta_3" must not retitle Orvanta_3.
        if (!isInstanceName(entry.vm))
            continue;
        auto record = m_records.find(entry.vm);
        if (record == m_records.end())
            continue;
        record->second.title = entry.title;
        record->second.from = entry.from;
    }
    QSet<QString> titles;
    for (auto &entry : m_records) {
        QString &title = entry.second.title;
        if (title.isEmpty()) {
            title = defaultTitle(entry.first);
            entry.second.from = -1;
        }
        if (title.size() > kMaxTitleLength) {
            title = cutTitle(title, kMaxTitleLength);
            qInfo().noquote() << QStringLiteral("VBoxTool : title of ") + entry.first +
                                     QStringLiteral(" cut to ") + QString::number(kMaxTitleLength) +
                                     QStringLiteral(" characters");
        }
        titles.insert(title);
    }
    // Titles name the rows to the user and to the title lookup: a repeated one gets a suffix.
    QSet<QString> seen;
    for (auto &entry : m_records) {
        QString &title = entry.second.title;
        if (seen.contains(title)) {
            QString unique;
            for (int k = 2; unique.isEmpty() || titles.contains(unique); ++k) {
                const QString suffix = QLatin1Char('_') + QString::number(k);
                unique = cutTitle(title, kMaxTitleLength - suffix.size()) + suffix;
            }
            qInfo().noquote() << QStringLiteral("VBoxTool : title ") + title + QStringLiteral(" of ") +
                                     entry.first + QStringLiteral(" is taken, it becomes ") + unique;
            title = unique;
            titles.insert(unique);
        }
        seen.insert(title);
        m_titleMap[title] = entry.first;
    }
    qInfo() << "VBoxTool : initVmsFromXml ok";
    return readable;
}

bool VBoxTool::appendVmsToXml()
{
    qInfo() << "VBoxTool : appendVmsToXml";
    QList<VmRecord> records;
    {
        QMutexLocker locker(&m_stateMutex);
        for (const auto &entry : m_records)
            records << entry.second;
    }

    QMutexLocker fileLocker(&m_fileMutex);
    QDir().mkpath(QFileInfo(m_xmlPath).absolutePath());
    // The new content replaces the old file in one step, so a reader never sees half a list and a
    // failed write leaves the old list.
    QSaveFile file(m_xmlPath);
    if (!file.open(QIODevice::WriteOnly)) {
        setLastError(QStringLiteral("VBoxTool : file ") + m_xmlPath + QStringLiteral(" open failed : ") +
                     file.errorString());
        qInfo().noquote() << lastError();
        return false;
    }
    file.write(kDeclaration);
    QXmlStreamWriter writer(&file);
    writer.setAutoFormatting(true);
    writer.setAutoFormattingIndent(4);
    writer.writeStartElement(QStringLiteral("Multi"));
    for (const VmRecord &record : records) {
        writer.writeEmptyElement(QStringLiteral("Player"));
        writer.writeAttribute(QStringLiteral("from"), QString::number(record.from));
        writer.writeAttribute(QStringLiteral("vm"), record.vm);
        writer.writeAttribute(QStringLiteral("title"), record.title);
    }
    writer.writeEndElement();
    file.write("\n");
    if (writer.hasError() || !file.commit()) {
        setLastError(QStringLiteral("VBoxTool : file ") + m_xmlPath + QStringLiteral(" open failed : ") +
                     file.errorString());
        qInfo().noquote() << lastError();
        return false;
    }
    qInfo() << "VBoxTool : appendVmsToXml ok";
    return true;
}

void VBoxTool::renameTitle(const QString &newTitle, const QString &oldTitle)
{
    {
        QMutexLocker locker(&m_stateMutex);
        if (!m_titleMap.contains(oldTitle))
            return;
        const QString vm = m_titleMap.take(oldTitle);
        m_titleMap[newTitle] = vm;
        auto record = m_records.find(vm);
        if (record != m_records.end())
            record->second.title = newTitle;
    }
    appendVmsToXml();
}

} // namespace OrvMulti
