// The headless start of the prepared machine, with the two failures it works around on its own: a loader
// mismatch (tried again up to 20 times) and unusable hardware virtualisation (one start without it).
#include "errorcodes.h"
#include "global.h"
#include "logtags.h"
#include "timeoutscale.h"
#include "vboxtool.h"

#include <QDebug>
#include <QThread>

namespace {

constexpr int kToolTimeoutSeconds = 120;
constexpr int kLoaderMismatchRetries = 20;
constexpr int kSettleMs = 1000;

void settle()
{
    QThread::msleep(static_cast<unsigned long>(TimeoutScale::ms(kSettleMs)));
}

} // namespace

int VBoxTool::startVM()
{
    Global::systemInfo.startWithVt = true;
    const QStringList startArgs{QStringLiteral("startvm"), Global::vmName, QStringLiteral("--type"),
                                QStringLiteral("headless")};
    QString out;
    QString err;
    const auto start = [&](int flag) {
        out.clear();
        err.clear();
        const int r = exec(startArgs, &out, &err, kToolTimeoutSeconds);
        qDebug().noquote() << QStringLiteral(ORV_LOG_VBOXTOOL "startVM ") + QString::number(r) +
                                  QStringLiteral("  G::lastErrorCode ") + Global::lastErrorCode +
                                  QStringLiteral("  flag ") + QString::number(flag);
        return r;
    };
    // Back to powered off from whatever state the failed start left, read afresh.
    const auto powerOff = [this] {
        settle();
        initVmInfo();
        stopVM();
        settle();
    };

    int r = start(0);
    for (int n = 0; Global::lastErrorCode.contains(QLatin1String("VERR_LDR_MISMATCH_NATIVE")) &&
                    n < kLoaderMismatchRetries;
         ++n) {
        powerOff();
        r = start(n);
    }

    if (Global::lastErrorCode.contains(QLatin1String("_VMX_")) ||
        Global::lastErrorCode.contains(QLatin1String("_SVM_"))) {
        powerOff();
        Global::systemInfo.startWithVt = false;
        setHwVirtEx(false);
        checkMemory(false);
        checkCpu(false);
        r = exec(startArgs, &out, &err, kToolTimeoutSeconds);
    }

    if (r != ErrorCode::Success)
        return ErrorCode::VmStartFailed;
    if (!out.contains(QLatin1String("successfully"))) {
        qCritical().noquote() << QStringLiteral(ORV_LOG_VBOXTOOL "start failed ") + err;
        return ErrorCode::DiskRepairOrStartAnswerFailed;
    }
    m_vmInfo.insert(QStringLiteral("VMState"), QStringLiteral("running"));
    return ErrorCode::Success;
}
