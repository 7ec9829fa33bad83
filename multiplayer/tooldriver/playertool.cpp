#include "playertool.h"

#include "machinename.h"
#include "processrunner.h"

#include <QCoreApplication>
#include <QDir>
#include <QSettings>

namespace OrvMulti {

namespace {
const char *const kEmulatorProgram = "Orvanta";

// The emulator is found beside the manager first (both live in the player folder), then on the path.
bool startEmulator(const QStringList &arguments)
{
    Platform::ProcessRequest request;
    request.program = QLatin1String(kEmulatorProgram);
    request.arguments = arguments;
    return Platform::startDetached(request).result == Platform::ProcessResult::Started;
}
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
    if (!isValidMachineName(vm))
        return false;
    return startEmulator({QStringLiteral("-vm=") + vm, QStringLiteral("-title=") + title});
}

bool PlayerTool::stopPlayer(const QString &vm)
{
    if (!isValidMachineName(vm))
        return false;
    return startEmulator({QStringLiteral("-vm=") + vm, QStringLiteral("-stop")});
}

} // namespace OrvMulti
