// The launcher channel, the guest file copy and the picture-share watcher of this process against the
// simulated guest (sim/guest) with its launcher port and its shares in a temporary folder: what the
// launcher reads, the reply files it writes and what this process does with them, package copies into
// the game share, dropped files copied into the picture and other shares, and the broadcasts that
// announce new pictures, with hostile file names.

#include "commandline.h"
#include "global.h"
#include "guestfiles.h"
#include "pavixconnection.h"
#include "testports.h"
#include "vinputconnection.h"

#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThreadPool>
#include <QtTest>

#include <csignal>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>

namespace {

// A port of this test's own block (testports.h): no other test on the machine takes it meanwhile.
quint16 freePort()
{
    return TestPorts::freePort();
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Sets or clears the immutable flag (a file that even root cannot delete); false when the file system
// does not allow it.
bool setImmutable(const QString &path, bool on)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    int flags = 0;
    bool ok = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    if (ok) {
        flags = on ? flags | FS_IMMUTABLE_FL : flags & ~FS_IMMUTABLE_FL;
        ok = ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    }
    ::close(fd);
    return ok;
}

QString md5Of(const QByteArray &bytes)
{
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Md5).toHex().toUpper());
}

const QString kBroadcast = QStringLiteral(
    "SHELL_CMD:str-am broadcast -a com.corvel.ShareFileChangeBroadCastReceiver  --ei SET_ALL_FILE_KEY 1 --es "
    "ALL_FILE_PATH_KEY ");

} // namespace

class TestLauncherChannel : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void eventFolderMadeLaterIsWatched();
    void requestsAsTheLauncherReadsThem();
    void malformedRequestsAreIgnored();
    void replyFiles_data();
    void replyFiles();
    void burstOfRepliesInNameOrder();
    void hostileReplyFiles_data();
    void hostileReplyFiles();
    void largeBurstIsDrainedInBatches();
    void undeletableReplyActsOnce();
    void packageCopyInstallsAndReportsBack();
    void packageCopyAgainAndOfAnotherSize();
    void packageCopyWithoutRoomOrFolder();
    void commandLineLaunches();
    void droppedPicturesAreCopiedAndAnnounced();
    void hostileNamesReachTheGuestEscapedOrNotAtAll();
    void copyIntoAFullTarget();
    void guestScreenshotIsAnnounced();
    void unwatchableFolderIsRetried();

private:
    QString path(const QString &name) const { return m_dir->path() + QLatin1Char('/') + name; }
    // What the launcher read, one JSON record per request (or {"malformed": reason}).
    QList<QJsonObject> launcherRecords() const;
    QStringList guestLines() const;
    QJsonObject launcherState() const;
    // Asks the guest's launcher to write a reply file.
    void guestReply(const QJsonObject &spec);
    bool waitForRecords(int count, int ms = 30000);

    std::unique_ptr<QTemporaryDir> m_dir;
    QProcess m_guest;
};

void TestLauncherChannel::initTestCase()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    const quint16 vinputPort = freePort();
    const quint16 pavixPort = freePort();
    QVERIFY(vinputPort != pavixPort);
    for (const char *folder : {"share/game", "share/image", "share/other", "guest"})
        QVERIFY(QDir().mkpath(path(QLatin1String(folder))));
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("ORV_SIM_SCREEN_DIR"), path(QStringLiteral("screens")));
    env.insert(QStringLiteral("ORV_GUEST_BOOT_MS"), QStringLiteral("0"));
    m_guest.setProcessEnvironment(env);
    m_guest.setProcessChannelMode(QProcess::ForwardedChannels);
    m_guest.start(QStringLiteral(ORV_SIM_BIN_DIR "/orv-guest"),
                  {"--vinput-port", QString::number(vinputPort), "--pavix-port", QString::number(pavixPort),
                   "--dir", path("guest"), "--picture-share", path("share/image"), "--event-share",
                   path("share/event"), "--game-share", path("share/game"), "--die-with-parent"});
    QVERIFY(m_guest.waitForStarted(30000));
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(path("guest/guest.pid")), 30000);

    Global::vinputPort = QString::number(vinputPort);
    Global::pavixPort = QString::number(pavixPort);
    Global::gamePath = path("share/game");
    Global::eventPath = path("share/event"); // made by the first test
    Global::imagePath = path("share/image");
    Global::otherPath = path("share/other");
    Global::systemInfo.driveRoot = QStringLiteral("/data");
    VInputConnection::instance().init();
    PavixConnection::instance().init();
    QTRY_VERIFY_WITH_TIMEOUT(VInputConnection::instance().isConnected(), 5000);
}

