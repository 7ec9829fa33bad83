#include "vmrecord.h"

#include <QRegularExpression>

namespace OrvMulti {

bool isInstanceName(const QString &name, int *number, QString *digits)
{
    static const QRegularExpression pattern(QStringLiteral("^Orvanta_(\\d+)$"));
    const QRegularExpressionMatch match = pattern.match(name);
    if (!match.hasMatch())
        return false;
    bool ok = false;
    const int value = match.captured(1).toInt(&ok);
    if (!ok)
        return false;
    if (number)
        *number = value;
    if (digits)
        *digits = match.captured(1);
    return true;
}

namespace {
// The number after the first underscore, without leading zeros ("" for none).
QString keyNumber(const QString &name)
{
    const int underscore = name.indexOf(QLatin1Char('_'));
    if (underscore < 0)
        return QString();
    QString digits;
    for (int i = underscore + 1; i < name.size() && name.at(i).isDigit(); ++i)
        digits += name.at(i);
    while (digits.size() > 1 && digits.startsWith(QLatin1Char('0')))
        digits.remove(0, 1);
    return digits;
}
} // namespace

bool VmKeyLess::operator()(const QString &a, const QString &b) const
{
    const QString x = keyNumber(a);
    const QString y = keyNumber(b);
    if (x.size() != y.size())
        return x.size() < y.size();
    if (x != y)
        return x < y;
    // Orvanta_1 and Orvanta_01 read as one number but are two machines: each keeps its own record.
    return a < b;
}

} // namespace OrvMulti
