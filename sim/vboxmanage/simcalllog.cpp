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
    // Read first, so that the reads below do not count as time before them.
    timespec cpu{};
    const bool haveCpu = clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &cpu) == 0;
    timespec boot{};
    const bool haveBoot = clock_gettime(CLOCK_BOOTTIME, &boot) == 0;
    const QDateTime now = QDateTime::currentDateTimeUtc();
    const qint64 bootNs = static_cast<qint64>(boot.tv_sec) * 1000000000LL + boot.tv_nsec;
    // The processor time used so far (spawn, loading the program and its libraries): the process
    // cannot have started later than that long ago.
    const qint64 cpuNs = haveCpu ? static_cast<qint64>(cpu.tv_sec) * 1000000000LL + cpu.tv_nsec : 0;
    const qint64 latestNs = bootNs - cpuNs;

    QFile stat(QStringLiteral("/proc/self/stat"));
    const long hz = sysconf(_SC_CLK_TCK);
    if (!haveBoot || hz <= 0 || !stat.open(QIODevice::ReadOnly))
        return now.addMSecs(-cpuNs / 1000000);
    const QByteArray text = stat.readAll();
    // The fields after the command name in parentheses start with the 3rd; starttime is the 22nd.
    bool ok = false;
    const qint64 ticks = text.mid(text.lastIndexOf(')') + 2).split(' ').value(22 - 3).toLongLong(&ok);
    if (!ok)
        return now.addMSecs(-cpuNs / 1000000);
    // The kernel's count is rounded down to whole ticks: the start lies in [tick, next tick). Of that
    // span the latest moment the processor time allows is taken: a caller timing itself against this
    // log never has its own time (the spawn's wait for a processor included) counted as the tool's.
    const qint64 tickNs = 1000000000LL / hz;
    const qint64 earliestNs = ticks * tickNs;
    const qint64 startNs = qBound(earliestNs, latestNs, earliestNs + tickNs);
    const qint64 agoUs = (bootNs - startNs) / 1000;
    return agoUs > 0 ? now.addMSecs(-((agoUs + 500) / 1000)) : now;
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
    // The lock (which syncs its file to disk) and the checks come first: they are this process's own
    // work, and the end written is as late as this process can take it.
    QLockFile lock(entry.path + QStringLiteral(".lock"));
    lock.setStaleLockTime(10000);
    if (!lock.tryLock(10000))
        return false;
    QFile file(entry.path);
    if (!file.open(QIODevice::ReadWrite) || !file.seek(entry.offset) ||
        file.read(entry.line.size()) != entry.line || !file.seek(entry.offset + at))
        return false;
    const QByteArray end = "\"end\":\"" + now().toLatin1() + '"';
    return end.size() == kOpenEnd.size() + kEndPadding && file.write(end) == end.size();
}
