#pragma once

#include <QStringList>

#include <functional>

class MainControl;
class OrvApplication;

// The event loop's result that asks for the program to be started again.
constexpr int kRestartExitCode = 10000;

// The arguments of the successor: the program's own arguments less the program path, plus "-reboot".
QStringList restartArguments(const QStringList &applicationArguments);

// Work after the event loop: on a restart request the instance channel is given up and the program
// started again, detached. Returns the process exit code (a restart ends with 0).
int finishEventLoop(OrvApplication &app, int loopCode);

// How long a start whose request reached a process on its way out waits for that process to end.
constexpr int kPredecessorQuitWaitMs = 60000;

// The emulator's whole run: the single-instance decision, the hand-over of a later start's request
// (or, when the running process is quitting, waiting for its end and starting up in its place), the
// start-up, the event loop and the restart. `wire`, when given, is called with the controller before
// the event loop starts (test programs reach the controller's requests through it).
int runEmulator(int argc, char *argv[], const std::function<void(MainControl &)> &wire = {});
