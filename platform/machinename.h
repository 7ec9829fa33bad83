#pragma once

#include <QString>

// Machine names become folder, file and socket names (the machine's folder, its settings and database
// files, the instance channel) and arguments of VirtualBox tool commands. Every program that takes a
// machine name from outside accepts only a plain word: 1 to 64 characters, each an ASCII letter, a digit,
// "_", "-", "." or a blank; the first neither ".", "-" nor a blank, the last neither "." nor a blank; and
// not the form of a UUID. So no name can climb out of a folder ("..", "a/b"), name a folder itself ("",
// "."), be taken by the tool for an option ("--delete") or for another machine's UUID, or be rewritten by
// the tool into the folder name of another name: the tool turns a leading "." or "-", a trailing "." and
// leading or trailing blanks into "_", so "Work." would share the folder "Work_" with "Work_".
constexpr int kMaxMachineNameLength = 64;

bool isValidMachineName(const QString &name);

// Why `name` is refused, as one line for the user; empty when the name is valid.
QString machineNameProblem(const QString &name);

// The key of a runtime resource (segment, owner lock, channel) that belongs to a program rather than to
// a machine: the manager's single instance, the port choice lock. Machines key theirs by their names;
// this key holds a ":", which no machine name may hold, so no machine can ever own the program's files.
QString programRuntimeKey(const QString &name);
