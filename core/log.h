#pragma once

#include "logline.h"

#include <QString>
#include <QTime>
#include <QtGlobal>

// The emulator's debug log: one line per message in <log root>/log/log/debug-<start date>.log.

// The line's level mark and the line itself, "[hh:mm:ss zzz]: <vm>  <level mark><text>\n": the form all
// the programs but the manager write (see logline.h).
using Platform::formatLogLine;
using Platform::logLevelPrefix;

// The log root of a program that lies in <install folder>/<product version>/player: the install folder.
QString logRootFor(const QString &programDir);

// Creates the log folders, installs messageHandler and the crash handler. Run once by main, after the
// application names are set and Global::initStartTime has run.
// `startUsageReporting` runs between the message handler and the crash handler (the usage-report
// engine lives above this library, so the program hands it in).
void setupLogging(void (*startUsageReporting)() = nullptr);

// The process-wide message handler: filters by level, then appends the line to the debug log file
// (opened and closed for every line, so nothing is lost on a crash) and mirrors it to stderr.
void messageHandler(QtMsgType type, const QMessageLogContext &context, const QString &text);
