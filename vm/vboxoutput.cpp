#include "vboxoutput.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QXmlStreamReader>

namespace VBoxOutput {

QStringList splitLines(const QString &text)
{
    static const QRegularExpression lineBreak(QStringLiteral("\r?\n"));
    return text.split(lineBreak);
}

QList<VmListEntry> parseVmList(const QString &text)
{
    static const QRegularExpression entry(QStringLiteral("\"(.*)\" \\{(.*)\\}"));
    QList<VmListEntry> entries;
    for (const QString &line : splitLines(text)) {
        if (line.isEmpty())
            continue;
        const QRegularExpressionMatch match = entry.match(line);
        if (match.hasMatch())
            entries.append({match.captured(1), match.captured(2)});
    }
    return entries;
}

bool isCompleteVmList(const QString &text)
{
    if (text.isEmpty())
        return true;
    if (!text.endsWith(QLatin1Char('\n')))
        return false;
    static const QRegularExpression entry(QStringLiteral("^\"(.*)\" \\{(.*)\\}$"));
    for (const QString &line : splitLines(text)) {
        if (!line.isEmpty() && !entry.match(line).hasMatch())
            return false;
    }
    return true;
}

QString createdSettingsFile(const QString &text)
{
    static const QRegularExpression line(QStringLiteral("^Settings file: '(.+)'\r?$"),
                                         QRegularExpression::MultilineOption);
    return line.match(text).captured(1);
}

QString existingSettingsFile(const QString &text)
{
    static const QRegularExpression line(QStringLiteral("Machine settings file '(.+)' already exists"));
    return line.match(text).captured(1);
}

bool isOrvantaVmName(const QString &name)
{
    static const QRegularExpression pattern(QStringLiteral("\\bOrvanta_(\\d+)\\b"));
    return pattern.match(name).hasMatch();
}

QString unquoteMachineReadable(const QString &text)
{
    const QString trimmed = text.trimmed();
    if (trimmed.size() >= 2 && trimmed.startsWith(QLatin1Char('"')) && trimmed.endsWith(QLatin1Char('"'))) {
        const QString inner = trimmed.mid(1, trimmed.size() - 2);
        QString result;
        result.reserve(inner.size());
        for (int i = 0; i < inner.size(); ++i) {
            const QChar c = inner.at(i);
            if (c == QLatin1Char('\\') && i + 1 < inner.size() &&
                (inner.at(i + 1) == QLatin1Char('"') || inner.at(i + 1) == QLatin1Char('\\'))) {
                result += inner.at(++i);
            } else if (c != QLatin1Char('"')) {
                result += c;
            }
        }
        return result;
    }
    QString result = trimmed;
    result.remove(QLatin1Char('"'));
    return result;
}

namespace {

// Position of the "=" between key and value. A key in double quotes (the tool quotes keys that hold a
// "=" themselves) ends at its closing quote; otherwise the first "=" separates.
int keySeparator(const QString &line)
{
    int i = 0;
    while (i < line.size() && line.at(i).isSpace())
        ++i;
    if (i < line.size() && line.at(i) == QLatin1Char('"')) {
        for (++i; i < line.size(); ++i) {
            if (line.at(i) == QLatin1Char('\\')) {
                ++i;
            } else if (line.at(i) == QLatin1Char('"')) {
                int j = i + 1;
                while (j < line.size() && line.at(j).isSpace())
                    ++j;
                if (j < line.size() && line.at(j) == QLatin1Char('='))
                    return j;
                break;
            }
        }
    }
    return line.indexOf(QLatin1Char('='));
}

} // namespace

bool isCompleteMachineInfo(const QString &text)
{
    if (text.isEmpty() || !text.endsWith(QLatin1Char('\n')))
        return false;
    for (const QString &line : splitLines(text)) {
        if (line.isEmpty())
            continue;
        const int p = keySeparator(line);
        if (p <= 0)
            return false;
        const QString value = line.mid(p + 1).trimmed();
        if (value.startsWith(QLatin1Char('"')) && (value.size() < 2 || !value.endsWith(QLatin1Char('"'))))
            return false;
    }
    return true;
}

MachineInfo parseMachineInfo(const QString &text)
{
    MachineInfo info;
    for (const QString &line : splitLines(text)) {
        if (line.isEmpty())
            continue;
        const int p = keySeparator(line);
        QString key;
        QString value;
        if (p < 0) {
            key = value = unquoteMachineReadable(line);
        } else {
            key = unquoteMachineReadable(line.left(p));
            value = unquoteMachineReadable(line.mid(p + 1));
        }
        if (key.contains(QLatin1String("Forwarding"))) {
            info.forwardRules.append(value);
            info.forwardRuleNames.append(value.section(QLatin1Char(','), 0, 0).trimmed());
        } else {
            info.values.insert(key, value);
        }
    }
    return info;
}

QHash<QString, QString> parseHostInfo(const QString &text)
{
    QHash<QString, QString> info;
    const QStringList parts = splitLines(text);
    for (int i = 0; i + 1 < parts.size(); ++i) {
        const QString &line = parts.at(i);
        if (line.isEmpty())
            continue;
        const QStringList pieces = line.split(QLatin1Char(':'));
        if (pieces.size() < 2)
            continue;
        const QString key = pieces.at(0).trimmed();
        QString value = pieces.at(1).trimmed();
        if (key == QLatin1String("Memory size"))
            value = value.section(QLatin1Char(' '), 0, 0);
        info.insert(key, value);
    }
    return info;
}

namespace {

// The text of one "label: text" field: everything after the first colon, trimmed.
QString fieldText(const QString &piece)
{
    const int colon = piece.indexOf(QLatin1Char(':'));
    return (colon < 0 ? piece : piece.mid(colon + 1)).trimmed();
}

// Reads "label: key, label: value, ..." lines; a line without a second field is skipped.
QHash<QString, QString> parseFieldLines(const QString &text, bool alignedFormToo)
{
    // "<name> = '<value>'" with an optional " @ <time> [flags]" tail, as guestproperty prints by default.
    static const QRegularExpression aligned(QStringLiteral("^(\\S.*?) += '(.*)'(?: +@ .*)?$"));
    QHash<QString, QString> table;
    for (const QString &line : splitLines(text)) {
        if (line.isEmpty())
            continue;
        if (alignedFormToo && !line.startsWith(QLatin1String("Name:"))) {
            const QRegularExpressionMatch match = aligned.match(line);
            if (match.hasMatch()) {
                table.insert(match.captured(1).trimmed(), match.captured(2));
                continue;
            }
        }
        const QStringList pieces = line.split(QLatin1Char(','));
        if (pieces.size() < 2)
            continue;
        table.insert(fieldText(pieces.at(0)), fieldText(pieces.at(1)));
    }
    return table;
}

} // namespace

QHash<QString, QString> parseGuestProperties(const QString &text)
{
    return parseFieldLines(text, true);
}

QHash<QString, QString> parseExtraData(const QString &text)
{
    return parseFieldLines(text, false);
}

QSet<int> parseProcNetTcp(const QString &text)
{
    static const QRegularExpression blanks(QStringLiteral("\\s+"));
    QSet<int> ports;
    const QStringList lines = splitLines(text);
    for (int i = 1; i < lines.size(); ++i) {
        const QString line = lines.at(i).trimmed();
        if (line.isEmpty())
            continue;
        const QStringList fields = line.split(blanks);
        const QString local = fields.value(1);
        const int colon = local.lastIndexOf(QLatin1Char(':'));
        bool ok = false;
        const int port = colon < 0 ? 0 : local.mid(colon + 1).toInt(&ok, 16);
        // A port is 16 bits: anything else is no readable port.
        ports.insert(ok && port >= 0 && port <= 0xffff ? port : 0);
    }
    return ports;
}

QList<HardDisk> parseHardDisks(const QString &text, bool *complete)
{
    QList<HardDisk> disks;
    bool whole = text.isEmpty() || text.endsWith(QLatin1Char('\n'));
    HardDisk current;
    bool inBlock = false;
    bool inUsers = false;
    const auto finish = [&] {
        if (!inBlock)
            return;
        if (current.location.isEmpty())
            whole = false;
        disks << current;
        current = HardDisk();
        inBlock = false;
        inUsers = false;
    };
    // "name (UUID: ...)" with any " [snapshot (UUID: ...)]" part after it.
    const auto userName = [](QString entry) {
        const int snapshot = entry.indexOf(QLatin1String(" ["));
        if (snapshot >= 0)
            entry = entry.left(snapshot);
        const int uuid = entry.lastIndexOf(QLatin1String(" (UUID: "));
        return (uuid < 0 ? entry : entry.left(uuid)).trimmed();
    };
    for (const QString &line : splitLines(text)) {
        if (line.trimmed().isEmpty()) {
            finish();
            continue;
        }
        inBlock = true;
        if (line.startsWith(QLatin1Char(' ')) && inUsers) {
            current.users << userName(line.trimmed());
            continue;
        }
        inUsers = false;
        const int colon = line.indexOf(QLatin1Char(':'));
        if (colon < 0)
            continue;
        const QString key = line.left(colon);
        const QString value = line.mid(colon + 1).trimmed();
        if (key == QLatin1String("Location")) {
            current.location = value;
        } else if (key == QLatin1String("In use by VMs")) {
            current.users << userName(value);
            inUsers = true;
        }
    }
    finish();
    if (complete)
        *complete = whole;
    return disks;
}

QString settingsMachineName(const QByteArray &content)
{
    QXmlStreamReader xml(content);
    while (!xml.atEnd() && !xml.hasError()) {
        if (xml.readNext() == QXmlStreamReader::StartElement && xml.name() == QLatin1String("Machine"))
            return xml.attributes().value(QLatin1String("name")).toString();
    }
    const QJsonDocument json = QJsonDocument::fromJson(content);
    if (json.isObject()) {
        const QJsonObject object = json.object();
        const QString name = object.value(QLatin1String("name")).toString();
        return name.isEmpty() ? object.value(QLatin1String("settings"))
                                    .toObject()
                                    .value(QLatin1String("name"))
                                    .toString()
                              : name;
    }
    return QString();
}

} // namespace VBoxOutput
