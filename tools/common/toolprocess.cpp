#include "toolprocess.h"

#include "programs.h"

#include <QProcess>

namespace ToolProcess {

Outcome run(const QString &program, const QStringList &args, int timeoutMs)
{
    Outcome outcome;
    const QString path = Platform::findProgram(program);
    if (path.isEmpty())
        return outcome;
    QProcess process;
    process.setProcessChannelMode(QProcess::SeparateChannels);
    process.start(path, args);
    if (!process.waitForStarted(timeoutMs))
        return outcome;
    process.closeWriteChannel();
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished(1000);
        outcome.result = Result::TimedOut;
        return outcome;
    }
    outcome.result = process.exitStatus() == QProcess::NormalExit ? Result::Finished : Result::Crashed;
    outcome.exitCode = process.exitCode();
    outcome.standardOutput = process.readAllStandardOutput();
    return outcome;
}

bool startDetached(const QString &program, const QStringList &args)
{
    return Platform::startDetachedProgram(program, args);
}

QString resultName(Result result)
{
    switch (result) {
    case Result::Finished:
        return QStringLiteral("finished");
    case Result::Crashed:
        return QStringLiteral("crashed");
    case Result::TimedOut:
        return QStringLiteral("timed out");
    case Result::FailedToStart:
        return QStringLiteral("failed to start");
    }
    return QString();
}

} // namespace ToolProcess