void TestLauncherChannel::cleanupTestCase()
{
    // Both threads end at once when told, not after their wait.
    QElapsedTimer timer;
    timer.start();
    PavixConnection::instance().stop();
    VInputConnection::instance().stopShareWatcher();
    QVERIFY2(timer.elapsed() < 1000, qPrintable(QString::number(timer.elapsed())));
    QVERIFY(!PavixConnection::instance().isRunning());
    QVERIFY(!VInputConnection::instance().shareWatcher()->isRunning());
    QThreadPool::globalInstance()->waitForDone();
    m_guest.terminate();
    if (!m_guest.waitForFinished(5000))
        m_guest.kill();
}

QList<QJsonObject> TestLauncherChannel::launcherRecords() const
{
    QList<QJsonObject> records;
    for (const QByteArray &line : readFile(path("guest/launcher-actions.log")).split('\n')) {
        const int space = line.indexOf(' ');
        if (space < 0)
            continue;
        const QByteArray rest = line.mid(space + 1);
        if (rest.startsWith("malformed "))
            records << QJsonObject{{"malformed", QString::fromUtf8(rest.mid(10))}};
        else
            records << QJsonDocument::fromJson(rest).object();
    }
    return records;
}

QStringList TestLauncherChannel::guestLines() const
{
    QStringList lines;
    for (const QByteArray &line : readFile(path("guest/input.log")).split('\n'))
        if (line.indexOf(' ') > 0)
            lines << QString::fromUtf8(line.mid(line.indexOf(' ') + 1));
    return lines;
}

QJsonObject TestLauncherChannel::launcherState() const
{
    return QJsonDocument::fromJson(readFile(path("guest/launcher.json"))).object();
}

void TestLauncherChannel::guestReply(const QJsonObject &spec)
{
    QVERIFY(writeFile(path("guest/.reply.tmp"), QJsonDocument(spec).toJson()));
    QVERIFY(QFile::rename(path("guest/.reply.tmp"), path("guest/reply")));
    QTRY_VERIFY(!QFile::exists(path("guest/reply")));
}

bool TestLauncherChannel::waitForRecords(int count, int ms)
{
    QElapsedTimer timer;
    timer.start();
    while (launcherRecords().size() < count && timer.elapsed() < ms)
        QTest::qWait(20);
    return launcherRecords().size() >= count;
}

void TestLauncherChannel::eventFolderMadeLaterIsWatched()
{
    // The event folder did not exist when the reply thread started: it is tried again until it can be
    // watched, and replies written then are read.
    QSignalSpy changed(&PavixConnection::instance(), &PavixConnection::pavix_package_changed);
    QTest::qWait(1500);
    QVERIFY(QDir().mkpath(Global::eventPath));
    guestReply({{"action", 9}, {"data", "late.folder"}});
    QTRY_COMPARE_WITH_TIMEOUT(changed.size(), 1, 5000);
    QCOMPARE(changed.at(0).at(0).toString(), QStringLiteral("late.folder"));
}

void TestLauncherChannel::requestsAsTheLauncherReadsThem()
{
    const int before = launcherRecords().size();
    PavixConnection &pavix = PavixConnection::instance();
    // Asked for at once, they reach the launcher one connection each, in the order asked for (a
    // "Copying" toast never after the "copy failed" one).
    pavix.sendMsgToPavixSync(OrvantaPavixTcp::Orvanta_Action_Home);
    pavix.sendMsgToPavixSync(OrvantaPavixTcp::Orvanta_Action_LaunchApp, QStringLiteral("a.b"));
    pavix.sendMsgToPavixSync(OrvantaPavixTcp::Orvanta_Action_Toast, QStringLiteral("\u4e2d\u6587"));
    QList<QJsonObject> expected{{{"action", 2}},
                                {{"action", 7}, {"data", "a.b"}},
                                {{"action", 10}, {"data", QStringLiteral("\u4e2d\u6587")}}};
    for (int i = 0; i < 30; ++i) {
        const QString text = QStringLiteral("toast %1 ").arg(i) + QString(i * 40, QLatin1Char('t'));
        pavix.sendMsgToPavixSync(OrvantaPavixTcp::Orvanta_Action_Toast, text);
        expected.append({{"action", 10}, {"data", text}});
    }
    // From another thread through the queued signal, whose action type is registered.
    QThreadPool::globalInstance()->start(
        [&pavix] { emit pavix.pavix_send(OrvantaPavixTcp::Orvanta_Action_ScriptState, QString()); });
    expected.append({{"action", 259}});
    QVERIFY(waitForRecords(before + expected.size()));
    QTest::qWait(200);
    const QList<QJsonObject> got = launcherRecords().mid(before);
    QCOMPARE(got, expected);
    // Launching a package that is not installed changes nothing.
    QCOMPARE(launcherState().value("foreground").toString(), QStringLiteral("com.corvel.pavixtop"));
}

