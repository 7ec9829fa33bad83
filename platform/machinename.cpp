#include "machinename.h"

namespace {

bool isNameCharacter(QChar c)
{
    const ushort u = c.unicode();
    return (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9') || u == '_' ||
           u == '-' || u == '.' || u == ' ';
}

bool isHexDigit(QChar c)
{
    const ushort u = c.unicode();
    return (u >= '0' && u <= '9') || (u >= 'a' && u <= 'f') || (u >= 'A' && u <= 'F');
}

// The tool looks a machine argument up as a UUID first when it has the UUID form (8-4-4-4-12 hexadecimal
// digits, in either case; braces cannot occur in a valid name). The all-zero UUID is refused as well: it
// is no name anyone means, and the tool's own renaming refuses every UUID form.
bool hasUuidForm(const QString &name)
{
    if (name.size() != 36)
        return false;
    for (int i = 0; i < name.size(); ++i) {
        const bool dash = i == 8 || i == 13 || i == 18 || i == 23;
        if (dash ? name.at(i) != QLatin1Char('-') : !isHexDigit(name.at(i)))
            return false;
    }
    return true;
}

} // namespace

QString machineNameProblem(const QString &name)
{
    if (name.isEmpty())
        return QStringLiteral("the machine name is empty");
    if (name.size() > kMaxMachineNameLength)
        return QStringLiteral("the machine name is longer than %1 characters").arg(kMaxMachineNameLength);
    for (const QChar c : name) {
        if (!isNameCharacter(c))
            return QStringLiteral("the machine name may hold only ASCII letters, digits, \"_\", \"-\", "
                                  "\".\" and blanks");
    }
    if (name.startsWith(QLatin1Char('.')) || name.startsWith(QLatin1Char('-')) ||
        name.startsWith(QLatin1Char(' ')))
        return QStringLiteral("the machine name may not start with \".\", \"-\" or a blank");
    if (name.endsWith(QLatin1Char('.')) || name.endsWith(QLatin1Char(' ')))
        return QStringLiteral("the machine name may not end with \".\" or a blank");
    if (hasUuidForm(name))
        return QStringLiteral("the machine name may not have the form of a UUID");
    return QString();
}

bool isValidMachineName(const QString &name)
{
    return machineNameProblem(name).isEmpty();
}

QString programRuntimeKey(const QString &name)
{
    return QStringLiteral("program:") + name;
}
