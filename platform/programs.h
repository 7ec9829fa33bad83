#pragma once

#include <QString>
#include <QStringList>

// Finding and starting the other programs of the system and the outside programs it drives.
namespace Platform {

// Full path of the program `name`: the running program's folder first, then each folder of $PATH.
// A name that already holds a path is returned as it is when the file exists. Empty when not found.
QString findProgram(const QString &name);

// Starts `name` (looked up with findProgram) detached with `args`; false when it is not found or
// does not start.
bool startDetachedProgram(const QString &name, const QStringList &args, qint64 *pid = nullptr);

} // namespace Platform
