#include "simcalllog.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLockFile>

QString SimCallLog::stateDir(const QString &programDir)
{
    const QString env = qEnvironmentVariable("ORV_VBOX_STATE");
    if (!env.isEmpty())
        return QDir(env).absolutePath();
    return QDir(programDir).absoluteFilePath(QStringLiteral("vboxstate"));
}

bool SimCallLog::append(const QString &stateDir, const QString &fileName, const QString &program,
                        const QStringList &args)
{
    QDir().mkpath(stateDir);
    QJsonObject record;
    record.insert(QStringLiteral("time"), QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs));
    record.insert(QStringLiteral("prog"), program);
    record.insert(QStringLiteral("pid"), static_cast<qint64>(QCoreApplication::applicationPid()));
    record.insert(QStringLiteral("args"), QJsonArray::fromStringList(args));
    const QByteArray line = QJsonDocument(record).toJson(QJsonDocument::Compact) + '\n';

    QLockFile lock(QDir(stateDir).absoluteFilePath(fileName + QStringLiteral(".lock")));
    lock.setStaleLockTime(10000);
    if (!lock.tryLock(10000))
        return false;
    QFile file(QDir(stateDir).absoluteFilePath(fileName));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append))
        return false;
    return file.write(line) == line.size();
}
