#include "processes.h"

#include "hardwareprobe.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSet>

#include <algorithm>
#include <csignal>
#include <limits>
#include <sys/types.h>
#include <unistd.h>

namespace Processes {

namespace {

// Bound of the SIGSTOP rounds of killTree: a tree that keeps growing past this many rounds is killed
// as it stands.
constexpr int kMaxFreezeRounds = 20;

QString procPath(qint64 pid, const char *file)
{
    return HardwareProbe::procRoot() + QLatin1Char('/') + QString::number(pid) + QLatin1Char('/') +
           QLatin1String(file);
}

QByteArray readProcFile(qint64 pid, const char *file)
{
    if (!isProcessId(pid))
        return QByteArray();
    QFile f(procPath(pid, file));
    if (!f.open(QIODevice::ReadOnly))
        return QByteArray();
    return f.readAll();
}

// Ids of the numeric entries of the process folder.
QList<qint64> allProcessIds()
{
    QList<qint64> ids;
    const QStringList entries =
        QDir(HardwareProbe::procRoot()).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::NoSort);
    for (const QString &entry : entries) {
        bool ok = false;
        const qint64 id = entry.toLongLong(&ok);
        if (ok && isProcessId(id))
            ids << id;
    }
    std::sort(ids.begin(), ids.end());
    return ids;
}

// Whether the stat text's state says the process has ended (zombie or dead).
bool hasEnded(const QByteArray &stat)
{
    const char state = parseState(stat);
    return state == 'Z' || state == 'X' || state == 'x';
}

// Parent ids of every process, read in one pass.
QHash<qint64, qint64> parentIds()
{
    QHash<qint64, qint64> parents;
    for (qint64 id : allProcessIds()) {
        const qint64 parent = parseParentId(readProcFile(id, "stat"));
        if (parent >= 0)
            parents.insert(id, parent);
    }
    return parents;
}

QList<qint64> descendantsIn(const QHash<qint64, qint64> &parents, qint64 pid, qint64 skipSubtree)
{
    QHash<qint64, QList<qint64>> children;
    for (auto it = parents.cbegin(); it != parents.cend(); ++it)
        children[it.value()] << it.key();
    QList<qint64> found;
    QList<qint64> queue{pid};
    QSet<qint64> seen{pid};
    while (!queue.isEmpty()) {
        const qint64 current = queue.takeFirst();
        for (qint64 child : children.value(current)) {
            if (child == skipSubtree || seen.contains(child))
                continue;
            seen.insert(child);
            found << child;
            queue << child;
        }
    }
    std::sort(found.begin(), found.end());
    return found;
}

bool maySignal(qint64 pid)
{
    return isProcessId(pid) && pid > 1 && pid != static_cast<qint64>(::getpid());
}

} // namespace

qint64 maxProcessId()
{
    return static_cast<qint64>(std::numeric_limits<pid_t>::max());
}

bool isProcessId(qint64 pid)
{
    return pid >= 1 && pid <= maxProcessId();
}

qint64 parseParentId(const QByteArray &statText)
{
    // The command name sits between the first "(" and the last ")"; the fields after it are blank-separated.
    const int close = statText.lastIndexOf(')');
    if (close < 0 || statText.indexOf('(') < 0)
        return -1;
    const QList<QByteArray> fields = statText.mid(close + 1).simplified().split(' ');
    if (fields.size() < 2)
        return -1;
    bool ok = false;
    const qint64 parent = fields.at(1).toLongLong(&ok);
    return ok && parent >= 0 ? parent : -1;
}

char parseState(const QByteArray &statText)
{
    const int close = statText.lastIndexOf(')');
    if (close < 0 || statText.indexOf('(') < 0)
        return 0;
    const QByteArray rest = statText.mid(close + 1).trimmed();
    return rest.isEmpty() ? 0 : rest.at(0);
}

QString commandName(qint64 pid)
{
    QByteArray name = readProcFile(pid, "comm");
    if (name.endsWith('\n'))
        name.chop(1);
    return QString::fromUtf8(name);
}

