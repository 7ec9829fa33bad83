#include "simcalllog.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLockFile>

#include <ctime>
#include <unistd.h>

namespace {

const QByteArray kOpenEnd = QByteArrayLiteral("\"end\":null");
// "end":"yyyy-MM-ddTHH:mm:ss.zzzZ" is as wide as the open end plus this many blanks.
constexpr int kEndPadding = 22;

QString now()
{
    return QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs);
}

} // namespace

QDateTime SimCallLog::processStart()
{
    const QDateTime now = QDateTime::currentDateTimeUtc();
    timespec boot{};
    QFile stat(QStringLiteral("/proc/self/stat"));
    const long hz = sysconf(_SC_CLK_TCK);
    if (clock_gettime(CLOCK_BOOTTIME, &boot) != 0 || hz <= 0 || !stat.open(QIODevice::ReadOnly))
        return now;
    const QByteArray text = stat.readAll();
    // The fields after the command name in parentheses start with the 3rd; starttime is the 22nd.
    bool ok = false;
    const qint64 ticks = text.mid(text.lastIndexOf(')') + 2).split(' ').value(22 - 3).toLongLong(&ok);
    if (!ok)
        return now;
    const qint64 tickNs = 1000000000LL / hz;
    const qint64 startNs = ticks * tickNs + tickNs / 2; // the count is rounded down
    const qint64 bootNs = static_cast<qint64>(boot.tv_sec) * 1000000000LL + boot.tv_nsec;
    const qint64 agoMs = (bootNs - startNs) / 1000000;
    return agoMs > 0 ? now.addMSecs(-agoMs) : now;
}

QString SimCallLog::stateDir(const QString &programDir)
{
    const QString env = qEnvironmentVariable("ORV_VBOX_STATE");
    if (!env.isEmpty())
        return QDir(env).absolutePath();
    return QDir(programDir).absoluteFilePath(QStringLiteral("vboxstate"));
}

bool SimCallLog::append(const QString &stateDir, const QString &fileName, const QString &program,
                        const QStringList &args, Entry *entry, const QDateTime &started)
{
    QDir().mkpath(stateDir);
    QJsonObject record;
    record.insert(QStringLiteral("time"),
                  started.isValid() ? started.toUTC().toString(Qt::ISODateWithMs) : now());
    record.insert(QStringLiteral("prog"), program);
    record.insert(QStringLiteral("pid"), static_cast<qint64>(QCoreApplication::applicationPid()));
    record.insert(QStringLiteral("args"), QJsonArray::fromStringList(args));
    if (entry)
        record.insert(QStringLiteral("end"), QJsonValue::Null);
    QByteArray line = QJsonDocument(record).toJson(QJsonDocument::Compact);
    if (entry) {
        // Inside a JSON string a quote is escaped, so the only bare "end":null is the key's own.
        const int at = line.indexOf(kOpenEnd);
        if (at >= 0)
            line.insert(at + kOpenEnd.size(), QByteArray(kEndPadding, ' '));
    }
    line += '\n';

    QLockFile lock(QDir(stateDir).absoluteFilePath(fileName + QStringLiteral(".lock")));
    lock.setStaleLockTime(10000);
    if (!lock.tryLock(10000))
        return false;
    QFile file(QDir(stateDir).absoluteFilePath(fileName));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append))
        return false;
    const qint64 offset = file.size();
    if (file.write(line) != line.size())
        return false;
    if (entry) {
        entry->path = file.fileName();
        entry->offset = offset;
        entry->line = line;
    }
    return true;
}

bool SimCallLog::markEnd(const Entry &entry)
{
    const int at = entry.line.indexOf(kOpenEnd);
    if (entry.offset < 0 || at < 0)
        return false;
    const QByteArray end = "\"end\":\"" + now().toLatin1() + '"';
    if (end.size() != kOpenEnd.size() + kEndPadding)
        return false;

    QLockFile lock(entry.path + QStringLiteral(".lock"));
    lock.setStaleLockTime(10000);
    if (!lock.tryLock(10000))
        return false;
    QFile file(entry.path);
    if (!file.open(QIODevice::ReadWrite) || !file.seek(entry.offset) ||
        file.read(entry.line.size()) != entry.line)
        return false;
    return file.seek(entry.offset + at) && file.write(end) == end.size();
}
