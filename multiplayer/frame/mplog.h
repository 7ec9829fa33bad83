#pragma once

#include <QString>
#include <QTime>
#include <QtGlobal>

// The manager's daily log: <local app data>/OrvMultiPlayer/log/log-<yyyy-MM-dd>.log, one line per info,
// critical or fatal message; debug messages and warnings are dropped.
namespace OrvMulti {

// The type word of a kept message ("Info", "Critical", "Fatal"); empty for a dropped one.
QString logTypeWord(QtMsgType type);

// "%1[%2]:%3 (%4:%5,%6)\n": type word, time (hh:mm:ss), text, source file, line, function.
QString formatLogLine(QtMsgType type, const QTime &time, const QString &text, const char *file, int line,
                      const char *function);

// The folder of the log files and the file of `date`.
QString logFolder();
QString logFilePath(const QDate &date);

// The process-wide message handler. Writers from several threads are serialised, so lines never
// interleave; the file is opened and closed for every line.
void messageHandler(QtMsgType type, const QMessageLogContext &context, const QString &text);

} // namespace OrvMulti
