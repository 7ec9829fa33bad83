#pragma once

#include <QString>

// The log of a utility program: "[hh:mm:ss zzz]: <tag>  <level mark><text>\n" lines, the emulator's
// form, appended to <log root>/log/log/<program>-<yyyy-MM-dd>.log (the log root is the install
// folder, two levels above the program's folder) and mirrored to stderr. Debug lines are always
// written: they are the only trace these programs leave.
namespace UtilityLog {

// Installs the message handler; a write to a standard error without reader no longer ends the program. `tag`
// stands where the emulator writes its machine name.
void install(const QString &tag);
// Changes the tag of later lines.
void setTag(const QString &tag);
// The file the lines go to (empty before install).
QString filePath();

} // namespace UtilityLog
