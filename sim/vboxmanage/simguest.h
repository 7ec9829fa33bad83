#pragma once

#include <QString>

// The simulated Android guest (sim/guest, program "orv-guest") of a running machine: started when the
// machine starts and ended when it stops, as the guest system lives and dies with its machine. Its
// folder is <state folder>/guests/<machine name> (apart from the machine's own files); it reads its
// ports, screen size and picture key from the machine file. Without the program beside the tool or on
// PATH the machine simply runs without a guest.
namespace SimGuest {

constexpr const char *kProgram = "orv-guest";

// The guest folder of machine `name`.
QString folder(const QString &stateDir, const QString &name);
// Starts the guest of the machine whose settings file is `machineFile` (ending a leftover one first),
// with "--comment <name> --startvm <uuid>" on its command line as the machine process has them.
void start(const QString &machineFile, const QString &guestDir, const QString &name, const QString &uuid);
// Tells a running guest that its host ports are now these (0: unchanged).
void movePorts(const QString &guestDir, int vinputPort, int pavixPort);
// Ends the guest of `guestDir`, if one runs, and waits briefly until its ports are free.
void stop(const QString &guestDir);

} // namespace SimGuest
