#include "guestservice.h"

#include "launcherwire.h"
#include "simscreen.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSettings>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

#include <memory>

#include <unistd.h>

namespace {

constexpr int kInputGuestPort = 22469;

// The process that holds the local end of a loopback connection to `ownPort` from `peerPort`, found
// through the kernel's connection tables and the processes' open files; 0 when not found.
qint64 peerProcess(quint16 peerPort, quint16 ownPort)
{
    QString inode;
    for (const char *table : {"/proc/net/tcp", "/proc/net/tcp6"}) {
        QFile file(QString::fromLatin1(table));
        if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
            continue;
        for (const QByteArray &line : file.readAll().split('\n')) {
            const QList<QByteArray> f = line.simplified().split(' ');
            if (f.size() < 10)
                continue;
            const int local = f.at(1).mid(f.at(1).lastIndexOf(':') + 1).toInt(nullptr, 16);
            const int remote = f.at(2).mid(f.at(2).lastIndexOf(':') + 1).toInt(nullptr, 16);
            if (local == peerPort && remote == ownPort) {
                inode = QString::fromLatin1(f.at(9));
                break;
            }
        }
        if (!inode.isEmpty())
            break;
    }
    if (inode.isEmpty())
        return 0;
    const QString target = QStringLiteral("socket:[") + inode + QLatin1Char(']');
    for (const QString &pid : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        bool numeric = false;
        const qint64 id = pid.toLongLong(&numeric);
        if (!numeric)
            continue;
        const QString fdDir = QStringLiteral("/proc/") + pid + QStringLiteral("/fd");
        for (const QString &fd : QDir(fdDir).entryList(QDir::System | QDir::NoDotAndDotDot)) {
            if (QFile::symLinkTarget(fdDir + QLatin1Char('/') + fd).endsWith(target))
                return id;
        }
    }
    return 0;
}

QString isoNow()
{
    return QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs);
}

} // namespace

GuestService::GuestService(const GuestConfig &config, QObject *parent) : QObject(parent), m_config(config)
{
    m_screen.setSize(config.width, config.height);
    m_foreground = QLatin1String(kLauncherPackage);
    m_screen.setPackage(m_foreground);
    // Request files and the folder's removal are noticed through the kernel, without waking up idle.
    connect(&m_watcher, &QFileSystemWatcher::directoryChanged, this, &GuestService::checkRequests);
}

GuestService::~GuestService() = default;

int GuestService::control(const QString &key, int fallback) const
{
    // The control file wins over the environment, so a test can change a value while the guest runs.
    QFile file(m_config.dir + QStringLiteral("/control"));
    if (file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        const QStringList lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
        for (const QString &line : lines) {
            const int eq = line.indexOf(QLatin1Char('='));
            if (eq > 0 && line.left(eq).trimmed() == key) {
                bool ok = false;
                const int value = line.mid(eq + 1).trimmed().toInt(&ok);
                if (ok)
                    return value;
            }
        }
    }
    const QByteArray env = qgetenv(("ORV_GUEST_" + key.toUpper()).toLatin1().constData());
    bool ok = false;
    const int value = env.toInt(&ok);
    return ok ? value : fallback;
}

bool GuestService::takeRequest(const QString &name)
{
    return QFile::remove(m_config.dir + QLatin1Char('/') + name);
}

QString GuestService::framePath() const
{
    return QString::fromStdString(SimScreen::screenDir()) + QLatin1Char('/') +
           QString::fromStdString(SimScreen::frameFileName(m_config.emuId.toStdString()));
}

bool GuestService::prepareFolder() const
{
    if (QFileInfo(m_config.dir).isDir())
        return true;
    // Only the folder itself is made: when its parent is gone, so is the machine (a test's tree removed
    // while the guest was still starting), and a guest that rebuilt the path would outlive it.
    const QString parent = QFileInfo(m_config.dir).absolutePath();
    return QFileInfo(parent).isDir() && QDir().mkdir(m_config.dir);
}