void TestLauncherChannel::malformedRequestsAreIgnored()
{
    // Another program's bytes on the launcher port: without the closing 0A, or not a message.
    const int before = launcherRecords().size();
    for (const QByteArray &bytes :
         {QByteArray::fromHex("0807120361626e"), QByteArray::fromHex("07070a"), QByteArray::fromHex("0a")}) {
        const int recorded = launcherRecords().size();
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, static_cast<quint16>(Global::pavixPort.toInt()));
        QVERIFY(socket.waitForConnected(5000));
        socket.write(bytes);
        QVERIFY(socket.waitForBytesWritten(5000));
        socket.disconnectFromHost();
        QVERIFY(waitForRecords(recorded + 1));
    }
    const QList<QJsonObject> got = launcherRecords().mid(before);
    QCOMPARE(got.size(), 3);
    QCOMPARE(got.at(0).value("malformed").toString(), QStringLiteral("no line feed at the end"));
    QVERIFY(got.at(1).contains("malformed"));
    QCOMPARE(got.at(2).value("malformed").toString(), QStringLiteral("no action"));
    QCOMPARE(launcherState().value("foreground").toString(), QStringLiteral("com.corvel.pavixtop"));
}

void TestLauncherChannel::replyFiles_data()
{
    QTest::addColumn<QJsonObject>("spec");
    QTest::addColumn<QString>("signal");
    QTest::addColumn<QVariant>("value");
    QTest::newRow("package changed") << QJsonObject{{"action", 9}, {"data", "com.game.one"}} << "package"
                                     << QVariant(QStringLiteral("com.game.one"));
    QTest::newRow("copied text") << QJsonObject{{"action", 8}, {"data", QStringLiteral("h\u00e9 \u4e2d\n2")}}
                                 << "copy" << QVariant(QStringLiteral("h\u00e9 \u4e2d\n2"));
    QTest::newRow("script runs") << QJsonObject{{"action", 259}, {"data", "1"}} << "script" << QVariant(true);
    QTest::newRow("script stopped") << QJsonObject{{"action", 259}, {"data", "0"}} << "script"
                                    << QVariant(false);
    QTest::newRow("script state 11") << QJsonObject{{"action", 259}, {"data", "11"}} << "script"
                                     << QVariant(false);
    QTest::newRow("script state, no data") << QJsonObject{{"action", 259}} << "script" << QVariant(false);
    QTest::newRow("crash") << QJsonObject{{"action", 14}} << "crash" << QVariant();
    QTest::newRow("launch: not for the host")
        << QJsonObject{{"action", 7}, {"data", "x"}} << "none" << QVariant();
    QTest::newRow("unknown action 300") << QJsonObject{{"hex", "08ac021201"}} << "none" << QVariant();
    QTest::newRow("empty file") << QJsonObject{{"hex", ""}} << "none" << QVariant();
    QTest::newRow("a lone 0A") << QJsonObject{{"hex", "0a"}} << "none" << QVariant();
    QTest::newRow("trailing 0A") << QJsonObject{{"hex", "0809120474726169"
                                                        "0a"}}
                                 << "package" << QVariant(QStringLiteral("trai"));
    QTest::newRow("copied text cut short")
        << QJsonObject{{"hex", "0808120978"}} << "copy" << QVariant(QString());
}

void TestLauncherChannel::replyFiles()
{
    QFETCH(QJsonObject, spec);
    QFETCH(QString, signal);
    QFETCH(QVariant, value);
    PavixConnection &pavix = PavixConnection::instance();
    QSignalSpy package(&pavix, &PavixConnection::pavix_package_changed);
    QSignalSpy copy(&pavix, &PavixConnection::pavix_copy_text);
    QSignalSpy script(&pavix, &PavixConnection::pavix_script_state_change);
    QSignalSpy crash(&pavix, &PavixConnection::pavix_crash);
    const QString name = QStringLiteral("row_%1").arg(QTest::currentDataTag()).replace(QLatin1Char(' '), '_');
    spec.insert("name", name);
    guestReply(spec);
    // The file is read and deleted.
    QTRY_VERIFY_WITH_TIMEOUT(!QFile::exists(Global::eventPath + QLatin1Char('/') + name), 5000);
    QSignalSpy *expected = signal == "package"  ? &package
                           : signal == "copy"   ? &copy
                           : signal == "script" ? &script
                           : signal == "crash"  ? &crash
                                                : nullptr;
    if (expected)
        QTRY_COMPARE(expected->size(), 1);
    QTest::qWait(300);
    for (QSignalSpy *spy : {&package, &copy, &script, &crash})
        QCOMPARE(spy->size(), spy == expected ? 1 : 0);
    if (expected && value.isValid())
        QCOMPARE(expected->at(0).at(0), value);
}

