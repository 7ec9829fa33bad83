#pragma once

#include <QString>
#include <QStringList>

// Questions about the host and the start of helper programs. No state, no lock; callable from any thread.

// The host's native processor architecture is 64-bit (the kernel's, not this program's).
bool isWindows64Bit();

// Free bytes on the file system of Global::systemInfo.driveRoot (of the current folder while that is not
// known yet); 0 when the query fails.
quint64 driveFreeBytes();

// The installation's file system has room for `path` with a margin of four times its size. An unknown
// amount of free space counts as room.
bool hasSpaceForFile(const QString &path);

// The system update asked about exists only on one old desktop system; every host here is one without
// that fault, so the answer is always true (logged at debug level).
bool hasHotfixKB3033929();

// Starts `file` with `args` (each passed as one argument) in `workingFolder` (empty: the current folder).
// There is no elevation on this platform: the program is started with this process's rights, and that
// is logged. Waits up to `timeoutMs` for it: its exit code, -1 after a time-out (the program runs on),
// 0 when nothing was waited for (`timeoutMs` <= 0) or the program could not be started; a program
// ended by a signal gives 128 + the signal number, and `endedBySignal` (when given) tells it apart.
int runElevated(const QString &file, const QStringList &args, QString workingFolder, int timeoutMs,
                bool *endedBySignal = nullptr);
