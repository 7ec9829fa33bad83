#pragma once

#include <QString>
#include <QStringList>

// Crash handling of the emulator program. On SIGSEGV, SIGBUS, SIGFPE, SIGILL or SIGABRT a signal
// handler of our own writes a dump file (signal, fault address, backtrace, memory map) into the crash
// folder using only async-signal-safe calls, then hands over to a handler thread that was started at
// install time and waits for it, at most a bound (past it, the crashed thread starts the cleaner
// itself). That thread runs the follow-up while the crashed thread stays stopped; it allocates nothing
// and takes no lock (the crashed thread may hold the allocator's or the logger's): everything it needs
// is prepared at install time. It keeps every signal blocked, so further fatal signals sent to the
// process wait for the follow-up instead of ending it. Afterwards the signal takes its default course
// and the process ends.
class CrashHandler
{
public:
    static CrashHandler &instance();

    // Installs the handler with `dumpFolder` for the dump files. A second call does nothing.
    void init(const QString &dumpFolder);
    bool isInstalled() const { return m_installed; }
    // Prepares the follow-up again from the process-wide values (the VirtualBox tool path becomes
    // known during start-up). Does nothing before init.
    void refresh();

private:
    CrashHandler() = default;
    bool m_installed = false;
};

// The follow-up of a crash, in this order: the "<VM> crash" log line, the status word ERROR, the crash
// notice (unless the program is quitting), the cleanup program. Returns `succeeded` (the dump was
// written).
bool onCrash(const QString &dumpFolder, const QString &dumpId, bool succeeded);

// Shows the crash notice in a helper program ("OrvCrashNotice", found like every other program) and
// waits until the user has closed it. The damaged process itself opens no window.
void showCrashNotice();

// Starts "OrvClear" detached: "-vm" <VM>, "-vp" <VirtualBox tool path>, "-pid" <this process's id>,
// "-to" 5.
void startClearProcess();

// True from the moment a crash is being handled in this process.
bool crashInProgress();

// Starts `name` (found like every other program) without fork(): the crashed thread may hold the
// allocator's locks, which fork() would wait for forever. A detached start gets its own session and
// outlives this process; with `wait` the call returns when the program has ended.
bool startProgramAfterCrash(const QString &name, const QStringList &args, bool wait);
