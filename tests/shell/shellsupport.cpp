#include "shellsupport.h"

#include "datareportdao.h"
#include "datareportengine.h"
#include "global.h"
#include "sqlitetool.h"
#include "vinputconnection.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTcpServer>
#include <QThreadPool>
#include <QTimer>
#include <QtTest>

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace ShellSupport {

void whenModal(const std::function<void(QWidget *)> &action)
{
    auto *timer = new QTimer;
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, action] {
        QWidget *modal = QApplication::activeModalWidget();
        if (!modal || !modal->isVisible())
            return;
        timer->stop();
        timer->deleteLater();
        action(modal);
    });
    timer->start();
}

QStringList storedEvents()
{
    QThreadPool::globalInstance()->waitForDone();
    QStringList events;
    for (const DataReportRecord &record : DataReportEngine::instance()->dao().findAll()) {
        if (record.types == DataReportDao::kTypeEvent) {
            events << QString::number(record.event.eventkey());
            continue;
        }
        QString text = QString::number(record.eventEx.eventkey());
        for (const auto &entry : record.eventEx.eventmaps())
            text += QLatin1Char(' ') + QString::fromStdString(entry.datakey()) + QLatin1Char('=') +
                    QString::fromStdString(entry.datavalue());
        events << text;
    }
    return events;
}

bool openEventStore()
{
    SQLiteTool::instance().connect();
    if (!SQLiteTool::instance().isOpen())
        return false;
    // One pool thread: the events are stored in the order they were reported.
    QThreadPool::globalInstance()->setMaxThreadCount(1);
    clearEvents();
    return true;
}

void clearEvents()
{
    QThreadPool::globalInstance()->waitForDone();
    DataReportEngine::instance()->dao().clearTable();
}

bool setReadOnly(const QString &path, bool readOnly)
{
    if (geteuid() != 0)
        return QFile::setPermissions(path,
                                     readOnly ? QFile::ReadOwner : QFile::ReadOwner | QFile::WriteOwner);
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    int flags = 0;
    bool ok = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    if (ok) {
        flags = readOnly ? flags | FS_IMMUTABLE_FL : flags & ~FS_IMMUTABLE_FL;
        ok = ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    }
    ::close(fd);
    return ok;
}

} // namespace ShellSupport

GuestProcess::~GuestProcess()
{
    m_process.kill();
    m_process.waitForFinished(5000);
}

bool GuestProcess::start()
{
    if (!m_dir.isValid())
        return false;
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost);
    const quint16 port = probe.serverPort();
    probe.close();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("ORV_SIM_SCREEN_DIR"), m_dir.path() + QStringLiteral("/screens"));
    env.insert(QStringLiteral("ORV_GUEST_BOOT_MS"), QStringLiteral("0"));
    m_process.setProcessEnvironment(env);
    QDir().mkpath(m_dir.path() + QStringLiteral("/pictures"));
    m_process.start(QStringLiteral(ORV_SIM_BIN_DIR "/orv-guest"),
                    {QStringLiteral("--vinput-port"), QString::number(port), QStringLiteral("--dir"),
                     m_dir.path() + QStringLiteral("/guest"), QStringLiteral("--picture-share"),
                     m_dir.path() + QStringLiteral("/pictures"), QStringLiteral("--die-with-parent")});
    if (!m_process.waitForStarted(5000))
        return false;
    QElapsedTimer clock;
    clock.start();
    while (!QFile::exists(m_dir.path() + QStringLiteral("/guest/guest.pid")) && clock.elapsed() < 5000)
        QTest::qWait(20);
    Global::vinputPort = QString::number(port);
    VInputConnection::instance().init();
    while (!VInputConnection::instance().isConnected() && clock.elapsed() < 10000)
        QTest::qWait(20);
    return VInputConnection::instance().isConnected();
}

QStringList GuestProcess::lines() const
{
    QFile file(m_dir.path() + QStringLiteral("/guest/input.log"));
    QStringList lines;
    if (file.open(QIODevice::ReadOnly)) {
        for (const QByteArray &line : file.readAll().split('\n'))
            if (line.indexOf(' ') > 0)
                lines << QString::fromUtf8(line.mid(line.indexOf(' ') + 1));
    }
    return lines;
}
