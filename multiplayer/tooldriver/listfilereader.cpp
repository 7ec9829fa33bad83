#include "listfilereader.h"

#include <QXmlStreamReader>

namespace OrvMulti {

QList<ListFileEntry> parseMachineList(const QByteArray &content, bool *wellFormed, QString *error, bool *cut)
{
    // Read as a stream: only the kept entries are held, never a tree of the whole file.
    QList<ListFileEntry> entries;
    bool more = false;
    QXmlStreamReader reader(content);
    int depth = 0;
    while (!reader.atEnd()) {
        const QXmlStreamReader::TokenType token = reader.readNext();
        if (token == QXmlStreamReader::EndElement) {
            --depth;
            continue;
        }
        if (token != QXmlStreamReader::StartElement)
            continue;
        if (++depth != 2)
            continue;
        if (entries.size() >= kMaxListEntries) {
            more = true;
            continue;
        }
        const QXmlStreamAttributes attributes = reader.attributes();
        ListFileEntry entry;
        entry.vm = attributes.value(QLatin1String("vm")).toString();
        entry.title = attributes.value(QLatin1String("title")).toString();
        bool ok = false;
        entry.from = attributes.value(QLatin1String("from")).toInt(&ok);
        if (!ok)
            entry.from = 0;
        entries << entry;
    }
    *wellFormed = !reader.hasError();
    if (!*wellFormed) {
        if (error)
            *error = reader.errorString();
        entries.clear();
        more = false;
    }
    if (cut)
        *cut = more;
    return entries;
}

} // namespace OrvMulti