void TestLauncherChannel::burstOfRepliesInNameOrder()
{
    QSignalSpy package(&PavixConnection::instance(), &PavixConnection::pavix_package_changed);
    // Written under hidden names (which the reader never lists) and renamed at once.
    const QStringList names{"b_second", "A_first", "c_third"};
    for (const QString &name : names)
        QVERIFY(writeFile(Global::eventPath + "/." + name,
                          QByteArray::fromHex("0809") + '\x12' + char(name.size()) + name.toUtf8()));
    QElapsedTimer timer;
    timer.start();
    for (const QString &name : names)
        QVERIFY(QFile::rename(Global::eventPath + "/." + name, Global::eventPath + '/' + name));
    QTRY_COMPARE_WITH_TIMEOUT(package.size(), 3, 5000);
    // One after the other, without waiting for a time-out in between.
    QVERIFY2(timer.elapsed() < 2500, qPrintable(QString::number(timer.elapsed())));
    QCOMPARE((QStringList{package.at(0).at(0).toString(), package.at(1).at(0).toString(),
                          package.at(2).at(0).toString()}),
             (QStringList{"A_first", "b_second", "c_third"}));
}

void TestLauncherChannel::hostileReplyFiles_data()
{
    // What the guest leaves in the event share: the reply is taken only from a regular file of at most
    // 64 KiB; anything else is removed unread (a link, not its target), and the reader goes on.
    QTest::addColumn<QString>("kind");
    QTest::addColumn<bool>("taken");
    QTest::newRow("link to a host file") << "link-file" << false;
    QTest::newRow("link to /dev/zero") << "link-zero" << false;
    QTest::newRow("link to a pipe") << "link-fifo" << false;
    QTest::newRow("a pipe") << "fifo" << false;
    QTest::newRow("one byte over 64 KiB") << "large" << false;
    QTest::newRow("exactly 64 KiB") << "limit" << true;
}

void TestLauncherChannel::hostileReplyFiles()
{
    QFETCH(QString, kind);
    QFETCH(bool, taken);
    QSignalSpy copy(&PavixConnection::instance(), &PavixConnection::pavix_copy_text);
    const QString name = QStringLiteral("h_") + kind;
    const QString entry = Global::eventPath + QLatin1Char('/') + name;
    // A host file whose text is a valid copy-text reply: following the link would put it on the
    // clipboard.
    const QString secret = path("secret.txt");
    QVERIFY(writeFile(secret, QByteArray::fromHex("08081206") + "SECRET"));
    QVERIFY(QFile::setPermissions(secret, QFile::ReadOwner | QFile::WriteOwner));
    const QString fifo = path("pipe_" + kind);
    // A copy-text reply of exactly `size` bytes (above 16 KiB: three bytes of length).
    const auto copyText = [](int size) {
        const int textSize = size - 6; // 08 08 12 and the length
        return QByteArray::fromHex("080812") + char(0x80 | (textSize & 0x7f)) +
               char(0x80 | ((textSize >> 7) & 0x7f)) + char(textSize >> 14) + QByteArray(textSize, 'x');
    };
    if (kind == "link-file") {
        QVERIFY(QFile::link(secret, entry));
    } else if (kind == "link-zero") {
        QVERIFY(QFile::link(QStringLiteral("/dev/zero"), entry));
    } else if (kind == "link-fifo" || kind == "fifo") {
        const QString at = kind == "fifo" ? entry : fifo;
        QVERIFY(::mkfifo(QFile::encodeName(at).constData(), 0600) == 0);
        if (kind == "link-fifo")
            QVERIFY(QFile::link(fifo, entry));
    } else if (kind == "large") {
        QVERIFY(writeFile(path(".large"), copyText(64 * 1024 + 1)));
        QVERIFY(QFile::rename(path(".large"), entry));
    } else {
        QVERIFY(writeFile(path(".limit"), copyText(64 * 1024)));
        QVERIFY(QFile::rename(path(".limit"), entry));
    }
    // The entry goes (the link only), and a reply written after it is still taken.
    QTRY_VERIFY_WITH_TIMEOUT(!QFileInfo(entry).exists() && !QFileInfo(entry).isSymLink(), 5000);
    guestReply({{"action", 8}, {"data", "after"}, {"name", "zz_after_" + kind}});
    QTRY_VERIFY_WITH_TIMEOUT(!copy.isEmpty() && copy.last().at(0).toString() == QLatin1String("after"), 5000);
    QCOMPARE(copy.size(), taken ? 2 : 1);
    if (taken)
        QCOMPARE(copy.at(0).at(0).toString().size(), 64 * 1024 - 6);
    for (const QList<QVariant> &args : qAsConst(copy))
        QVERIFY(!args.at(0).toString().contains(QLatin1String("SECRET")));
    QCOMPARE(readFile(secret), QByteArray::fromHex("08081206") + "SECRET");
    QFile::remove(fifo);
}

