#include "vtprobes.h"

#include "global.h"
#include "hardwareprobe.h"
#include "logtags.h"
#include "processrunner.h"
#include "programs.h"
#include "timeoutscale.h"

#include <QDebug>
#include <QDir>
#include <QFileInfo>

namespace VtProbes {

namespace {
constexpr int kCheckerTimeoutMs = 120000;

bool kernelSaysEnabled()
{
    const QString flag = HardwareProbe::cpuVirtualisationFlag();
    const bool device = HardwareProbe::kvmDevicePresent();
    qInfo().noquote() << QStringLiteral(ORV_LOG_LOADING
                                        "processor virtualisation flag \"%1\", hypervisor device %2")
                             .arg(flag, device ? QStringLiteral("present") : QStringLiteral("absent"));
    return !flag.isEmpty() || device;
}

// Runs a checker; true when it ended by itself (its exit code and output are in `outcome`), false when
// it did not start, did not finish in time (it is killed then) or crashed.
bool runChecker(Platform::ProcessOutcome *outcome, const QString &program, const QStringList &args)
{
    Platform::ProcessRequest request;
    request.program = program;
    request.arguments = args;
    request.timeoutMs = TimeoutScale::ms(kCheckerTimeoutMs);
    *outcome = Platform::runProcess(request);
    if (outcome->result == Platform::ProcessResult::FailedToStart ||
        outcome->result == Platform::ProcessResult::TimedOut) {
        const QString why = outcome->errorText.isEmpty()
                                ? QString::fromLatin1(Platform::processResultName(outcome->result))
                                : outcome->errorText;
        qInfo().noquote() << QStringLiteral(ORV_LOG_LOADING "vt checker ") + program +
                                 QStringLiteral(" gave no answer: ") + why;
        return false;
    }
    return outcome->result == Platform::ProcessResult::Finished;
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
        Platform::ProcessOutcome outcome;
        return runChecker(&outcome, checker, {}) && outcome.exitCode == 1;
    }

    // Older installations ship a script instead of the checker program.
    const QString script = QDir::currentPath() + QStringLiteral("/player/vtchecker.vbs");
    if (!QFileInfo::exists(script)) {
        // Spelled as the log filters of the support staff search for it (one blank after the tag, too).
        qInfo() << "Loading : vt file is miss";
        return false;
    }
    const QString host = Platform::findProgram(QStringLiteral("cscript"));
    if (host.isEmpty())
        return false;
    Platform::ProcessOutcome outcome;
    if (!runChecker(&outcome, host, {QStringLiteral("//Nologo"), script}))
        return false;
    return QString::fromLocal8Bit(outcome.standardOutput).trimmed().toInt() == 1;
}

} // namespace VtProbes
