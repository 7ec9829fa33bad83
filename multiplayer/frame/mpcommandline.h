#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// The manager's command line and its channel message.
namespace OrvMulti {

// Values of the options -vm, -status and -from; written once by parseCommandLine().
extern QString vm;
extern QString status;
extern QString from;

// Parses `arguments` (the program name first). An unknown option ends the process with the parser's
// message. Logs "the commandLineParam is vm=... status=...".
void parseCommandLine(const QStringList &arguments);

// The manager message: compact UTF-8 JSON {"vm": ..., "status": ...}.
QByteArray managerMessage(const QString &vmName, const QString &statusWord);

// Reads a manager message; false when `bytes` is not a JSON object. Missing or non-text members give
// empty strings.
bool parseManagerMessage(const QByteArray &bytes, QString *vmName, QString *statusWord);

} // namespace OrvMulti
