// Stands in for the updater program that lies beside the emulator. It records every call and answers
// with the exit code the test chose for the instruction word it was given:
//
//   $ORV_RECORD_DIR/OrvantaUpdater.calls   one compact JSON array of the arguments per call
//   $ORV_UPDATER_EXIT_<word>               what to do for that word (first argument):
//                                          a number   exit with that code
//                                          "crash"    end by SIGABRT (no exit code at all)
//                                          "hang"     sleep until killed
//                                          "sleep:N"  wait N milliseconds, then exit 0
//                                          "sleep:N:C" wait N milliseconds, then exit with C
//                                          unset      exit 0 (nothing to do)
//   $ORV_UPDATER_NOTES                     when set, a check that offers an update (bit 2 or 4) writes
//                                          this text as the update notes for the update dialog
//
// "fromOrvantaToResetVBox" reinstalls VirtualBox as the real updater would: it copies the tool folder
// ($ORV_UPDATER_VBOX_SOURCE, default <version folder>/VirtualBox) to <install folder>/OrvantaVM/vbox,
// unless its answer is "crash" or "hang".

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QThread>

#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace {

void recordCall(const QString &name, const QStringList &args)
{
    QString dir = qEnvironmentVariable("ORV_RECORD_DIR");
    if (dir.isEmpty())
        dir = QDir::tempPath();
    QDir().mkpath(dir);
    const QByteArray line =
        QJsonDocument(QJsonArray::fromStringList(args)).toJson(QJsonDocument::Compact) + '\n';
    const QByteArray path = QFile::encodeName(dir + QLatin1Char('/') + name + QStringLiteral(".calls"));
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0)
        return;
    ::flock(fd, LOCK_EX);
    const ssize_t written = ::write(fd, line.constData(), static_cast<size_t>(line.size()));
    (void)written;
    ::flock(fd, LOCK_UN);
    ::close(fd);
}

bool copyTree(const QString &from, const QString &to)
{
    QDir source(from);
    if (!source.exists())
        return false;
    QDir().mkpath(to);
    QDirIterator it(from, QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    bool ok = true;
    while (it.hasNext()) {
        const QString path = it.next();
        const QString target = to + QLatin1Char('/') + source.relativeFilePath(path);
        if (it.fileInfo().isDir()) {
            ok = QDir().mkpath(target) && ok;
            continue;
        }
        QFile::remove(target);
        ok = QFile::copy(path, target) && ok;
        QFile::setPermissions(target, QFile(path).permissions());
    }
    return ok;
}

void reinstallVBox(const QString &programDir)
{
    QDir versionDir(programDir);
    versionDir.cdUp();
    QDir installDir = versionDir;
    installDir.cdUp();
    QString source = qEnvironmentVariable("ORV_UPDATER_VBOX_SOURCE");
    if (source.isEmpty())
        source = versionDir.absoluteFilePath(QStringLiteral("VirtualBox"));
    const QString target = installDir.absoluteFilePath(QStringLiteral("OrvantaVM/vbox"));
    if (!copyTree(source, target))
        qWarning("OrvantaUpdater: could not copy %s to %s", qPrintable(source), qPrintable(target));
}

void writeNotes()
{
    const QByteArray notes = qgetenv("ORV_UPDATER_NOTES");
    if (notes.isEmpty())
        return;
    QString root = qEnvironmentVariable("LOCALAPPDATA");
    if (root.isEmpty())
        root = QDir::homePath() + QStringLiteral("/.local/share");
    const QString dir = root + QStringLiteral("/Halvora");
    QDir().mkpath(dir);
    QFile file(dir + QStringLiteral("/OrvantaUpdate"));
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(notes);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QString name = QFileInfo(QCoreApplication::applicationFilePath()).fileName();
    QStringList args = QCoreApplication::arguments();
    args.removeFirst();
    recordCall(name, args);

    const QString word = args.value(0);
    const QString answer = qEnvironmentVariable(("ORV_UPDATER_EXIT_" + word.toUtf8()).constData()).trimmed();

    if (answer == QLatin1String("crash")) {
        // The default action, not a handler a sanitizer build installs: that one would write a report
        // of this wanted crash as if it were a fault of the updater.
        std::signal(SIGABRT, SIG_DFL);
        std::abort();
    }
    if (answer == QLatin1String("hang")) {
        for (;;)
            ::pause();
    }

    int code = 0;
    if (answer.startsWith(QLatin1String("sleep:"))) {
        const QStringList parts = answer.split(QLatin1Char(':'));
        QThread::msleep(parts.value(1).toULong());
        code = parts.value(2).toInt();
    } else if (!answer.isEmpty()) {
        bool ok = false;
        code = answer.toInt(&ok);
        if (!ok) {
            qWarning("OrvantaUpdater: unreadable answer \"%s\" for %s", qPrintable(answer), qPrintable(word));
            code = 0;
        }
    }

    if (word == QLatin1String("fromOrvantaToResetVBox"))
        reinstallVBox(QCoreApplication::applicationDirPath());
    if ((word == QLatin1String("fromOrvantaToCheckWhenStarting") ||
         word == QLatin1String("fromOrvantaToCheck")) &&
        (code & (2 | 4)))
        writeNotes();
    return code;
}
