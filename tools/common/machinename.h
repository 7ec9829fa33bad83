#pragma once

#include <QString>

// Whether `name` is a plain machine name that may name files, folders and tool arguments: ASCII
// letters, digits, "_", "-", "." and inner blanks, 1 to 64 characters, not starting with "." or a blank
// and not ending with a blank.
bool isPlainMachineName(const QString &name);
