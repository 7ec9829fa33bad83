#include "machinename.h"

namespace {
constexpr int kMaxMachineNameLength = 64;
}

bool isPlainMachineName(const QString &name)
{
    if (name.isEmpty() || name.size() > kMaxMachineNameLength)
        return false;
    if (name.startsWith(QLatin1Char('.')) || name.startsWith(QLatin1Char(' ')) ||
        name.endsWith(QLatin1Char(' ')))
        return false;
    for (const QChar c : name) {
        const ushort u = c.unicode();
        const bool plain = (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9') ||
                           u == '_' || u == '-' || u == '.' || u == ' ';
        if (!plain)
            return false;
    }
    return true;
}