void TestLauncherChannel::largeBurstIsDrainedInBatches()
{
    // Thousands of reply files at once are worked off in batches, not with a pause and a new listing
    // of the whole folder for each one.
    QSignalSpy package(&PavixConnection::instance(), &PavixConnection::pavix_package_changed);
    const int count = 3000;
    const QString staging = path("burst");
    QVERIFY(QDir().mkpath(staging));
    for (int i = 0; i < count; ++i) {
        const QByteArray name = QByteArray("p") + QByteArray::number(i).rightJustified(5, '0');
        QVERIFY(writeFile(staging + '/' + QString::fromLatin1(name),
                          QByteArray::fromHex("0809") + '\x12' + char(name.size()) + name));
    }
    for (const QString &name : QDir(staging).entryList(QDir::Files))
        QVERIFY(QFile::rename(staging + '/' + name, Global::eventPath + '/' + name));
    // One pause per file alone would take 300 s.
    QTRY_COMPARE_WITH_TIMEOUT(package.size(), count, 60000);
    for (int i = 0; i < count; i += 499)
        QCOMPARE(package.at(i).at(0).toString(), QStringLiteral("p%1").arg(i, 5, 10, QLatin1Char('0')));
}

void TestLauncherChannel::undeletableReplyActsOnce()
{
    QSignalSpy copy(&PavixConnection::instance(), &PavixConnection::pavix_copy_text);
    const QString stuck = Global::eventPath + QStringLiteral("/stuck");
    // Made immutable at once: the reader lets a new file settle before it reads it.
    QVERIFY(writeFile(stuck, QByteArray::fromHex("0808120131")));
    if (!setImmutable(stuck, true)) {
        QFile::remove(stuck);
        QSKIP("the file system of the temporary folder has no immutable files");
    }
    QTRY_COMPARE_WITH_TIMEOUT(copy.size(), 1, 5000);
    // Several waits later it was still not acted on again, and the files behind it are handled.
    guestReply({{"action", 8}, {"data", "behind"}, {"name", "zz_behind"}});
    QTRY_COMPARE_WITH_TIMEOUT(copy.size(), 2, 5000);
    QTest::qWait(3500);
    QCOMPARE(copy.size(), 2);
    QCOMPARE(copy.at(0).at(0).toString(), QStringLiteral("1"));
    QCOMPARE(copy.at(1).at(0).toString(), QStringLiteral("behind"));
    QVERIFY(QFile::exists(stuck));
    // Changed, it counts as a new reply; once it can be deleted it goes.
    QVERIFY(setImmutable(stuck, false));
    QVERIFY(writeFile(stuck, QByteArray::fromHex("08081205") + "again"));
    QTRY_COMPARE_WITH_TIMEOUT(copy.size(), 3, 5000);
    QCOMPARE(copy.at(2).at(0).toString(), QStringLiteral("again"));
    QTRY_VERIFY(!QFile::exists(stuck));
}

void TestLauncherChannel::packageCopyInstallsAndReportsBack()
{
    PavixConnection &pavix = PavixConnection::instance();
    QSignalSpy changed(&pavix, &PavixConnection::pavix_package_changed);
    QSignalSpy tray(&pavix, &PavixConnection::trayMessage);
    const QByteArray apk = "package=com.example.racer\nbody of a package\n";
    QVERIFY(writeFile(path("Racer Game.APK"), apk));
    const int before = launcherRecords().size();
    pavix.installAPKFromDrag({path("Racer Game.APK"), QString(), path("missing.apk")}, 1);
    const QString name = QStringLiteral("apk_%1.apk").arg(md5Of(apk));
    QVERIFY(waitForRecords(before + 2));
    QCOMPARE(launcherRecords().mid(before),
             (QList<QJsonObject>{{{"action", 10}, {"data", "install_apk_begin"}},
                                 {{"action", 5}, {"data", name}}}));
    QCOMPARE(readFile(Global::gamePath + '/' + name), apk);
    QCOMPARE(tray.size(), 1);
    // Installed in the guest, in the foreground, and reported back through a reply file.
    QTRY_COMPARE_WITH_TIMEOUT(changed.size(), 1, 5000);
    QCOMPARE(changed.at(0).at(0).toString(), QStringLiteral("com.example.racer"));
    QCOMPARE(launcherState().value("foreground").toString(), QStringLiteral("com.example.racer"));
    QVERIFY(QDir(Global::eventPath).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot).isEmpty());
    // No partial copy is left behind.
    QCOMPARE(QDir(Global::gamePath).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot),
             QStringList{name});
}

