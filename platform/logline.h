#pragma once

#include <QByteArray>
#include <QString>
#include <QTime>
#include <QtGlobal>

// The log line the emulator and the utility programs write, and the append every program's log uses.
namespace Platform {

// The level mark of a line: "D/", "W/", "C/", "F/", "I/", empty for any other type.
QString logLevelPrefix(QtMsgType type);

// One log line: "[hh:mm:ss zzz]: <tag>  <level mark><text>\n". All parts are put in at once, so a "%1"
// inside the tag or the text is written as it is.
QString formatLogLine(const QTime &time, const QString &tag, QtMsgType type, const QString &text);

// Appends `line` to the file at `path` in one unbuffered write, so that the lines of several threads or
// processes stay whole; the file is opened and closed for every line, so nothing is lost on a crash.
// False when the file cannot be opened or written.
bool appendLogLine(const QString &path, const QByteArray &line);

} // namespace Platform
