#include "log.h"

#include "commandline.h"
#include "crashhandler.h"
#include "global.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <cstdio>

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

QString formatLogLine(const QTime &time, const QString &vmName, QtMsgType type, const QString &text)
{
    return QStringLiteral("[%1]: %2  %3%4\n")
        .arg(time.toString(QStringLiteral("hh:mm:ss zzz")), vmName, logLevelPrefix(type), text);
}

QString logRootFor(const QString &programDir)
{
    return QDir::cleanPath(programDir + QStringLiteral("/../.."));
}

void messageHandler(QtMsgType type, const QMessageLogContext &context, const QString &text)
{
    Q_UNUSED(context)
    if (appQuittingFlag && type == QtWarningMsg)
        return;
    if (!CommandLine::debug && type == QtDebugMsg)
        return;

    const QByteArray line = formatLogLine(QTime::currentTime(), Global::vmName, type, text).toUtf8();
    // One unbuffered append of the whole line: lines of several threads stay whole.
    QFile file(Global::debugLogFile);
    if (file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered)) {
        file.write(line);
        file.close();
    }
    // Someone who runs the program from a terminal sees the same lines.
    fwrite(line.constData(), 1, static_cast<size_t>(line.size()), stderr);
}

void setupLogging(void (*startUsageReporting)())
{
    Global::logRoot = logRootFor(QCoreApplication::applicationDirPath());
    const QString logFolder = Global::logRoot + QStringLiteral("/log/log");
    const QString crashFolder = Global::logRoot + QStringLiteral("/log/crash");
    const QString openglFolder = Global::logRoot + QStringLiteral("/log/opengl");
    for (const QString &folder : {logFolder, crashFolder, openglFolder}) {
        if (!QDir(folder).exists())
            QDir().mkpath(folder);
    }
    Global::debugLogFile = logFolder + QStringLiteral("/debug-") + Global::startDate + QStringLiteral(".log");
    qInstallMessageHandler(messageHandler);
    if (startUsageReporting)
        startUsageReporting();

    CrashHandler::instance().init(crashFolder);
}
