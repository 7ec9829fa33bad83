#include "programs.h"

#include "processrunner.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace Platform {

static bool isRunnable(const QString &path)
{
    const QFileInfo info(path);
    return info.isFile() && info.isExecutable();
}

QString findProgram(const QString &name)
{
    if (name.isEmpty())
        return QString();
    if (name.contains(QLatin1Char('/')))
        return isRunnable(name) ? QFileInfo(name).absoluteFilePath() : QString();

    QStringList dirs;
    if (QCoreApplication::instance())
        dirs << QCoreApplication::applicationDirPath();
    dirs << qEnvironmentVariable("PATH").split(QLatin1Char(':'), Qt::SkipEmptyParts);
    for (const QString &dir : qAsConst(dirs)) {
        const QString candidate = QDir(dir).filePath(name);
        if (isRunnable(candidate))
            return candidate;
    }
    return QString();
}

bool startDetachedProgram(const QString &name, const QStringList &args, qint64 *pid)
{
    ProcessRequest request;
    request.program = name;
    request.arguments = args;
    const ProcessOutcome outcome = startDetached(request);
    if (outcome.result != ProcessResult::Started)
        return false;
    if (pid)
        *pid = outcome.pid;
    return true;
}

} // namespace Platform
