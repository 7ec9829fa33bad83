#pragma once

#include <QList>
#include <QString>

// The process table of this machine, read from the kernel's process folder (<proc root>, default /proc,
// moved by ORV_PROC_ROOT like every other kernel file the platform layer reads). A process is known by
// its id and its command name (<proc>/<pid>/comm, the file name it was started from, at most 15
// characters). No state, no lock; callable from any thread.
namespace Processes {

// The command name of process `pid`; empty when the process does not exist.
QString commandName(qint64 pid);

// Process `pid` exists, has not ended (a zombie waiting for its parent counts as ended) and runs the
// program `name` (compared exactly, case-sensitive, as the kernel stores it: at most 15 characters).
// False for an id that has been reused by another program.
bool runsProgram(qint64 pid, const QString &name);

// Ids of the live processes whose command name equals `name` exactly (case-sensitive), ascending.
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
// signalled. Returns the number of processes that were sent SIGKILL.
int killTree(qint64 pid);

} // namespace Processes
