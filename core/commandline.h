#pragma once

#include <QString>
#include <QStringList>

// The emulator's command-line values. Written once by parseCommandLine() while the application object
// is being built, before any other component runs; read-only afterwards.
namespace CommandLine {
extern QString vm;
extern QString title;
extern QString pkgname;
extern QString pkgpath;
extern QString stream;
extern bool tcp;
extern bool debug;
extern bool stop;
extern bool vt_f;
extern bool reboot;
} // namespace CommandLine

// Parses the application's arguments into the CommandLine values and copies the `vm` value into
// Global::vmName. An unknown option or a value option without its value ends the process with 1.
void parseCommandLine();
void parseCommandLine(const QStringList &arguments);

namespace CommandLine {
// The package paths of a `pkgpath` value (one path, or the running process's ","-separated list) with
// each relative path made absolute against `folder`, the folder the start was run from; empty parts
// dropped (pure).
QString absolutePackagePaths(const QString &value, const QString &folder);
// The queue of packages collected during the start-up: ","-framed paths, each once. `path` is added
// whole at the end unless the queue already holds it; the result always begins and ends with ","
// (pure).
QString queuePackagePath(const QString &queue, const QString &path);
} // namespace CommandLine
