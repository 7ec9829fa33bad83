#include "entry.h"

#include "orvapplication.h"

#include <QProcess>

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
    QProcess::startDetached(QCoreApplication::applicationFilePath(), restartArguments(app.arguments()));
    return 0;
}
