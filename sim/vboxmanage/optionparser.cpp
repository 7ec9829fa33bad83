#include "optionparser.h"

namespace {

// Typographic dashes stand for "-" on the real tool's command line.
QString normaliseDashes(const QString &arg)
{
    QString result = arg;
    for (int i = 0; i < result.size() && i < 2; ++i) {
        const ushort c = result.at(i).unicode();
        if (c == 0x2013 || c == 0x2014 || c == 0x2212)
            result[i] = QLatin1Char('-');
        else if (c != '-')
            break;
    }
    return result;
}

bool isSeparator(QChar c)
{
    return c == QLatin1Char('=') || c == QLatin1Char(':');
}

} // namespace

QString ParseFailure::message() const
{
    switch (kind) {
    case Unknown:
        return QStringLiteral("Unknown option: ") + option;
    case NeedsValue:
        return option + QStringLiteral(": RTGetOpt: Command line option needs argument.");
    case NeedsIndex:
        return option + QStringLiteral(": RTGetOpt: Command line option needs an index.");
    case None:
        break;
    }
    return QString();
}

QList<ParsedOption> OptionParser::parse(const QStringList &args, ParseFailure *failure) const
{
    QList<ParsedOption> items;
    *failure = ParseFailure();
    bool optionsEnded = false;
    for (int i = 0; i < args.size(); ++i) {
        const QString arg = optionsEnded ? args.at(i) : normaliseDashes(args.at(i));
        if (optionsEnded || !arg.startsWith(QLatin1Char('-')) || arg.size() == 1) {
            ParsedOption positional;
            positional.value = args.at(i);
            items.append(positional);
            continue;
        }
        if (arg == QLatin1String("--")) {
            optionsEnded = true;
            continue;
        }
        bool matched = false;
        for (const OptionDef &def : m_defs) {
            for (const QString &name : def.names) {
                if (!arg.startsWith(name))
                    continue;
                QString rest = arg.mid(name.size());
                ParsedOption item;
                item.id = def.id;
                item.typed = name;
                if (def.indexed) {
                    int digits = 0;
                    while (digits < rest.size() && rest.at(digits).isDigit())
                        ++digits;
                    if (digits == 0) {
                        if (rest.isEmpty()) {
                            failure->kind = ParseFailure::NeedsIndex;
                            failure->option = arg;
                            return items;
                        }
                        continue;
                    }
                    item.index = rest.left(digits).toInt();
                    rest = rest.mid(digits);
                }
                bool attached = false;
                if (!rest.isEmpty()) {
                    if (!def.hasValue || !isSeparator(rest.at(0)))
                        continue;
                    item.value = rest.mid(1);
                    attached = true;
                }
                if (def.hasValue && !attached) {
                    if (i + 1 >= args.size()) {
                        failure->kind = ParseFailure::NeedsValue;
                        failure->option = arg;
                        return items;
                    }
                    item.value = args.at(++i);
                }
                items.append(item);
                matched = true;
                break;
            }
            if (matched)
                break;
        }
        if (!matched) {
            failure->kind = ParseFailure::Unknown;
            failure->option = arg;
            return items;
        }
    }
    return items;
}