bool GuestService::start()
{
    m_started = QDateTime::currentDateTimeUtc();
    QFile pid(m_config.dir + QStringLiteral("/guest.pid"));
    if (pid.open(QIODevice::WriteOnly | QIODevice::Truncate))
        pid.write(QByteArray::number(QCoreApplication::applicationPid()) + '\n');

    m_launcherServer = new QTcpServer(this);
    if (m_config.pavixPort > 0) {
        if (!m_launcherServer->listen(QHostAddress::LocalHost, static_cast<quint16>(m_config.pavixPort)))
            qWarning("orv-guest: launcher port %d: %s", m_config.pavixPort,
                     qPrintable(m_launcherServer->errorString()));
        connect(m_launcherServer, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *socket = m_launcherServer->nextPendingConnection()) {
                // The bytes go with the connection's handlers: a connection still open when the guest
                // ends frees them too.
                const auto data = std::make_shared<QByteArray>();
                connect(socket, &QTcpSocket::readyRead, socket,
                        [socket, data] { data->append(socket->readAll()); });
                // A request is read to the end of its connection.
                connect(socket, &QTcpSocket::disconnected, this, [this, socket, data] {
                    data->append(socket->readAll());
                    logLine(QStringLiteral("launcher.log"), QString::fromLatin1(data->toHex()));
                    handleLauncherRequest(*data);
                    data->clear();
                    socket->deleteLater();
                });
            }
        });
    }

    m_inputServer = new QTcpServer(this);
    connect(m_inputServer, &QTcpServer::newConnection, this, &GuestService::onInputConnection);
    const int refuseMs = control(QStringLiteral("refuse_ms"), 0);
    if (refuseMs > 0)
        QTimer::singleShot(refuseMs, this, &GuestService::listenInput);
    else
        listenInput();

    const int bootMs = control(QStringLiteral("boot_ms"), 2000);
    QTimer::singleShot(qMax(0, bootMs), this, [this] {
        m_booted = true;
        m_screen.setBooted(true);
        m_screen.setRotation(control(QStringLiteral("rotation"), 0));
        schedulePublish();
    });
    schedulePublish();
    writeLauncherState();
    m_watcher.addPath(m_config.dir);
    // Gone before the watch stood: end now (checkRequests quits the guest then).
    checkRequests();
    return m_config.vinputPort > 0;
}

void GuestService::takePortsRequest()
{
    // The machine's forwarding rules changed while it runs: the host ends move, as the NAT engine's do.
    QFile request(m_config.dir + QStringLiteral("/ports"));
    if (!request.open(QIODevice::ReadOnly))
        return;
    const QByteArray text = request.readAll();
    request.close();
    request.remove();
    for (const QByteArray &line : text.split('\n')) {
        const QList<QByteArray> pair = line.trimmed().split('=');
        const int port = pair.value(1).toInt();
        if (port <= 0)
            continue;
        if (pair.at(0) == "vinput" && port != m_config.vinputPort) {
            logLine(QStringLiteral("input.log"), QStringLiteral("# input port moved to %1").arg(port));
            m_inputServer->close();
            m_config.vinputPort = port;
            listenInput();
        } else if (pair.at(0) == "pavix" && port != m_config.pavixPort && m_launcherServer) {
            m_launcherServer->close();
            m_config.pavixPort = port;
            if (!m_launcherServer->listen(QHostAddress::LocalHost, static_cast<quint16>(port)))
                qWarning("orv-guest: launcher port %d: %s", port,
                         qPrintable(m_launcherServer->errorString()));
        }
    }
}

void GuestService::listenInput()
{
    if (m_config.vinputPort <= 0)
        return;
    if (!m_inputServer->listen(QHostAddress::LocalHost, static_cast<quint16>(m_config.vinputPort)))
        qWarning("orv-guest: input port %d: %s", m_config.vinputPort,
                 qPrintable(m_inputServer->errorString()));
}

void GuestService::onInputConnection()
{
    while (QTcpSocket *socket = m_inputServer->nextPendingConnection()) {
        // One connection at a time: a newer one replaces the old.
        if (m_input) {
            m_input->abort();
            m_input->deleteLater();
        }
        m_input = socket;
        m_pending.clear();
        // Who is on the other end, so a test can tell that only its own emulator talks to this guest.
        logLine(
            QStringLiteral("input.log"),
            QStringLiteral("# connected from %1").arg(peerProcess(socket->peerPort(), socket->localPort())));
        connect(socket, &QTcpSocket::readyRead, this, &GuestService::onInputData);
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        const int mirrorPort = control(QStringLiteral("mirror_port"), 0);
        if (mirrorPort > 0 && (!m_mirror || m_mirror->state() != QAbstractSocket::ConnectedState)) {
            delete m_mirror;
            m_mirror = new QTcpSocket(this);
            m_mirror->setSocketOption(QAbstractSocket::LowDelayOption, 1);
            m_mirror->connectToHost(QHostAddress::LocalHost, static_cast<quint16>(mirrorPort));
            m_mirror->waitForConnected(2000);
        }
    }
}

