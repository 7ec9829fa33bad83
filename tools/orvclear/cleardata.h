#pragma once

#include <QString>
#include <QStringList>

// The crash cleaner's one pass: power the crashed emulator's machine off when the VirtualBox tool
// lists it as running, give the emulator process `to` one-second waits to end by itself, then end it
// and its child processes by force. Every outside program runs with a bounded wait.
class ClearData
{
public:
    // The program the cleaner may end, by the whole text of the process's executable link: a process
    // under the given id that runs anything else is not the crashed emulator (the id was reused, another
    // program only calls itself "Orvanta", or its file is named "Orvanta (deleted)") and counts as gone.
    // A process whose program file was removed counts only when that file lay in the cleaner's own
    // (the player) folder.
    static constexpr const char *kEmulatorProgram = "Orvanta";
    // How long one outside program may run before it is ended (scaled by ORV_TIMEOUT_SCALE in tests).
    static constexpr int kExecTimeoutMs = 12000;
    static constexpr int kDefaultWaits = 5;

    // Exit code of a run refused before anything was done (an unsafe machine name, or a process id
    // that is not a plain decimal number within the range of pid_t).
    static constexpr int kExitRefused = 1;

    // Reads -vm, -vp, -pid and -to from `arguments` (the program's own command line, program name
    // first). An unknown option or a missing value prints the parser's message and ends the process
    // with exit code 1.
    void parse(const QStringList &arguments);

    // Runs the pass; returns the exit code: 0, or kExitRefused for a machine name that is not a plain
    // word or a process id that names no process (nothing is run then).
    int run();

    // Runs `program` with `arguments` and waits up to kExecTimeoutMs: 0 when it ended in time (its
    // standard output, decoded with the local 8-bit code page, then goes into `output` when given), 1
    // when it did not start or did not end in time (it is ended; `output` is left as it was).
    static int exec(const QString &program, const QStringList &arguments, QString *output = nullptr);

    // The emulator process has ended: no id, an id that is not a process number, no such process, or
    // a process under that id that runs another program.
    bool processGone() const;

    QString pid() const { return m_pid; }
    QString vm() const { return m_vm; }
    QString vp() const { return m_vp; }
    int to() const { return m_to; }

private:
    void powerOffMachine();
    void endProcess();
    qint64 processId() const;
    bool isEmulator(qint64 id) const;

    QString m_pid;
    QString m_vm;
    QString m_vp;
    int m_to = kDefaultWaits;
};
