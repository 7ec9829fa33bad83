#include "shellsupport.h"

#include "datareportdao.h"
#include "datareportengine.h"
#include "global.h"
#include "sqlitetool.h"
#include "testports.h"
#include "vinputconnection.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QThreadPool>
#include <QTimer>
#include <QtTest>

#include <algorithm>

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

// Longest wait for each step of the guest's start and for a line to reach it.
constexpr int kGuestStartMs = 30000;

} // namespace

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
    // A port of this test's own block (testports.h): no other test on the machine takes it meanwhile.
    const quint16 port = TestPorts::freePort();
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
    // Generous bounds: on a busy machine the guest's start alone can take seconds.
    if (!QTest::qWaitFor([&] { return QFile::exists(m_dir.path() + QStringLiteral("/guest/guest.pid")); },
                         kGuestStartMs))
        return false;
    Global::vinputPort = QString::number(port);
    VInputConnection::instance().init();
    if (!QTest::qWaitFor([] { return VInputConnection::instance().isConnected(); }, kGuestStartMs))
        return false;
    // The connection is up on this side; its note and CONFIG line reach the guest's log a little later.
    // (QStringList::indexOf takes whole lines that match.)
    // Until they are there, a count of the lines would change under the test.
    const bool opened = QTest::qWaitFor(
        [this] {
            const QStringList received = lines();
            const int note = received.indexOf(QRegularExpression(QStringLiteral("# connected from .*")));
            return note >= 0 &&
                   received.indexOf(QRegularExpression(QStringLiteral("CONFIG:.*")), note + 1) > note;
        },
        kGuestStartMs);
    if (!opened)
        qWarning("the guest's opening lines did not come; it received: %s",
                 qPrintable(lines().join(QLatin1String(" | "))));
    return opened;
}

QStringList GuestProcess::linesSentSince(int from, bool *ok)
{
    static int markers = 0;
    const QString marker = QStringLiteral("end of lines %1").arg(++markers);
    const QString markerLine = QString::fromLatin1(VInputConnection::inputTextLine(marker)).trimmed();
    VInputConnection::instance().sendInputText(marker);
    QStringList received;
    const bool arrived = QTest::qWaitFor(
        [&] {
            received = lines().mid(from);
            return received.contains(markerLine);
        },
        kGuestStartMs);
    if (ok)
        *ok = arrived;
    if (!arrived)
        return {};
    received = received.mid(0, received.indexOf(markerLine));
    received.erase(std::remove_if(received.begin(), received.end(),
                                  [](const QString &line) { return line.startsWith(QLatin1Char('#')); }),
                   received.end());
    return received;
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