void TestLauncherChannel::packageCopyAgainAndOfAnotherSize()
{
    PavixConnection &pavix = PavixConnection::instance();
    const QByteArray apk = "package=com.example.puzzle\n" + QByteArray(5000, 'p');
    QVERIFY(writeFile(path("puzzle.ypk"), apk));
    const QString name = QStringLiteral("apk_%1.ypk").arg(md5Of(apk));
    const QString target = Global::gamePath + '/' + name;
    QSignalSpy copied(&pavix, &PavixConnection::packageCopied);

    pavix.installAPKFromDrag({path("puzzle.ypk")}, 0);
    QTRY_COMPARE(copied.size(), 1);
    QCOMPARE(readFile(target), apk);
    // The same package again: the copy stands and is installed again.
    QVERIFY(writeFile(target, apk)); // same bytes, a new time stamp to tell a copy apart
    const QDateTime stamp = QDateTime::currentDateTime().addSecs(-3600);
    {
        QFile f(target);
        QVERIFY(f.open(QIODevice::ReadWrite));
        QVERIFY(f.setFileTime(stamp, QFileDevice::FileModificationTime));
    }
    int before = launcherRecords().size();
    pavix.installAPKFromDrag({path("puzzle.ypk")}, 0);
    QTRY_COMPARE(copied.size(), 2);
    QCOMPARE(QFileInfo(target).lastModified().toSecsSinceEpoch(), stamp.toSecsSinceEpoch());
    QVERIFY(waitForRecords(before + 2));
    QCOMPARE(launcherRecords().at(before + 1), (QJsonObject{{"action", 5}, {"data", name}}));
    // A copy of another size (cut short) is made again.
    QVERIFY(writeFile(target, apk.left(100)));
    before = launcherRecords().size();
    pavix.installAPKFromDrag({path("puzzle.ypk")}, 0);
    QTRY_COMPARE(copied.size(), 3);
    QCOMPARE(readFile(target), apk);
    QVERIFY(waitForRecords(before + 2));
    QCOMPARE(launcherRecords().at(before + 1), (QJsonObject{{"action", 5}, {"data", name}}));
}

void TestLauncherChannel::packageCopyWithoutRoomOrFolder()
{
    PavixConnection &pavix = PavixConnection::instance();
    QSignalSpy tray(&pavix, &PavixConnection::trayMessage);
    const QByteArray apk = "package=com.example.big\n";
    QVERIFY(writeFile(path("big.apk"), apk));
    const QString name = QStringLiteral("apk_%1.apk").arg(md5Of(apk));

    QStringList asked;
    pavix.setSpaceCheck([&asked](const QString &p) {
        asked << p;
        return false;
    });
    int before = launcherRecords().size();
    pavix.installAPKFromDrag({path("big.apk")}, 1);
    QVERIFY(waitForRecords(before + 2));
    QTest::qWait(200);
    QCOMPARE(launcherRecords().mid(before),
             (QList<QJsonObject>{{{"action", 10}, {"data", "install_apk_begin"}},
                                 {{"action", 10}, {"data", "space_not_enough"}}}));
    QCOMPARE(asked, QStringList{path("big.apk")});
    QVERIFY(!QFile::exists(Global::gamePath + '/' + name));
    QTRY_COMPARE(tray.size(), 2);
    pavix.setSpaceCheck(nullptr);

    // The game share cannot be made (a file stands in its way): the copy fails, told untranslated.
    const QString saved = Global::gamePath;
    QVERIFY(writeFile(path("blocker"), "x"));
    Global::gamePath = path("blocker/game");
    before = launcherRecords().size();
    pavix.installAPKFromDrag({path("big.apk")}, 2);
    QVERIFY(waitForRecords(before + 2));
    QTest::qWait(200);
    Global::gamePath = saved;
    QCOMPARE(launcherRecords().mid(before),
             (QList<QJsonObject>{{{"action", 10}, {"data", "install_apk_begin"}},
                                 {{"action", 10}, {"data", "file copy failed"}}}));
    QTRY_COMPARE(tray.size(), 4);
    QCOMPARE(tray.at(3).at(0).toString(), QStringLiteral("file copy failed"));
}

void TestLauncherChannel::commandLineLaunches()
{
    PavixConnection &pavix = PavixConnection::instance();
    const QString cwd = QDir::currentPath();
    QVERIFY(QDir().mkpath(path("cwd/player")));
    QVERIFY(QDir::setCurrent(path("cwd")));
    QVERIFY(writeFile(path("cwd/player/DownloadAPK"), " http://host/a.apk\n"));

    // Nothing asked and not forced: nothing happens, the download text stays.
    CommandLine::pkgname.clear();
    CommandLine::pkgpath.clear();
    int before = launcherRecords().size();
    pavix.launchFromCommandLine(false);
    QTest::qWait(500);
    QCOMPARE(launcherRecords().size(), before);

    // Forced (the first launch after the start): the download text goes out whole, the file stays empty.
    pavix.launchFromCommandLine(true);
    QVERIFY(waitForRecords(before + 1));
    QCOMPARE(launcherRecords().at(before), (QJsonObject{{"action", 6}, {"data", " http://host/a.apk\n"}}));
    QVERIFY(QFile::exists(path("cwd/player/DownloadAPK")));
    QCOMPARE(QFileInfo(path("cwd/player/DownloadAPK")).size(), 0);

    // A package name and a queued path list: launch first, then the install.
    const QByteArray apk = "package=com.example.queued\n";
    QVERIFY(writeFile(path("queued.apk"), apk));
    CommandLine::pkgname = QStringLiteral("com.example.racer");
    CommandLine::pkgpath = QStringLiteral(",") + path("queued.apk") + QStringLiteral(",");
    QSignalSpy changed(&pavix, &PavixConnection::pavix_package_changed);
    before = launcherRecords().size();
    pavix.launchFromCommandLine(false);
    QVERIFY(waitForRecords(before + 3));
    QDir::setCurrent(cwd);
    const QList<QJsonObject> got = launcherRecords().mid(before, 3);
    QVERIFY(got.contains(QJsonObject{{"action", 7}, {"data", "com.example.racer"}}));
    QVERIFY(got.contains(QJsonObject{{"action", 10}, {"data", "install_apk_begin"}}));
    QVERIFY(got.contains(QJsonObject{{"action", 5}, {"data", QStringLiteral("apk_%1.apk").arg(md5Of(apk))}}));
    // The launch of the installed package and the install each change the foreground package.
    QTRY_COMPARE_WITH_TIMEOUT(changed.size(), 2, 5000);
    QCOMPARE(launcherState().value("foreground").toString(), QStringLiteral("com.example.queued"));
    CommandLine::pkgname.clear();
    CommandLine::pkgpath.clear();
}