void GuestService::refuseFor(int ms)
{
    // The port is closed: a connection attempt meanwhile is refused, as with no service listening.
    m_inputServer->close();
    logLine(QStringLiteral("input.log"), QStringLiteral("# refusing for %1 ms").arg(ms));
    QTimer::singleShot(qMax(0, ms), this, &GuestService::listenInput);
}

void GuestService::onInputData()
{
    auto *socket = qobject_cast<QTcpSocket *>(sender());
    if (!socket || socket != m_input)
        return;
    m_pending += socket->readAll();
    int end;
    int start = 0;
    while ((end = m_pending.indexOf('\n', start)) >= 0) {
        const QByteArray line = m_pending.mid(start, end - start);
        start = end + 1;
        if (m_mirror && m_mirror->state() == QAbstractSocket::ConnectedState) {
            m_mirror->write(line + '\n');
            m_mirror->flush();
        }
        handleLine(line);
    }
    m_pending.remove(0, start);
}

void GuestService::logLine(const QString &file, const QString &text)
{
    QFile log(m_config.dir + QLatin1Char('/') + file);
    if (log.open(QIODevice::WriteOnly | QIODevice::Append))
        log.write((isoNow() + QLatin1Char(' ') + text + QLatin1Char('\n')).toUtf8());
}

QString GuestService::shellReply(const QString &command)
{
    if (command == QLatin1String("getprop dev.bootcomplete"))
        return m_booted ? QStringLiteral("1\n") : QStringLiteral("0\n");
    if (command == QLatin1String("ps | grep com.corvel.pavixtop")) {
        if (!m_booted)
            return QStringLiteral("\n");
        ++m_psCount;
        int pid = control(QStringLiteral("launcher_pid"), 1234);
        const int changeAt = control(QStringLiteral("pid_change_at_poll"), 0);
        if (changeAt > 0 && m_psCount >= changeAt)
            pid += 1;
        return QStringLiteral("u0_a17    %1  97    523540 40112 ffffffff b7700e2a S %2\n")
            .arg(pid)
            .arg(QLatin1String(kLauncherPackage));
    }
    // The launcher's volume receiver sets the music volume, 0 to 15 (Android's steps for music); a value
    // outside is ignored by the receiver, and the broadcast itself still completes.
    static const QRegularExpression volume(
        QStringLiteral("^am broadcast -a com\\.corvel\\.MusicVolumeReceiver --ei VOLUME (-?\\d+)$"));
    const QRegularExpressionMatch volumeMatch = volume.match(command);
    if (volumeMatch.hasMatch()) {
        const int value = volumeMatch.captured(1).toInt();
        logLine(QStringLiteral("volume.log"), value >= 0 && value <= 15
                                                  ? QString::number(value)
                                                  : QStringLiteral("refused ") + QString::number(value));
    }
    if (command.startsWith(QLatin1String("am broadcast")))
        return QStringLiteral("Broadcasting: Intent { act=%1 }\nBroadcast completed: result=0\n")
            .arg(command.section(QLatin1Char(' '), 3, 3));
    if (command.startsWith(QLatin1String("am start")))
        return QStringLiteral("Starting: Intent { }\n");
    return QStringLiteral("/system/bin/sh: %1: not found\n").arg(command.section(QLatin1Char(' '), 0, 0));
}

