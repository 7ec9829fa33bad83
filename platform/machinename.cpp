#include "machinename.h"

namespace {

bool isNameCharacter(QChar c)
{
    const ushort u = c.unicode();
    return (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9') || u == '_' ||
           u == '-' || u == '.' || u == ' ';
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
    if (name.startsWith(QLatin1Char('.')) || name.startsWith(QLatin1Char(' ')))
        return QStringLiteral("the machine name may not start with \".\" or a blank");
    if (name.endsWith(QLatin1Char(' ')))
        return QStringLiteral("the machine name may not end with a blank");
    return QString();
}

bool isValidMachineName(const QString &name)
{
    return machineNameProblem(name).isEmpty();
}
