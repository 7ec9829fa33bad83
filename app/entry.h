#pragma once

#include <QStringList>

class OrvApplication;

// The event loop's result that asks for the program to be started again.
constexpr int kRestartExitCode = 10000;

// The arguments of the successor: the program's own arguments less the program path, plus "-reboot".
QStringList restartArguments(const QStringList &applicationArguments);

// Work after the event loop: on a restart request the instance channel is given up and the program
// started again, detached. Returns the process exit code (a restart ends with 0).
int finishEventLoop(OrvApplication &app, int loopCode);
