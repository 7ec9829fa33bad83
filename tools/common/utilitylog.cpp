#include "utilitylog.h"

#include <QCoreApplication>
#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QTime>

#include <csignal>
#include <cstdio>

namespace UtilityLog {

namespace {

// Guards g_tag and g_file and keeps each line's write whole.
QMutex g_mutex;
QString g_tag;
QString g_file;

QString levelMark(QtMsgType type)
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

void handler(QtMsgType type, const QMessageLogContext &, const QString &text)
{
    QMutexLocker locker(&g_mutex);
    const QByteArray line =
        QStringLiteral("[%1]: %2  %3%4\n")
            .arg(QTime::currentTime().toString(QStringLiteral("hh:mm:ss zzz")), g_tag, levelMark(type), text)
            .toUtf8();
    if (!g_file.isEmpty()) {
        QFile file(g_file);
        if (file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered))
            file.write(line);
    }
    fwrite(line.constData(), 1, static_cast<size_t>(line.size()), stderr);
}

} // namespace

void install(const QString &tag)
{
    const QString programDir = QCoreApplication::applicationDirPath();
    const QString folder = QDir::cleanPath(programDir + QStringLiteral("/../../log/log"));
    QDir().mkpath(folder);
    {
        QMutexLocker locker(&g_mutex);
        g_tag = tag;
        g_file = folder + QLatin1Char('/') + QFileInfo(QCoreApplication::applicationFilePath()).fileName() +
                 QLatin1Char('-') + QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd")) +
                 QStringLiteral(".log");
    }
    // The utilities are started detached and inherit the standard error of their starter, which may be
    // a pipe whose reader is gone (a crashed emulator's): a write there must fail, not end the program.
    ::signal(SIGPIPE, SIG_IGN);
    qInstallMessageHandler(handler);
}

void setTag(const QString &tag)
{
    QMutexLocker locker(&g_mutex);
    g_tag = tag;
}

QString filePath()
{
    QMutexLocker locker(&g_mutex);
    return g_file;
}

} // namespace UtilityLog