void TestLauncherChannel::droppedPicturesAreCopiedAndAnnounced()
{
    VInputConnection &vinput = VInputConnection::instance();
    QVERIFY(QDir().mkpath(path("src/dir.with.dot")));
    QVERIFY(writeFile(path("src/shot.png"), "png bytes"));
    QVERIFY(writeFile(path("src/photo.JPEG"), "jpeg bytes"));
    QVERIFY(writeFile(path("src/dir.with.dot/notes"), "notes"));
    const int records = launcherRecords().size();
    const int lines = guestLines().size();
    vinput.copyFileFromDrag({path("src/shot.png"), path("src/photo.JPEG"), path("src/gone.png")},
                            GuestFiles::Image);
    QTRY_VERIFY(QFile::exists(Global::imagePath + "/photo.JPEG"));
    // The last picture of a burst is always announced (earlier ones of the burst may be merged into it).
    QTRY_VERIFY_WITH_TIMEOUT(guestLines().mid(lines).contains(kBroadcast + "\"photo.JPEG\""), 5000);
    vinput.copyFileFromDrag({path("src/shot.png")}, GuestFiles::Image);
    QTRY_VERIFY(QFile::exists(Global::imagePath + "/shot_1.png"));
    vinput.copyFileFromDrag({path("src/dir.with.dot/notes"), path("src/dir.with.dot/notes")},
                            GuestFiles::Other);
    QTRY_VERIFY(QFile::exists(Global::otherPath + "/notes_1"));
    QCOMPARE(readFile(Global::imagePath + "/shot_1.png"), QByteArray("png bytes"));
    QCOMPARE(readFile(Global::otherPath + "/notes"), QByteArray("notes"));
    // Each picture is announced at most once, by the watcher; files in the other share are not.
    const QStringList expected{kBroadcast + "\"shot.png\"", kBroadcast + "\"photo.JPEG\"",
                               kBroadcast + "\"shot_1.png\""};
    QTRY_VERIFY_WITH_TIMEOUT(guestLines().mid(lines).contains(kBroadcast + "\"shot_1.png\""), 5000);
    QTest::qWait(300);
    QStringList announced = guestLines().mid(lines).filter("am broadcast");
    QVERIFY(announced.size() >= 2 && announced.size() <= 3);
    QCOMPARE(announced.removeDuplicates(), 0);
    for (const QString &line : announced)
        QVERIFY2(expected.contains(line), qPrintable(line));
    // Toasts in the guest for each file copied (before and after), none for the missing one.
    QVERIFY(waitForRecords(records + 10));
    QStringList toasts;
    for (const QJsonObject &r : launcherRecords().mid(records))
        toasts << r.value("data").toString();
    toasts.sort();
    // Five files copied (the texts carry no path while untranslated).
    QStringList wanted;
    for (int i = 0; i < 5; ++i)
        wanted << "coping_file"
               << "copy_file_succeed";
    wanted.sort();
    QCOMPARE(toasts, wanted);
}

