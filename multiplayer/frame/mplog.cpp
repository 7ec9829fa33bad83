#include "mplog.h"

#include "logline.h"
#include "paths.h"

#include <QDate>
#include <QDir>
#include <QMutex>
#include <QMutexLocker>

namespace OrvMulti {

namespace {
const char *const kManagerFolder = "OrvMultiPlayer";

// Guards the log file: one writer at a time appends its whole line.
QMutex &logMutex()
{
    static QMutex mutex;
    return mutex;
}
} // namespace

QString logTypeWord(QtMsgType type)
{
    switch (type) {
    case QtInfoMsg:
        return QStringLiteral("Info");
    case QtCriticalMsg:
        return QStringLiteral("Critical");
    case QtFatalMsg:
        return QStringLiteral("Fatal");
    default:
        return QString();
    }
}

QString formatLogLine(QtMsgType type, const QTime &time, const QString &text, const char *file, int line,
                      const char *function)
{
    // Every part goes in at once so that a "%1" inside the text stays as it is.
    return logTypeWord(type) + QLatin1Char('[') + time.toString(Qt::TextDate) + QStringLiteral("]:") + text +
           QStringLiteral(" (") + QString::fromUtf8(file ? file : "") + QLatin1Char(':') +
           QString::number(line) + QLatin1Char(',') + QString::fromUtf8(function ? function : "") +
           QStringLiteral(")\n");
}

QString logFolder()
{
    return Platform::localAppDataRoot() + QLatin1Char('/') + QLatin1String(kManagerFolder) +
           QStringLiteral("/log");
}

QString logFilePath(const QDate &date)
{
    return logFolder() + QStringLiteral("/log-") + date.toString(QStringLiteral("yyyy-MM-dd")) +
           QStringLiteral(".log");
}

void messageHandler(QtMsgType type, const QMessageLogContext &context, const QString &text)
{
    if (type == QtDebugMsg || type == QtWarningMsg)
        return;
    const QByteArray line =
        formatLogLine(type, QTime::currentTime(), text, context.file, context.line, context.function)
            .toUtf8();

    QMutexLocker locker(&logMutex());
    const QString folder = logFolder();
    if (!QDir(folder).exists())
        QDir().mkpath(folder);
    Platform::appendLogLine(logFilePath(QDate::currentDate()), line);
}

} // namespace OrvMulti
