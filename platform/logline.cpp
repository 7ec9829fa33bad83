#include "logline.h"

#include <QFile>

namespace Platform {

QString logLevelPrefix(QtMsgType type)
{
    switch (type) {
    case QtDebugMsg:
        return QStringLiteral("D/");
    case QtWarningMsg:
        return QStringLiteral("W/");
    case QtCriticalMsg:
        return QStringLiteral("C/");
    case QtFatalMsg:
        return QStringLiteral("F/");
    case QtInfoMsg:
        return QStringLiteral("I/");
    }
    return QString();
}

QString formatLogLine(const QTime &time, const QString &tag, QtMsgType type, const QString &text)
{
    return QStringLiteral("[%1]: %2  %3%4\n")
        .arg(time.toString(QStringLiteral("hh:mm:ss zzz")), tag, logLevelPrefix(type), text);
}

bool appendLogLine(const QString &path, const QByteArray &line)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered))
        return false;
    return file.write(line) == line.size();
}

} // namespace Platform
