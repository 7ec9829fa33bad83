#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <sys/types.h>

// The one way this system starts another program. Every caller builds an argument list (passed to the
// program unchanged: no shell, no quoting), picks a time-out and branches on the result enum.
// Started programs get an empty signal mask and the environment of this one. From the first start on
// this program ignores SIGPIPE (as Qt's own process and socket code does), and its programs inherit
// that; the crash path's starts (CrashSafeCommand) give them the default course back instead.
namespace Platform {

enum class ProcessResult
{
    Started,       // a detached start: the program runs on its own
    Finished,      // the program ended by itself; exitCode holds its exit status
    TimedOut,      // the time-out passed first; the program was killed unless asked otherwise
    FailedToStart, // not found, not executable, or the working folder does not exist
    Crashed,       // ended by a signal; signal holds its number
};

// Name of `result` for log lines ("finished", "timed out", ...).
const char *processResultName(ProcessResult result);

struct ProcessRequest
{
    // A name without '/' is looked up with findProgram (the running program's folder, then $PATH).
    QString program;
    QStringList arguments;
    // Empty: the caller's working folder.
    QString workingFolder;
    // Milliseconds to wait for the end; negative waits for as long as it takes.
    int timeoutMs = -1;
    // On a time-out the program is killed (SIGKILL) and reaped; false leaves it running and reaps it
    // in the background whenever it ends.
    bool killOnTimeout = true;
    // False: the program writes to this program's standard output and error instead of being captured.
    bool captureOutput = true;
};

struct ProcessOutcome
{
    ProcessResult result = ProcessResult::FailedToStart;
    int exitCode = -1; // Finished only
    int signal = 0;    // Crashed only
    pid_t pid = 0;     // 0 when nothing started
    QByteArray standardOutput;
    QByteArray standardError;
    QString errorText; // why it failed to start, for log lines
};

// Runs the program to its end (or the time-out) with its standard input empty and both output
// channels captured whole, however large (unless request.captureOutput is false). The program's own end
// counts, not the end of its output: a child it leaves behind holding the pipes does not hold the
// caller. Blocks the calling thread; safe from any thread.
ProcessOutcome runProcess(const ProcessRequest &request);

// Starts the program in a session of its own and returns at once: Started or FailedToStart. Its
// output goes where this program's goes; the child is reaped in the background when it ends.
// request.timeoutMs is not used.
ProcessOutcome startDetached(const ProcessRequest &request);

// A program start prepared ahead of time for the crash path: after a fatal signal the heap may be
// locked by the crashed thread, so everything is encoded into fixed storage while it is still safe
// (set()), and run() uses only posix_spawn and waitpid: no heap allocation, no fork(), no Qt.
class CrashSafeCommand
{
public:
    // Looks `program` up like runProcess and encodes it with `arguments`. False (and nothing is
    // prepared) when the program is not found or the texts do not fit.
    bool set(const QString &program, const QStringList &arguments);
    void clear();
    bool isSet() const { return m_argc > 0; }
    const char *programPath() const { return m_text; }

    // Starts the prepared program with an empty signal mask and the crash signals and SIGPIPE in their
    // default course. With `wait` it returns when the program has ended (the outcome's exitCode/signal
    // say how); otherwise the program gets its own session and outlives this process. Only result,
    // exitCode, signal and pid are filled in.
    ProcessOutcome run(bool wait) const;

private:
    static constexpr int kMaxArguments = 64;
    static constexpr int kTextSize = 16384;
    // The program path and each argument, zero-terminated one after the other (offsets, not pointers,
    // so that a copy of this object stays valid).
    char m_text[kTextSize] = {};
    int m_offsets[kMaxArguments] = {};
    int m_argc = 0;
};

} // namespace Platform
