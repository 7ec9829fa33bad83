#pragma once

#include <QString>

// Where the manager keeps its runtime files, and which machine names it accepts from other processes.
// Both go through these two functions so that they follow the emulator's rules in one place.
namespace OrvMulti {

// The per-user folder for the manager's channel, segment lock and instance locks (the same folder as
// the emulator's).
QString privateRuntimeDir();

// True for a machine name that may key a segment, a settings file or a tool command: "Orvanta_<n>",
// "OrvantaBase" or another plain name without path separators, control characters or a leading dash.
bool isAcceptableMachineName(const QString &name);

// The full name of a local channel `key` inside the private runtime folder.
QString channelPath(const QString &key);

} // namespace OrvMulti
