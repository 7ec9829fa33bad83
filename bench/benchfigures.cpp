#include "benchfigures.h"

#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>

#include <algorithm>
#include <cstdio>

namespace Bench {

Options options(const QStringList &arguments)
{
    Options result;
    for (const QString &arg : arguments.mid(1)) {
        if (arg == QLatin1String("--smoke")) {
            result.smoke = true;
            result.repeats = 1;
        } else if (arg.startsWith(QLatin1String("--fault="))) {
            result.fault = arg.mid(8);
        } else if (arg.startsWith(QLatin1String("--repeats="))) {
            result.repeats = qMax(1, arg.mid(10).toInt());
        } else {
            result.rest << arg;
        }
    }
    return result;
}

Spread spread(QVector<double> samples)
{
    Spread s;
    if (samples.isEmpty())
        return s;
    std::sort(samples.begin(), samples.end());
    const int n = samples.size();
    s.min = samples.first();
    s.max = samples.last();
    s.median = n % 2 ? samples.at(n / 2) : (samples.at(n / 2 - 1) + samples.at(n / 2)) / 2;
    return s;
}

void printHeader(const char *title, const char *unit)
{
    std::printf("\n%s (%s)\n", title, unit);
    std::printf("  %-40s %10s %10s %10s\n", "", "min", "median", "max");
}

void printRow(const char *label, const QVector<double> &samples, int decimals)
{
    const Spread s = spread(samples);
    std::printf("  %-40s %10.*f %10.*f %10.*f\n", label, decimals, s.min, decimals, s.median, decimals,
                s.max);
}

void printRatio(const char *label, const QVector<double> &samples, const QVector<double> &baseline)
{
    const double base = spread(baseline).median;
    if (base > 0)
        std::printf("  %-40s %10.2f (of the medians)\n", label, spread(samples).median / base);
    else
        std::printf("  %-40s %10s (the baseline's median is 0)\n", label, "n/a");
}

int noFigure(const char *bench, const QString &why)
{
    std::fflush(stdout);
    std::printf("%s: no figure: %s\n", bench, qPrintable(why));
    std::fflush(stdout);
    return 1;
}

ThreadTimes::ThreadTimes(qint64 pid)
{
    const QDir tasks(QStringLiteral("/proc/%1/task").arg(pid));
    for (const QString &task : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile comm(tasks.filePath(task) + QStringLiteral("/comm"));
        QFile stat(tasks.filePath(task) + QStringLiteral("/schedstat"));
        if (!comm.open(QIODevice::ReadOnly) || !stat.open(QIODevice::ReadOnly))
            continue;
        // schedstat: time on the processor (ns), time waiting for it, time slices.
        m_threads.insert(task, {QString::fromUtf8(comm.readAll()).trimmed(),
                                stat.readAll().split(' ').value(0).toLongLong()});
    }
}

qint64 ThreadTimes::since(const ThreadTimes &before, const QString &name, int match) const
{
    qint64 total = 0;
    for (auto it = m_threads.cbegin(); it != m_threads.cend(); ++it) {
        if (match != 0 && (it->name == name) != (match > 0))
            continue;
        total += it->ns - before.m_threads.value(it.key()).ns;
    }
    return total;
}

qint64 ThreadTimes::sinceNs(const ThreadTimes &before) const
{
    return since(before, QString(), 0);
}

qint64 ThreadTimes::namedSinceNs(const ThreadTimes &before, const QString &thread) const
{
    return since(before, thread, 1);
}

qint64 ThreadTimes::othersSinceNs(const ThreadTimes &before, const QString &thread) const
{
    return since(before, thread, -1);
}

bool ThreadTimes::hasThread(const QString &name) const
{
    for (const Thread &thread : m_threads) {
        if (thread.name == name)
            return true;
    }
    return false;
}

qint64 toolTimeMs(const QList<ToolCallRecord> &calls, qint64 from, qint64 to)
{
    QVector<QPair<qint64, qint64>> spans;
    for (const ToolCallRecord &call : calls) {
        const qint64 start = qMax(from, call.start.toMSecsSinceEpoch());
        const qint64 end = qMin(to, call.end.isValid() ? call.end.toMSecsSinceEpoch() : to);
        if (end > start)
            spans.append({start, end});
    }
    std::sort(spans.begin(), spans.end());
    qint64 total = 0;
    qint64 reached = from;
    for (const auto &span : spans) {
        const qint64 start = qMax(span.first, reached);
        if (span.second > start) {
            total += span.second - start;
            reached = span.second;
        }
    }
    return total;
}

qint64 ownTimeMs(const QList<ToolCallRecord> &calls, qint64 from, qint64 to)
{
    return (to - from) - toolTimeMs(calls, from, to);
}

qint64 launchToPaintMs(ProgramRun &run)
{
    const qint64 launch = QDateTime::currentMSecsSinceEpoch();
    if (!run.start() || !run.waitForOutput(QStringLiteral("painted "), 10000))
        return -1;
    bool ok = false;
    const qint64 painted = run.output().section(QStringLiteral("painted "), 1).trimmed().toLongLong(&ok);
    return ok ? painted - launch : -1;
}

Memory memory(qint64 pid)
{
    Memory result;
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return result;
    for (const QByteArray &line : status.readAll().split('\n')) {
        const qint64 kb = line.mid(line.indexOf(':') + 1).trimmed().split(' ').value(0).toLongLong();
        if (line.startsWith("VmRSS:"))
            result.residentKb = kb;
        else if (line.startsWith("RssAnon:"))
            result.anonymousKb = kb;
    }
    return result;
}

QList<QPair<QString, qint64>> anonymousParts(qint64 pid)
{
    QMap<QString, qint64> parts;
    QFile smaps(QStringLiteral("/proc/%1/smaps").arg(pid));
    if (!smaps.open(QIODevice::ReadOnly))
        return {};
    QString current;
    for (const QByteArray &line : smaps.readAll().split('\n')) {
        if (line.isEmpty())
            continue;
        const int colon = line.indexOf(':');
        const int space = line.indexOf(' ');
        if (colon < 0 || (space >= 0 && space < colon)) {
            // A mapping's first line: address, rights, offset, device, inode, name.
            const QList<QByteArray> fields = line.simplified().split(' ');
            current = fields.size() > 5 ? QString::fromLocal8Bit(fields.mid(5).join(' '))
                                        : QStringLiteral("(unnamed anonymous mappings)");
            if (current.startsWith(QLatin1String("[stack")))
                current = QStringLiteral("[stack]");
            continue;
        }
        if (line.startsWith("Anonymous:"))
            parts[current] += line.mid(10).trimmed().split(' ').value(0).toLongLong();
    }
    QList<QPair<QString, qint64>> list;
    for (auto it = parts.cbegin(); it != parts.cend(); ++it) {
        if (it.value() > 0)
            list.append({it.key(), it.value()});
    }
    std::sort(list.begin(), list.end(), [](const auto &a, const auto &b) { return a.second > b.second; });
    return list;
}

QMap<QString, int> threadNames(qint64 pid)
{
    QMap<QString, int> names;
    const QDir tasks(QStringLiteral("/proc/%1/task").arg(pid));
    for (const QString &task : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile comm(tasks.filePath(task) + QStringLiteral("/comm"));
        if (comm.open(QIODevice::ReadOnly))
            ++names[QString::fromUtf8(comm.readAll()).trimmed()];
    }
    return names;
}

int threadCount(qint64 pid)
{
    return QDir(QStringLiteral("/proc/%1/task").arg(pid)).entryList(QDir::Dirs | QDir::NoDotAndDotDot).size();
}

} // namespace Bench
