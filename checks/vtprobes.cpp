#include "vtprobes.h"

#include "global.h"
#include "hardwareprobe.h"
#include "programs.h"
#include "timeoutscale.h"

#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QProcess>

namespace VtProbes {

namespace {
constexpr int kCheckerTimeoutMs = 120000;

bool kernelSaysEnabled()
{
    const QString flag = HardwareProbe::cpuVirtualisationFlag();
    const bool device = HardwareProbe::kvmDevicePresent();
    qInfo().noquote() << QStringLiteral(
                             "Loading    : processor virtualisation flag \"%1\", hypervisor device %2")
                             .arg(flag, device ? QStringLiteral("present") : QStringLiteral("absent"));
    return !flag.isEmpty() || device;
}

// Runs a checker and hands back the finished process, or false when it did not start or finish.
bool runChecker(QProcess &process, const QString &program, const QStringList &args)
{
    process.start(program, args, QIODevice::ReadWrite);
    if (!process.waitForFinished(TimeoutScale::ms(kCheckerTimeoutMs))) {
        qInfo().noquote() << QStringLiteral("Loading    : vt checker ") + program +
                                 QStringLiteral(" gave no answer: ") + process.errorString();
        process.kill();
        process.waitForFinished(1000);
        return false;
    }
    return process.exitStatus() == QProcess::NormalExit;
}
} // namespace

bool detectHyperV()
{
    return HardwareProbe::kvmHoldsVirtualisation();
}

bool detectOtherHypervisor()
{
    return HardwareProbe::otherHypervisorHoldsVirtualisation();
}

bool isVtEnabled()
{
    if (Global::installInfo.productVersion >= QLatin1String("1.4.0")) {
        const QString checker = Platform::findProgram(QStringLiteral("VTChecker"));
        if (checker.isEmpty())
            return kernelSaysEnabled();
        QProcess process;
        return runChecker(process, checker, {}) && process.exitCode() == 1;
    }

    // Older installations ship a script instead of the checker program.
    const QString script = QDir::currentPath() + QStringLiteral("/player/vtchecker.vbs");
    if (!QFileInfo::exists(script)) {
        qInfo() << "Loading : vt file is miss";
        return false;
    }
    const QString host = Platform::findProgram(QStringLiteral("cscript"));
    if (host.isEmpty())
        return false;
    QProcess process;
    if (!runChecker(process, host, {QStringLiteral("//Nologo"), script}))
        return false;
    return QString::fromLocal8Bit(process.readAllStandardOutput()).trimmed().toInt() == 1;
}

} // namespace VtProbes