void GuestService::handleLine(const QByteArray &raw)
{
    const QString line = QString::fromUtf8(raw);
    logLine(QStringLiteral("input.log"), line);
    const QStringList f = line.split(QLatin1Char(':'));
    const QString kind = f.value(0);
    if (kind == QLatin1String("SHELL_CMD") && line.startsWith(QLatin1String("SHELL_CMD:str-"))) {
        const QString command = line.mid(int(qstrlen("SHELL_CMD:str-")));
        m_shellOutstanding = true;
        const int delay = control(QStringLiteral("reply_delay_ms"), 0);
        QPointer<QTcpSocket> socket = m_input;
        const QByteArray reply = shellReply(command).toUtf8();
        QTimer::singleShot(qMax(0, delay), this, [this, socket, reply] {
            m_shellOutstanding = false;
            if (socket) {
                socket->write(reply);
                socket->flush();
            }
            // Screenshot answers held back while the reply was due go now, each in a write of its own.
            const QStringList waiting = m_screenCapsWaiting;
            m_screenCapsWaiting.clear();
            for (const QString &name : waiting)
                answerScreenCap(name);
            checkRequests();
        });
        return;
    }
    if (kind == QLatin1String("SCREENCAP")) {
        answerScreenCap(QStringLiteral("Screenshot_%1_%2.png")
                            .arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss")))
                            .arg(++m_screenCapCount));
        return;
    }
    // CONFIG is only recorded: the screen's size is the machine's display mode, whatever the host says.
    if (kind == QLatin1String("CONFIG")) {
        return;
    } else if ((kind == QLatin1String("MSBPR") || kind == QLatin1String("MSBRL")) && f.size() >= 3) {
        m_touches = {QPoint(f.at(1).toInt(), f.at(2).toInt())};
    } else if (kind == QLatin1String("MULTI") && f.size() >= 3) {
        QVector<QPoint> points;
        for (int i = 3; i + 1 < f.size(); i += 2)
            points.append(QPoint(f.at(i).toInt(), f.at(i + 1).toInt()));
        if (!points.isEmpty())
            m_touches = points;
    } else if (kind == QLatin1String("INPUTTEXT") && line.startsWith(QLatin1String("INPUTTEXT:str-"))) {
        QString text = QString::fromUtf8(QByteArray::fromBase64(raw.mid(int(qstrlen("INPUTTEXT:str-")))));
        if (text.startsWith(QLatin1String("<G>")))
            text.remove(0, 3);
        if (text.endsWith(QLatin1String("<P>")))
            text.chop(3);
        logLine(QStringLiteral("text.log"), text);
        m_screen.setText(text);
    } else if (kind == QLatin1String("GPS") && line.startsWith(QLatin1String("GPS:str-"))) {
        m_screen.setLocation(line.mid(int(qstrlen("GPS:str-"))));
    } else {
        return;
    }
    m_screen.setTouches(m_touches);
    schedulePublish();
}

void GuestService::checkRequests()
{
    // A machine whose folder is gone (deleted, or the test's tree removed) has no guest any more.
    if (!QFileInfo::exists(m_config.dir)) {
        QCoreApplication::quit();
        return;
    }
    if (takeRequest(QStringLiteral("drop")) && m_input) {
        logLine(QStringLiteral("input.log"), QStringLiteral("# dropped"));
        m_input->abort();
    }
    // A reply of a shell command still on its way goes first; the request is looked at again after it.
    if (!m_shellOutstanding && m_input && takeRequest(QStringLiteral("screencap")))
        answerScreenCap(QStringLiteral("Screenshot_requested.png"));
    takeReplyRequest();
    takePortsRequest();
    QFile refuse(m_config.dir + QStringLiteral("/refuse"));
    if (refuse.open(QIODevice::ReadOnly)) {
        bool ok = false;
        const int ms = refuse.readAll().trimmed().toInt(&ok);
        refuse.close();
        refuse.remove();
        refuseFor(ok ? ms : 3000);
    }
}

void GuestService::answerScreenCap(const QString &name)
{
    if (m_shellOutstanding) {
        m_screenCapsWaiting << name;
        return;
    }
    // The picture lands in the shared picture folder first, as Android's screenshot does, so the host
    // finds the file it is told about.
    if (!m_config.pictureShare.isEmpty() && QFileInfo(m_config.pictureShare).isDir()) {
        const QString target = m_config.pictureShare + QLatin1Char('/') + name;
        const QString temp = m_config.pictureShare + QStringLiteral("/.") + name + QStringLiteral(".tmp");
        if (m_screen.render().save(temp, "PNG"))
            QFile::rename(temp, target);
        else
            QFile::remove(temp);
    }
    if (m_input) {
        m_input->write(QByteArrayLiteral("SCREENCAP:/sdcard/Pictures/Screenshots/") + name.toUtf8());
        m_input->flush();
    }
}

void GuestService::schedulePublish()
{
    if (m_publishPending || m_config.emuId.isEmpty())
        return;
    m_publishPending = true;
    // Several lines in one read give one picture.
    QTimer::singleShot(0, this, [this] {
        m_publishPending = false;
        if (!m_screen.publish(framePath()))
            qWarning("orv-guest: cannot write %s", qPrintable(framePath()));
    });
}

void GuestService::shutDown()
{
    // The ports go first: whoever waits for the pid file to vanish finds them free.
    if (m_inputServer)
        m_inputServer->close();
    if (m_launcherServer)
        m_launcherServer->close();
    if (m_input)
        m_input->abort();
    if (!m_config.emuId.isEmpty())
        QFile::remove(framePath());
    QFile::remove(m_config.dir + QStringLiteral("/guest.pid"));
}

