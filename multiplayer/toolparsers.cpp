#include "toolparsers.h"

#include <QDomDocument>
#include <QRegularExpression>

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

QList<ListFileEntry> parseMachineList(const QByteArray &content, bool *wellFormed, QString *error)
{
    QList<ListFileEntry> entries;
    QDomDocument document;
    QString parseError;
    *wellFormed = document.setContent(content, &parseError);
    if (!*wellFormed) {
        if (error)
            *error = parseError;
        return entries;
    }
    for (QDomElement element = document.documentElement().firstChildElement(); !element.isNull();
         element = element.nextSiblingElement()) {
        ListFileEntry entry;
        entry.vm = element.attribute(QStringLiteral("vm"));
        entry.title = element.attribute(QStringLiteral("title"));
        bool ok = false;
        entry.from = element.attribute(QStringLiteral("from")).toInt(&ok);
        if (!ok)
            entry.from = 0;
        entries << entry;
    }
    return entries;
}

} // namespace OrvMulti
