#include "entry.h"

#include "orvapplication.h"
#include "processrunner.h"

#include <QDebug>

QStringList restartArguments(const QStringList &applicationArguments)
{
    QStringList args = applicationArguments.mid(1);
    args << QStringLiteral("-reboot");
    return args;
}

int finishEventLoop(OrvApplication &app, int loopCode)
{
    if (loopCode != kRestartExitCode)
        return loopCode;
    // The successor must find the channel name free, the segment gone and the owner lock released.
    app.releaseInstance();
    Platform::ProcessRequest successor;
    successor.program = QCoreApplication::applicationFilePath();
    successor.arguments = restartArguments(app.arguments());
    const Platform::ProcessOutcome outcome = Platform::startDetached(successor);
    if (outcome.result != Platform::ProcessResult::Started)
        qWarning().noquote() << QStringLiteral("Entry      : restart failed: ") + outcome.errorText;
    return 0;
}