void GuestService::handleLauncherRequest(const QByteArray &bytes)
{
    const LauncherWire::Message message = LauncherWire::parseRequest(bytes);
    if (!message.ok) {
        // Ignored, as the launcher ignores what it cannot read.
        logLine(QStringLiteral("launcher-actions.log"), QStringLiteral("malformed ") + message.error);
        return;
    }
    QJsonObject record{{QStringLiteral("action"), message.action}};
    if (message.hasData)
        record.insert(QStringLiteral("data"), QString::fromUtf8(message.data));
    logLine(QStringLiteral("launcher-actions.log"),
            QString::fromUtf8(QJsonDocument(record).toJson(QJsonDocument::Compact)));
    const QString data = QString::fromUtf8(message.data);
    if (message.action == kActionAPKInstall) {
        // The package file is looked for in the game share under the name given (no folders).
        if (m_config.gameShare.isEmpty() || data.isEmpty() || data.contains(QLatin1Char('/')))
            return;
        QFile file(m_config.gameShare + QLatin1Char('/') + data);
        if (!file.open(QIODevice::ReadOnly))
            return;
        // The stand-in's packages name themselves in a line "package=<name>"; others are named after
        // their file.
        QString package;
        for (const QByteArray &line : file.read(1 << 20).split('\n'))
            if (line.startsWith("package="))
                package = QString::fromUtf8(line.mid(8)).trimmed();
        if (package.isEmpty())
            package = QFileInfo(data).completeBaseName();
        if (!m_installed.contains(package))
            m_installed << package;
        setForeground(package);
    } else if (message.action == kActionLaunchApp) {
        if (m_installed.contains(data))
            setForeground(data);
    }
}

void GuestService::setForeground(const QString &package)
{
    const bool changed = package != m_foreground;
    m_foreground = package;
    m_screen.setPackage(package);
    schedulePublish();
    writeLauncherState();
    if (changed)
        writeReply(LauncherWire::encode(kActionPackageChanged, package.toUtf8(), true));
}

bool GuestService::writeReply(const QByteArray &bytes, const QString &name)
{
    if (m_config.eventShare.isEmpty() || !QFileInfo(m_config.eventShare).isDir())
        return false;
    const QString fileName =
        name.isEmpty() ? QStringLiteral("res_%1").arg(++m_replyCount, 6, 10, QLatin1Char('0')) : name;
    const QString target = m_config.eventShare + QLatin1Char('/') + fileName;
    const QString temp = m_config.eventShare + QStringLiteral("/.") + fileName + QStringLiteral(".tmp");
    QFile file(temp);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    const bool written = file.write(bytes) == bytes.size();
    file.close();
    QFile::remove(target);
    if (!written || !QFile::rename(temp, target)) {
        QFile::remove(temp);
        return false;
    }
    logLine(QStringLiteral("launcher-replies.log"),
            fileName + QLatin1Char(' ') + QString::fromLatin1(bytes.toHex()));
    return true;
}

void GuestService::writeLauncherState()
{
    QJsonObject state{{QStringLiteral("foreground"), m_foreground},
                      {QStringLiteral("installed"), QJsonArray::fromStringList(m_installed)}};
    const QString path = m_config.dir + QStringLiteral("/launcher.json");
    QFile file(path + QStringLiteral(".tmp"));
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        file.write(QJsonDocument(state).toJson(QJsonDocument::Compact));
        file.close();
        QFile::remove(path);
        QFile::rename(path + QStringLiteral(".tmp"), path);
    }
}

void GuestService::takeReplyRequest()
{
    QFile request(m_config.dir + QStringLiteral("/reply"));
    if (!request.open(QIODevice::ReadOnly))
        return;
    const QJsonObject spec = QJsonDocument::fromJson(request.readAll()).object();
    request.close();
    request.remove();
    QByteArray bytes;
    if (spec.contains(QStringLiteral("hex")))
        bytes = QByteArray::fromHex(spec.value(QStringLiteral("hex")).toString().toLatin1());
    else
        bytes = LauncherWire::encode(spec.value(QStringLiteral("action")).toInt(1),
                                     spec.value(QStringLiteral("data")).toString().toUtf8(),
                                     spec.contains(QStringLiteral("data")));
    if (!writeReply(bytes, spec.value(QStringLiteral("name")).toString()))
        logLine(QStringLiteral("launcher-replies.log"), QStringLiteral("# cannot write a reply file"));
}
