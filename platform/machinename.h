#pragma once

#include <QString>

// Machine names become folder, file and socket names (the machine's folder, its settings and database
// files, the instance channel). Every program that takes a machine name from outside accepts only a
// plain word: 1 to 64 characters, each an ASCII letter, a digit, "_", "-", "." or a blank; the first
// neither "." nor a blank, the last not a blank. So no name can climb out of a folder ("..", "a/b"),
// name a folder itself ("", "."), or be rewritten by the VirtualBox tool into another folder name.
constexpr int kMaxMachineNameLength = 64;

bool isValidMachineName(const QString &name);

// Why `name` is refused, as one line for the user; empty when the name is valid.
QString machineNameProblem(const QString &name);
