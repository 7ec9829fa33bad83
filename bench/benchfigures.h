#pragma once

#include "calllogs.h"
#include "programrun.h"

#include <QMap>
#include <QString>
#include <QStringList>
#include <QVector>

// What every benchmark shares: how many times it repeats, how it prints a spread of samples beside its
// baseline, how it says that a run gave no figure, and what it reads about a process from /proc.
namespace Bench {

// Repeats of a measurement: 5, or what --repeats=N says; --smoke makes it 1 with short windows, for the
// build's quick check that the benchmark still produces its figures.
struct Options
{
    int repeats = 5;
    bool smoke = false;
    // --fault=<kind>: the run is spoilt on purpose in the named way (a stand-in loses a line, a run
    // fails, a call is added), so that a test sees the benchmark refuse to print a figure.
    QString fault;
    QStringList rest; // the arguments that are not options
};
Options options(const QStringList &arguments);

struct Spread
{
    double min = 0;
    double median = 0;
    double max = 0;
};
Spread spread(QVector<double> samples);

// One line "label  min  median  max" of a sample set, each with `decimals` decimals.
void printHeader(const char *title, const char *unit);
void printRow(const char *label, const QVector<double> &samples, int decimals = 0);
// "ratio to baseline  x.xx" of the medians, or "n/a" with the reason when the baseline is 0.
void printRatio(const char *label, const QVector<double> &samples, const QVector<double> &baseline);

// Prints why a run gave no figure and returns the exit code for that (1). Nothing else is printed for
// that run: a failed run must not look like a measured one.
int noFigure(const char *bench, const QString &why);

// Processor time of a process's threads over a stretch, from two readings of /proc/<pid>/task: each
// thread counts with what it used between the readings (all it used, when it started in between); a
// thread that ended in between is not counted.
class ThreadTimes
{
public:
    explicit ThreadTimes(qint64 pid);
    // ns used since `before`, by every thread, by the threads named `thread` (as
    // /proc/<pid>/task/<tid>/comm gives it), or by all the others.
    qint64 sinceNs(const ThreadTimes &before) const;
    qint64 namedSinceNs(const ThreadTimes &before, const QString &thread) const;
    qint64 othersSinceNs(const ThreadTimes &before, const QString &thread) const;
    bool hasThread(const QString &name) const;

private:
    struct Thread
    {
        QString name;
        qint64 ns = 0;
    };
    qint64 since(const ThreadTimes &before, const QString &name, int match) const;
    QMap<QString, Thread> m_threads; // by thread id
};

// The time in [from, to] (ms since the epoch) during which at least one of the tool calls ran, from each
// call's start and end as the simulated tool logs them; a call that has not returned counts up to `to`.
qint64 toolTimeMs(const QList<ToolCallRecord> &calls, qint64 from, qint64 to);
// The rest of [from, to]: the time in it during which no tool call ran, the caller's own.
qint64 ownTimeMs(const QList<ToolCallRecord> &calls, qint64 from, qint64 to);

// Starts the empty Qt widgets window of `run` and returns the time from its launch to its first paint
// (it prints "painted <ms since the epoch>"), or -1 when it did not come up and paint within 10 s.
qint64 launchToPaintMs(ProgramRun &run);

struct Memory
{
    qint64 residentKb = -1;  // VmRSS: every page in memory, shared libraries included
    qint64 anonymousKb = -1; // RssAnon: the process's own heap and stacks
};
Memory memory(qint64 pid);

// The largest parts of a process's anonymous memory, from /proc/<pid>/smaps: each mapped file (the
// private copies of its pages: relocations, data), the heap, the stacks, and the unnamed anonymous
// mappings (other allocators' arenas, thread stacks), largest first, in kB.
QList<QPair<QString, qint64>> anonymousParts(qint64 pid);
// The threads of a process by name, with how many carry each name.
QMap<QString, int> threadNames(qint64 pid);
int threadCount(qint64 pid);

} // namespace Bench
