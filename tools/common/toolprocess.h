#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// How the utility programs run the outside programs they drive: one call with an argument list and a
// time-out, answered by a result word. The program is looked up as everywhere in the system
// (Platform::findProgram: the program's own folder, then PATH; a path is taken as it is).
namespace ToolProcess {

enum class Result
{
    Finished,      // ended by itself within the time-out (any exit code)
    Crashed,       // ended by a signal within the time-out
    TimedOut,      // still running at the time-out; it has been ended
    FailedToStart, // not found or not startable
};

struct Outcome
{
    Result result = Result::FailedToStart;
    int exitCode = -1;
    QByteArray standardOutput;
};

// Runs `program` with `args` and waits up to `timeoutMs` for it to end.
Outcome run(const QString &program, const QStringList &args, int timeoutMs);

// Starts `program` with `args` and does not wait; false when it is not found or does not start.
bool startDetached(const QString &program, const QStringList &args);

QString resultName(Result result);

} // namespace ToolProcess
