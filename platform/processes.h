#pragma once

#include <QList>
#include <QString>

// The process table of this machine, read from the kernel's process folder (<proc root>, default /proc,
// moved by ORV_PROC_ROOT like every other kernel file the platform layer reads). A process is known by
// its id and the program it runs: the file name of its executable (<proc>/<pid>/exe). The command name
// (<proc>/<pid>/comm) is not used to tell programs apart: any process can set its own. No state, no
// lock; callable from any thread.
//
// Every function takes an id as qint64 and refuses one outside the range of process ids (1 to the
// largest pid_t): such an id names no process and is never cut down to one that does.
namespace Processes {

// Whether `pid` lies in the range of process ids, 1 to maxProcessId().
bool isProcessId(qint64 pid);
// The largest value of pid_t.
qint64 maxProcessId();

// The command name of process `pid` (what it calls itself, settable by the process); empty when the
// process does not exist.
QString commandName(qint64 pid);

// The file name (last part of the path) of the program process `pid` runs, read from its <proc>/<pid>/exe
// link; a program file deleted or replaced while it runs keeps its name (the kernel's " (deleted)" mark
// is taken off). Empty when the process does not exist, is a kernel thread, or its link cannot be read
// (a process of another user).
QString executableName(qint64 pid);

// Process `pid` exists, has not ended (a zombie waiting for its parent counts as ended) and runs the
// program `name` (its executable's file name, compared exactly, case-sensitive). False for an id that has
// been reused by another program and for a process that only renamed itself.
bool runsProgram(qint64 pid, const QString &name);

// The whole text of process `pid`'s <proc>/<pid>/exe link, as the kernel gives it (with its " (deleted)"
// mark where the program file was removed); empty when it cannot be read.
QString executableLinkText(qint64 pid);

// Like runsProgram, but on the link's whole text: its file name part is exactly `name`, or the text is
// <path> " (deleted)" where <path> is `name` in the folder `removedFrom` (a program file that was removed
// while it ran, from the one folder it may have come from). A program whose file is named
// "Orvanta (deleted)" is not "Orvanta".
bool runsProgramFile(qint64 pid, const QString &name, const QString &removedFrom);

// Ids of the live processes that run the program `name` (as runsProgram), ascending.
QList<qint64> findByName(const QString &name);

// Ids of the threads of process `pid` (<proc>/<pid>/task), ascending; empty when it does not exist.
QList<qint64> threadIds(qint64 pid);

// Ids of every descendant of `pid` (children, their children, ...), found through the parent id in
// each process's stat file.
QList<qint64> descendants(qint64 pid);

// Reads the parent id out of the text of a <proc>/<pid>/stat file ("pid (comm) state ppid ..."; the
// command name may hold blanks and parentheses). -1 for a text that does not have that form.
qint64 parseParentId(const QByteArray &statText);
// Reads the state letter out of the same text ('R', 'S', 'Z', ...); 0 for a malformed text.
char parseState(const QByteArray &statText);

// Ends process `pid` and all its descendants with SIGKILL. The tree is first held with SIGSTOP (again
// and again until no new descendant appears, bounded) so that none of them can start another process
// or escape to a new parent in between. Ids 0 and 1, negative ids and this process itself are never
// signalled, nor any id outside the range of process ids. Returns the number of processes that were sent
// SIGKILL.
int killTree(qint64 pid);

} // namespace Processes
