#include "log.h"

#include "commandline.h"
#include "crashhandler.h"
#include "global.h"

#include <QCoreApplication>
#include <QDir>

#include <cstdio>

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
    Platform::appendLogLine(Global::debugLogFile, line);
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
