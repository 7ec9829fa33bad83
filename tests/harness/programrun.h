#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

#include <functional>

class InstallTree;

// One real process of a program of an install tree, with its output collected.
class ProgramRun
{
public:
    // `program` is a file name in the tree's player folder or an absolute path.
    ProgramRun(const InstallTree &tree, const QString &program, const QStringList &args = {});
    ~ProgramRun();
    ProgramRun(const ProgramRun &) = delete;
    ProgramRun &operator=(const ProgramRun &) = delete;

    // The default bounds are generous: on a machine busy with other work (or in the sanitizer build,
    // several times slower) a program's start and run take seconds. Each wait ends with its event.
    bool start(int timeoutMs = 30000);
    // Starts, waits for the end and returns the exit code (-1 when it did not end in time).
    int run(int timeoutMs = 60000);
    bool waitForFinished(int timeoutMs = 60000);
    bool isRunning() const { return m_process.state() != QProcess::NotRunning; }
    int exitCode() const { return m_process.exitCode(); }
    QProcess::ExitStatus exitStatus() const { return m_process.exitStatus(); }
    qint64 pid() const { return m_process.processId(); }

    // Standard output and standard error received so far, in arrival order.
    QString output();
    // Waits until the output or the tree's debug log holds `text`. The log is shared by every program
    // of the tree: to know that this very process got somewhere, use waitForOutput.
    bool waitForText(const QString &text, int timeoutMs = 60000);
    // Waits until this process's own output holds `text`.
    bool waitForOutput(const QString &text, int timeoutMs = 60000);

    void killHard();  // SIGKILL, as a crash would end it
    void terminate(); // SIGTERM, then SIGKILL when it lingers

    QProcess &process() { return m_process; }

private:
    const InstallTree &m_tree;
    QString m_program;
    QStringList m_args;
    QProcess m_process;
    QByteArray m_output;
};

// Polls `condition` (processing events) until it holds or `timeoutMs` passes.
bool waitUntil(const std::function<bool()> &condition, int timeoutMs);
