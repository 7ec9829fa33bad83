#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// Option parsing as the real tool's runtime does it: exact, case-sensitive long names; the value as the
// next argument or attached with "=" or ":"; indexed options ("--nic1") carry their number in the name;
// options and positional arguments may be mixed; "--" ends the options.
struct OptionDef
{
    int id;
    QStringList names;
    bool hasValue = false;
    bool indexed = false;
};

struct ParsedOption
{
    int id = 0;    // 0: positional argument
    QString typed; // the spelling used, without index or attached value
    QString value;
    int index = 0;
};

struct ParseFailure
{
    enum Kind
    {
        None,
        Unknown,
        NeedsValue,
        NeedsIndex
    };
    Kind kind = None;
    QString option;

    // The runtime's message for the failure (the "Unknown option: --x" form).
    QString message() const;
};

class OptionParser
{
public:
    explicit OptionParser(const QList<OptionDef> &defs) : m_defs(defs) {}
    QList<ParsedOption> parse(const QStringList &args, ParseFailure *failure) const;

private:
    QList<OptionDef> m_defs;
};