void TestLauncherChannel::hostileNamesReachTheGuestEscapedOrNotAtAll()
{
    const QStringList names{"$(touch pwned).png", "a\"b`id`c.png",  "back\\slash.PNG",
                            "new\nline.png",      "car\rriage.png", "semi;colon 'x'.bmp"};
    QVERIFY(QDir().mkpath(path("hostile")));
    QStringList sources;
    for (const QString &name : names) {
        QVERIFY(writeFile(path("hostile/") + name, "x"));
        sources << path("hostile/") + name;
    }
    const int lines = guestLines().size();
    const QStringList expected{kBroadcast + "\"\\$(touch pwned).png\"",
                               kBroadcast + "\"a\\\"b\\`id\\`c.png\"", kBroadcast + "\"back\\\\slash.PNG\"",
                               kBroadcast + "\"semi;colon 'x'.bmp\""};
    // One at a time: a burst of pictures is announced once for all, with the latest name.
    for (const QString &source : sources) {
        const int before = guestLines().size();
        VInputConnection::instance().copyFileFromDrag({source}, GuestFiles::Image);
        const QString name = QFileInfo(source).fileName();
        QTRY_VERIFY(QFile::exists(Global::imagePath + '/' + name));
        if (name.contains('\n') || name.contains('\r'))
            QTest::qWait(300);
        else
            QTRY_COMPARE_WITH_TIMEOUT(guestLines().mid(before).filter("am broadcast").size(), 1, 5000);
    }
    QTest::qWait(500);
    const QStringList got = guestLines().mid(lines);
    QCOMPARE(got.filter("am broadcast").size(), expected.size());
    for (const QString &line : expected)
        QVERIFY2(got.contains(line), qPrintable(line));
    // The names with line ends never reach the guest's shell, not even in part.
    for (const QString &line : got)
        QVERIFY2(!line.contains("line.png") && !line.contains("riage.png"), qPrintable(line));
}

void TestLauncherChannel::copyIntoAFullTarget()
{
    // Writes beyond 1000 bytes fail for this process, as on a full disk.
    QVERIFY(writeFile(path("large.png"), QByteArray(20000, 'L')));
    const int records = launcherRecords().size();
    const int lines = guestLines().size();
    rlimit saved{};
    QVERIFY(getrlimit(RLIMIT_FSIZE, &saved) == 0);
    const auto previous = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 1000;
    QVERIFY(setrlimit(RLIMIT_FSIZE, &small) == 0);
    VInputConnection::instance().copyFileFromDragThread({path("large.png")}, GuestFiles::Image,
                                                        Global::imagePath, Global::otherPath);
    QVERIFY(setrlimit(RLIMIT_FSIZE, &saved) == 0);
    std::signal(SIGXFSZ, previous);
    QVERIFY(waitForRecords(records + 2));
    QCOMPARE(launcherRecords().mid(records),
             (QList<QJsonObject>{{{"action", 10}, {"data", "coping_file"}},
                                 {{"action", 10}, {"data", "copy_file_fail"}}}));
    // Nothing is left in the share, so nothing is announced.
    QVERIFY(!QFile::exists(Global::imagePath + "/large.png"));
    QVERIFY(QDir(Global::imagePath).entryList(QStringList{".*part*"}, QDir::Files | QDir::Hidden).isEmpty());
    QTest::qWait(500);
    QCOMPARE(guestLines().mid(lines).filter("large.png").size(), 0);
}

void TestLauncherChannel::guestScreenshotIsAnnounced()
{
    const int lines = guestLines().size();
    QVERIFY(writeFile(path("guest/screencap"), QByteArray()));
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(Global::imagePath + "/Screenshot_requested.png"), 5000);
    QTRY_VERIFY_WITH_TIMEOUT(guestLines().mid(lines).contains(kBroadcast + "\"Screenshot_requested.png\""),
                             5000);
}

void TestLauncherChannel::unwatchableFolderIsRetried()
{
    // A file stands where the picture folder should be: it cannot be made or watched.
    const QString folder = path("unwatchable");
    QVERIFY(writeFile(folder, "not a folder"));
    ShareFolderWatcher watcher(folder, path("unwatchable-other"));
    QSignalSpy failed(&watcher, &ShareFolderWatcher::watchFailed);
    QSignalSpy announced(&watcher, &ShareFolderWatcher::copySuccessful);
    watcher.start();
    QTRY_VERIFY_WITH_TIMEOUT(failed.size() >= 2, 5000);
    // Tried again after a pause, not in a busy loop.
    QTest::qWait(1000);
    QVERIFY2(failed.size() <= 5, qPrintable(QString::number(failed.size())));
    QVERIFY(QFile::remove(folder));
    QVERIFY(QDir().mkpath(folder));
    const int failures = failed.size();
    QTest::qWait(ShareFolderWatcher::kRetryMs + 500);
    QVERIFY(failed.size() <= failures + 1);
    QVERIFY(writeFile(folder + "/new.jpg", "j"));
    QVERIFY(writeFile(folder + "/new.txt", "t"));
    QTRY_COMPARE_WITH_TIMEOUT(announced.size(), 1, 5000);
    QCOMPARE(announced.at(0).at(0).toString(), QStringLiteral("new.jpg"));
    // Deleting announces nothing; stopping is prompt.
    QVERIFY(QFile::remove(folder + "/new.jpg"));
    QTest::qWait(300);
    QCOMPARE(announced.size(), 1);
    QElapsedTimer timer;
    timer.start();
    watcher.stop();
    QVERIFY(timer.elapsed() < 1000);
}

QTEST_MAIN(TestLauncherChannel)
#include "tst_launcherchannel.moc"
