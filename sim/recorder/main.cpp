// Stands in for a program that the system starts (the instance manager, the cleaner, the updater...).
// Copied under the name of the program it replaces, it appends one line per call to
// $ORV_RECORD_DIR/<its file name>.calls: a compact JSON array of its arguments, so that empty
// arguments and blanks inside arguments stay visible. $ORV_RECORD_EXIT_<file name> sets its exit code.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>

#include "peerjournal.h"

#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

int main(int argc, char *argv[])
{
    const QString name = QFileInfo(QFile::decodeName(argv[0])).fileName();
    QString dir = qEnvironmentVariable("ORV_RECORD_DIR");
    if (dir.isEmpty())
        dir = QDir::tempPath();

    QJsonArray args;
    for (int i = 1; i < argc; ++i)
        args.append(QString::fromLocal8Bit(argv[i]));
    const QByteArray line = QJsonDocument(args).toJson(QJsonDocument::Compact) + '\n';

    const QByteArray path = QFile::encodeName(dir + QLatin1Char('/') + name + QStringLiteral(".calls"));
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd >= 0) {
        ::flock(fd, LOCK_EX);
        const ssize_t written = ::write(fd, line.constData(), static_cast<size_t>(line.size()));
        (void)written;
        ::flock(fd, LOCK_UN);
        ::close(fd);
    }
    PeerJournal::append(name.toStdString(), line.trimmed().toStdString());
    const QByteArray code = qgetenv(("ORV_RECORD_EXIT_" + name.toUtf8()).constData());
    return code.isEmpty() ? 0 : std::atoi(code.constData());
}
