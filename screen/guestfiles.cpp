#include "guestfiles.h"

#include "foldernotification.h"

#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>

#include <sys/eventfd.h>
#include <unistd.h>

namespace GuestFiles {

bool isPictureName(const QString &name)
{
    static const QRegularExpression pattern(QStringLiteral("\\.(png|bmp|jpg|jpep|jpeg)$"),
                                            QRegularExpression::CaseInsensitiveOption);
    return pattern.match(name).hasMatch();
}

bool isPackageName(const QString &name)
{
    return name.endsWith(QLatin1String(".apk"), Qt::CaseInsensitive) ||
           name.endsWith(QLatin1String(".ypk"), Qt::CaseInsensitive);
}

QString freeTargetName(const QString &folder, const QString &fileName)
{
    const int dot = fileName.lastIndexOf(QLatin1Char('.'));
    const QString ext = dot >= 0 ? fileName.mid(dot) : QString();
    const QString base = dot >= 0 ? fileName.left(dot) : fileName;
    QString name = base + ext;
    for (int n = 1; QFileInfo::exists(folder + QLatin1Char('/') + name); ++n)
        name = base + QLatin1Char('_') + QString::number(n) + ext;
    return name;
}

QString broadcastCommand(const QString &name)
{
    if (name.isEmpty() || name.contains(QLatin1Char('\r')) || name.contains(QLatin1Char('\n')))
        return QString();
    QString quoted;
    quoted.reserve(name.size() + 8);
    for (const QChar c : name) {
        // Inside double quotes the shell still expands $ and ` and takes \ and " as special.
        if (c == QLatin1Char('\\') || c == QLatin1Char('"') || c == QLatin1Char('$') || c == QLatin1Char('`'))
            quoted += QLatin1Char('\\');
        quoted += c;
    }
    return QStringLiteral(
               "am broadcast -a com.corvel.ShareFileChangeBroadCastReceiver  --ei SET_ALL_FILE_KEY 1 "
               "--es ALL_FILE_PATH_KEY \"") +
           quoted + QLatin1Char('"');
}

QStringList pictureNames(const QString &folder)
{
    QStringList names;
    for (const QString &name : QDir(folder).entryList(QDir::Files | QDir::NoDotAndDotDot, QDir::Name))
        if (isPictureName(name))
            names << name;
    return names;
}

} // namespace GuestFiles

ShareFolderWatcher::ShareFolderWatcher(const QString &imageFolder, const QString &otherFolder,
                                       QObject *parent)
    : QThread(parent), m_imageFolder(imageFolder), m_otherFolder(otherFolder)
{
    m_wakeFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
}

ShareFolderWatcher::~ShareFolderWatcher()
{
    stop();
    if (m_wakeFd >= 0)
        ::close(m_wakeFd);
}

void ShareFolderWatcher::stop()
{
    m_stopping = true;
    if (m_wakeFd >= 0) {
        const quint64 one = 1;
        (void)!::write(m_wakeFd, &one, sizeof one);
    }
    if (isRunning())
        wait();
}

void ShareFolderWatcher::run()
{
    QDir().mkpath(m_imageFolder);
    QDir().mkpath(m_otherFolder);
    while (!m_stopping) {
        FolderNotification notification(m_imageFolder);
        if (!notification.isValid()) {
            qWarning().noquote() << QStringLiteral("VInputConnection : cannot watch ") + m_imageFolder;
            emit watchFailed(m_imageFolder);
            pauseUnlessWoken(kRetryMs, m_wakeFd);
            continue;
        }
        QSet<QString> known;
        for (const QString &name : QDir(m_imageFolder).entryList(QDir::Files | QDir::NoDotAndDotDot))
            known.insert(name);
        for (;;) {
            const FolderNotification::Outcome outcome = notification.wait(kWaitMs, m_wakeFd);
            if (m_stopping || outcome == FolderNotification::Broken)
                break;
            if (outcome != FolderNotification::Changed)
                continue;
            const QStringList pictures = GuestFiles::pictureNames(m_imageFolder);
            for (const QString &name : pictures)
                if (!known.contains(name))
                    emit copySuccessful(name);
            known = QSet<QString>(pictures.begin(), pictures.end());
        }
    }
}
