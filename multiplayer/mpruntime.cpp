#include "mpruntime.h"

#include "paths.h"

#include <QDir>
#include <QFile>

#include <sys/stat.h>
#include <unistd.h>

namespace OrvMulti {

namespace {
// Longest machine name the manager passes on; the tool itself accepts longer ones, nothing here needs them.
constexpr int kMaxMachineNameLength = 128;
} // namespace

QString privateRuntimeDir()
{
    const QString dir = Platform::runtimeDir();
    // Only the owner may reach the channel and the lock files inside.
    ::chmod(QFile::encodeName(dir).constData(), S_IRWXU);
    return dir;
}

bool isAcceptableMachineName(const QString &name)
{
    if (name.isEmpty() || name.size() > kMaxMachineNameLength || name.startsWith(QLatin1Char('-')))
        return false;
    if (name == QLatin1String(".") || name == QLatin1String(".."))
        return false;
    for (const QChar c : name) {
        if (c.category() == QChar::Other_Control || c == QLatin1Char('/') || c == QLatin1Char('\\'))
            return false;
    }
    return true;
}

QString channelPath(const QString &key)
{
    return privateRuntimeDir() + QLatin1Char('/') + key;
}

} // namespace OrvMulti