QString executableName(qint64 pid)
{
    // The link's own text, not the file it leads to: the program file may be gone, and a fixture's
    // link may lead nowhere.
    QString path = executableLinkText(pid);
    static const QString deletedMark = QStringLiteral(" (deleted)");
    if (path.endsWith(deletedMark))
        path.chop(deletedMark.size());
    return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
}

bool runsProgram(qint64 pid, const QString &name)
{
    if (!isProcessId(pid) || name.isEmpty())
        return false;
    const QByteArray stat = readProcFile(pid, "stat");
    if (stat.isEmpty() || hasEnded(stat))
        return false;
    return executableName(pid) == name;
}

QString executableLinkText(qint64 pid)
{
    if (!isProcessId(pid))
        return QString();
    const QByteArray link = QFile::encodeName(procPath(pid, "exe"));
    char target[4096];
    const ssize_t length = ::readlink(link.constData(), target, sizeof target);
    if (length <= 0 || static_cast<size_t>(length) >= sizeof target)
        return QString();
    return QFile::decodeName(QByteArray(target, static_cast<int>(length)));
}

bool runsProgramFile(qint64 pid, const QString &name, const QString &removedFrom)
{
    if (!isProcessId(pid) || name.isEmpty())
        return false;
    const QByteArray stat = readProcFile(pid, "stat");
    if (stat.isEmpty() || hasEnded(stat))
        return false;
    const QString text = executableLinkText(pid);
    if (text.isEmpty())
        return false;
    if (QFileInfo(text).fileName() == name)
        return true;
    static const QString deletedMark = QStringLiteral(" (deleted)");
    if (!text.endsWith(deletedMark) || removedFrom.isEmpty())
        return false;
    // The kernel writes the path it resolved; the folder is compared the same way.
    const QFileInfo removed(text.chopped(deletedMark.size()));
    const QFileInfo folder(removedFrom);
    const QString folderPath =
        folder.canonicalFilePath().isEmpty() ? folder.absoluteFilePath() : folder.canonicalFilePath();
    return removed.fileName() == name && QDir::cleanPath(removed.path()) == QDir::cleanPath(folderPath);
}

QList<qint64> findByName(const QString &name)
{
    QList<qint64> found;
    for (qint64 id : allProcessIds()) {
        if (runsProgram(id, name))
            found << id;
    }
    return found;
}

QList<qint64> threadIds(qint64 pid)
{
    QList<qint64> ids;
    if (!isProcessId(pid))
        return ids;
    const QStringList entries =
        QDir(HardwareProbe::procRoot() + QLatin1Char('/') + QString::number(pid) + QStringLiteral("/task"))
            .entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::NoSort);
    for (const QString &entry : entries) {
        bool ok = false;
        const qint64 id = entry.toLongLong(&ok);
        if (ok && isProcessId(id))
            ids << id;
    }
    std::sort(ids.begin(), ids.end());
    return ids;
}

QList<qint64> descendants(qint64 pid)
{
    if (!isProcessId(pid))
        return {};
    return descendantsIn(parentIds(), pid, -1);
}

int killTree(qint64 pid)
{
    if (!maySignal(pid))
        return 0;
    // This process may itself lie inside the tree (a program started by the process it ends): it and
    // the programs it runs are left out, or it would stop itself.
    const qint64 self = ::getpid();
    QList<qint64> tree{pid};
    QSet<qint64> stopped;
    for (int round = 0; round < kMaxFreezeRounds; ++round) {
        bool grew = false;
        for (qint64 id : qAsConst(tree)) {
            if (stopped.contains(id) || !maySignal(id))
                continue;
            ::kill(static_cast<pid_t>(id), SIGSTOP);
            stopped.insert(id);
            grew = true;
        }
        if (!grew)
            break;
        const QList<qint64> below = descendantsIn(parentIds(), pid, self);
        tree = QList<qint64>{pid} + below;
    }
    // Every process stopped above is ended, also one that no longer shows up below `pid` (a stopped
    // process must not be left behind stopped).
    QSet<qint64> doomed = stopped;
    for (qint64 id : qAsConst(tree))
        doomed.insert(id);
    int killed = 0;
    for (qint64 id : qAsConst(doomed)) {
        if (maySignal(id) && ::kill(static_cast<pid_t>(id), SIGKILL) == 0)
            ++killed;
    }
    return killed;
}

} // namespace Processes
