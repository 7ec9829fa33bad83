#include "toolparsers.h"

#include <QRegularExpression>
#include <QXmlStreamReader>

namespace OrvMulti {

namespace {
QStringList outputLines(const QString &text)
{
    QString normalised = text;
    normalised.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return normalised.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}
} // namespace

QList<ListedVm> parseVmList(const QString &output)
{
    static const QRegularExpression entry(QStringLiteral("^\"(.*)\" \\{(.*)\\}$"));
    QList<ListedVm> vms;
    for (const QString &line : outputLines(output)) {
        const QRegularExpressionMatch match = entry.match(line);
        if (match.hasMatch())
            vms << ListedVm{match.captured(1), match.captured(2)};
    }
    return vms;
}

QMap<QString, QString> parseMachineReadable(const QString &output)
{
    QMap<QString, QString> info;
    for (const QString &line : outputLines(output)) {
        const int eq = line.indexOf(QLatin1Char('='));
        if (eq < 0)
            continue;
        QString key = line.left(eq).trimmed();
        QString value = line.mid(eq + 1).trimmed();
        key.remove(QLatin1Char('"'));
        value.remove(QLatin1Char('"'));
        info.insert(key, value);
    }
    return info;
}

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
