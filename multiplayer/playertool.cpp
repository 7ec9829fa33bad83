#include "playertool.h"

#include "mpruntime.h"
#include "programs.h"

#include <QCoreApplication>
#include <QDir>
#include <QSettings>

namespace OrvMulti {

namespace {
const char *const kEmulatorProgram = "Orvanta";
} // namespace

PlayerTool &PlayerTool::instance()
{
    static PlayerTool tool;
    return tool;
}

void PlayerTool::initEmulatorPath()
{
    QSettings settings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Halvora"),
                       QStringLiteral("Orvanta"));
    QString installDir = settings.value(QStringLiteral("Installdir")).toString();
    if (installDir.isEmpty())
        installDir = QDir::cleanPath(QCoreApplication::applicationDirPath() + QStringLiteral("/../.."));
    const QString version =
        settings.value(QStringLiteral("ProductVersion"), QStringLiteral("1.0.0")).toString().trimmed();
    m_emulatorPath = installDir + QLatin1Char('/') + version + QStringLiteral("/player/") +
                     QLatin1String(kEmulatorProgram);
}

QString PlayerTool::emulatorPath() const
{
    return m_emulatorPath;
}

bool PlayerTool::startPlayer(const QString &vm, const QString &title)
{
    if (!isAcceptableMachineName(vm))
        return false;
    return Platform::startDetachedProgram(QLatin1String(kEmulatorProgram),
                                          {QStringLiteral("-vm=") + vm, QStringLiteral("-title=") + title});
}

bool PlayerTool::stopPlayer(const QString &vm)
{
    if (!isAcceptableMachineName(vm))
        return false;
    return Platform::startDetachedProgram(QLatin1String(kEmulatorProgram),
                                          {QStringLiteral("-vm=") + vm, QStringLiteral("-stop")});
}

} // namespace OrvMulti
