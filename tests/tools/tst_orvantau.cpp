// OrvantaU run as the real program in a temporary install tree: the updater's copy and how it is
// started, every reason not to start it, and the notice while an emulator runs (on a /proc fixture, so
// that emulators of other tests running at the same time do not count). Then the notice window itself.

#include "installtree.h"
#include "orvantauninstall.h"
#include "picturesonscreen.h"
#include "programrun.h"
#include "testartefacts.h"
#include "x11windows.h"

#include <QLabel>
#include <QPushButton>
#include <QtTest>

#include <atomic>
#include <cstdio>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    return file.write(bytes) == bytes.size();
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// One process of a /proc fixture, with its threads: `name` is its command name, `exe` the program file
// its exe link leads to (a path, as the kernel writes it; it need not exist).
void addFixtureProcess(const QString &root, int pid, const QString &name, const QList<int> &threads,
                       const QString &exe)
{
    const QString dir = root + QLatin1Char('/') + QString::number(pid);
    writeFile(dir + "/comm", name.toUtf8() + '\n');
    QFile::link(exe, dir + "/exe");
    writeFile(dir + "/stat", QStringLiteral("%1 (%2) S 1 %1 %1 0 -1 4194560\n").arg(pid).arg(name).toUtf8());
    for (int tid : threads)
        QDir().mkpath(dir + "/task/" + QString::number(tid));
}

} // namespace

class TestOrvantaU : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void updaterCopyUninstallsTheInstallation_data();
    void updaterCopyUninstallsTheInstallation();
    void nothingStartsWithoutAFreshCopy_data();
    void nothingStartsWithoutAFreshCopy();
    void temporaryFolderOthersCanChange_data();
    void temporaryFolderOthersCanChange();
    void swappedCopyFolderNeverRunsAnotherProgram();
    void runningEmulatorBlocksTheUninstall_data();
    void runningEmulatorBlocksTheUninstall();
    void noticeWindow();

private:
    QString copyFolder() const
    {
        return m_tree->tempDir() + QStringLiteral("/OrvantaU-") + QString::number(::getuid());
    }
    QString fixtureRoot() const { return m_tree->root() + QStringLiteral("/proc"); }
    std::unique_ptr<InstallTree> m_tree;
};

void TestOrvantaU::init()
{
    m_tree = std::make_unique<InstallTree>();
    QVERIFY(m_tree->isValid());
    QVERIFY(m_tree->addProgram(QStringLiteral("OrvantaU")));
    QVERIFY(m_tree->addProgram(QStringLiteral("OrvantaUpdater")));
    // No emulator runs unless a test puts one into the fixture.
    QVERIFY(QDir().mkpath(fixtureRoot()));
    addFixtureProcess(fixtureRoot(), 300, QStringLiteral("bash"), {300}, QStringLiteral("/usr/bin/bash"));
    m_tree->setEnv(QStringLiteral("ORV_PROC_ROOT"), fixtureRoot());
}

void TestOrvantaU::cleanup()
{
    // Folders made read-only by a test must be removable again.
    QFile::setPermissions(copyFolder(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    m_tree.reset();
}

void TestOrvantaU::updaterCopyUninstallsTheInstallation_data()
{
    QTest::addColumn<QString>("layout"); // the program folder below the tree's root, or empty
    QTest::addColumn<QString>("installRoot");
    QTest::addColumn<bool>("staleCopy");
    QTest::newRow("install tree") << QString() << QString() << false;
    QTest::newRow("blanks in the path") << "My Apps/Halvora/1.0/player"
                                        << "My Apps/Halvora" << false;
    QTest::newRow("stale copy replaced") << QString() << QString() << true;
}

void TestOrvantaU::updaterCopyUninstallsTheInstallation()
{
    QFETCH(QString, layout);
    QFETCH(QString, installRoot);
    QFETCH(bool, staleCopy);

    QString program = QStringLiteral("OrvantaU");
    QString source = m_tree->playerDir() + QStringLiteral("/OrvantaUpdater");
    QString expectedRoot = m_tree->installDir();
    if (!layout.isEmpty()) {
        const QString dir = m_tree->root() + QLatin1Char('/') + layout;
        program = dir + QStringLiteral("/OrvantaU");
        source = dir + QStringLiteral("/OrvantaUpdater");
        QVERIFY(InstallTree::copyFile(InstallTree::stagedPlayerDir() + "/OrvantaU", program));
        QVERIFY(InstallTree::copyFile(InstallTree::stagedPlayerDir() + "/OrvantaUpdater", source));
        expectedRoot = m_tree->root() + QLatin1Char('/') + installRoot;
    }
    const QString copy = copyFolder() + QStringLiteral("/OrvantaUpdater");
    if (staleCopy) {
        QVERIFY(QDir().mkpath(copyFolder()));
        QVERIFY(QFile::setPermissions(copyFolder(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        QVERIFY(writeFile(copy, "#!/bin/sh\necho stale\n"));
    }

    ProgramRun guard(*m_tree, program);
    QCOMPARE(guard.run(), 0);
    QTRY_COMPARE(m_tree->calls(QStringLiteral("OrvantaUpdater")),
                 (QList<QStringList>{{QStringLiteral("uninstall"), expectedRoot}}));
    // The copy that ran is the installation's updater, in a folder only this user can enter.
    QCOMPARE(readFile(copy), readFile(source));
    struct stat info = {};
    QCOMPARE(::lstat(QFile::encodeName(copyFolder()).constData(), &info), 0);
    QVERIFY(S_ISDIR(info.st_mode));
    QCOMPARE(info.st_mode & 0777, mode_t(0700));
    QVERIFY2(guard.output().contains("no elevation"), qPrintable(guard.output()));
}

void TestOrvantaU::nothingStartsWithoutAFreshCopy_data()
{
    QTest::addColumn<QString>("setup");
    QTest::addColumn<QString>("logged");
    QTest::newRow("missing source") << "no-source"
                                    << "no updater at";
    QTest::newRow("old copy cannot be removed") << "old-copy-folder"
                                                << "cannot remove the earlier copy";
    QTest::newRow("old copy in a read-only folder") << "read-only-folder"
                                                    << "cannot remove the earlier copy";
    QTest::newRow("folder open to others") << "open-folder"
                                           << "open to other users";
    QTest::newRow("folder is a link") << "linked-folder"
                                      << "not a folder";
    QTest::newRow("folder of another user") << "foreign-folder"
                                            << "belongs to another user";
    QTest::newRow("temporary folder unwritable") << "no-temp"
                                                 << "cannot make the copy folder";
}

void TestOrvantaU::nothingStartsWithoutAFreshCopy()
{
    QFETCH(QString, setup);
    QFETCH(QString, logged);
    const bool root = ::geteuid() == 0;
    const QString copy = copyFolder() + QStringLiteral("/OrvantaUpdater");
    const auto privateFolder = [&] {
        QVERIFY(QDir().mkpath(copyFolder()));
        QVERIFY(QFile::setPermissions(copyFolder(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    };
    QByteArray before;
    if (setup == "no-source") {
        QVERIFY(QFile::remove(m_tree->playerDir() + QStringLiteral("/OrvantaUpdater")));
    } else if (setup == "old-copy-folder") {
        // Something that is not a file holds the name and cannot be unlinked.
        privateFolder();
        QVERIFY(writeFile(copy + QStringLiteral("/keep"), "old"));
    } else if (setup == "read-only-folder") {
        if (root)
            QSKIP("the superuser removes files from read-only folders");
        privateFolder();
        QVERIFY(writeFile(copy, "#!/bin/sh\necho old\n"));
        QVERIFY(QFile::setPermissions(copyFolder(), QFile::ReadOwner | QFile::ExeOwner));
        before = readFile(copy);
    } else if (setup == "open-folder") {
        QVERIFY(QDir().mkpath(copyFolder()));
        QCOMPARE(::chmod(QFile::encodeName(copyFolder()).constData(), 0777), 0);
        QVERIFY(writeFile(copy, "#!/bin/sh\necho planted\n"));
        before = readFile(copy);
    } else if (setup == "linked-folder") {
        const QString elsewhere = m_tree->root() + QStringLiteral("/elsewhere");
        QVERIFY(QDir().mkpath(elsewhere));
        QVERIFY(writeFile(elsewhere + QStringLiteral("/OrvantaUpdater"), "#!/bin/sh\necho planted\n"));
        QVERIFY(QFile::link(elsewhere, copyFolder()));
        before = readFile(copy);
    } else if (setup == "foreign-folder") {
        if (!root)
            QSKIP("only the superuser can give a folder to another user");
        privateFolder();
        QVERIFY(writeFile(copy, "#!/bin/sh\necho planted\n"));
        QCOMPARE(::chown(QFile::encodeName(copyFolder()).constData(), 65534, 65534), 0);
        before = readFile(copy);
    } else if (setup == "no-temp") {
        m_tree->setEnv(QStringLiteral("TMPDIR"), m_tree->root() + QStringLiteral("/missing/tmp"));
    }

    ProgramRun guard(*m_tree, QStringLiteral("OrvantaU"));
    QCOMPARE(guard.run(), 0);
    QVERIFY2(guard.output().contains(logged), qPrintable(guard.output()));
    QVERIFY2(guard.output().contains("the uninstall is not started"), qPrintable(guard.output()));
    QVERIFY(m_tree->calls(QStringLiteral("OrvantaUpdater")).isEmpty());
    // Whatever held the copy's name is as it was.
    if (!before.isEmpty())
        QCOMPARE(readFile(copy), before);
}

void TestOrvantaU::temporaryFolderOthersCanChange_data()
{
    // The temporary folder is <root>/<temp>; <root>/shared and <root>/elsewhere are made as `shared` and
    // `elsewhere` say: mode in octal, "+" for the owner 65534 (another user), "-" when not made.
    QTest::addColumn<QString>("temp");
    QTest::addColumn<QString>("tempMode");
    QTest::addColumn<QString>("shared");
    QTest::addColumn<QString>("logged"); // empty: the uninstall starts
    const QString other = QStringLiteral("belongs to another user (uid 65534)");
    const QString open = QStringLiteral("writable by other users without the sticky bit");
    QTest::newRow("temp folder of another user") << "tmp"
                                                 << "+755"
                                                 << "-" << other;
    QTest::newRow("temp folder of another user, sticky and open") << "tmp"
                                                                  << "+1777"
                                                                  << "-" << other;
    QTest::newRow("temp folder writable by others, no sticky bit") << "tmp"
                                                                   << "777"
                                                                   << "-" << open;
    QTest::newRow("temp folder writable by its group, no sticky bit") << "tmp"
                                                                      << "770"
                                                                      << "-" << open;
    QTest::newRow("temp folder writable by others with the sticky bit") << "tmp"
                                                                        << "1777"
                                                                        << "-" << QString();
    QTest::newRow("folder above of another user") << "shared/tmp"
                                                  << "700"
                                                  << "+755" << other;
    QTest::newRow("folder above writable by others, no sticky bit") << "shared/tmp"
                                                                    << "700"
                                                                    << "777" << open;
    QTest::newRow("folder above writable by others with the sticky bit") << "shared/tmp"
                                                                         << "700"
                                                                         << "1777" << QString();
    QTest::newRow("link to a temp folder of another user") << "link"
                                                           << "+700"
                                                           << "-" << other;
}

void TestOrvantaU::temporaryFolderOthersCanChange()
{
    QFETCH(QString, temp);
    QFETCH(QString, tempMode);
    QFETCH(QString, shared);
    QFETCH(QString, logged);
    if (::geteuid() != 0)
        QSKIP("only the superuser can give a folder to another user");
    const auto make = [](const QString &path, QString mode) {
        QVERIFY(QDir().mkpath(path));
        const bool foreign = mode.startsWith(QLatin1Char('+'));
        if (foreign)
            mode.remove(0, 1);
        QCOMPARE(::chmod(QFile::encodeName(path).constData(), mode_t(mode.toUInt(nullptr, 8))), 0);
        if (foreign)
            QCOMPARE(::chown(QFile::encodeName(path).constData(), 65534, 65534), 0);
    };
    QString tempDir = m_tree->root() + QLatin1Char('/') + temp;
    if (shared != "-")
        make(m_tree->root() + QStringLiteral("/shared"), shared);
    if (temp == "link") {
        const QString target = m_tree->root() + QStringLiteral("/elsewhere");
        make(target, tempMode);
        QVERIFY(QFile::link(target, tempDir));
    } else {
        make(tempDir, tempMode);
    }
    m_tree->setEnv(QStringLiteral("TMPDIR"), tempDir);
    const QString folder = tempDir + QStringLiteral("/OrvantaU-") + QString::number(::getuid());

    ProgramRun guard(*m_tree, QStringLiteral("OrvantaU"));
    QCOMPARE(guard.run(), 0);
    if (logged.isEmpty()) {
        QTRY_COMPARE(m_tree->calls(QStringLiteral("OrvantaUpdater")),
                     (QList<QStringList>{{QStringLiteral("uninstall"), m_tree->installDir()}}));
        QCOMPARE(readFile(folder + QStringLiteral("/OrvantaUpdater")),
                 readFile(m_tree->playerDir() + QStringLiteral("/OrvantaUpdater")));
        return;
    }
    QVERIFY2(guard.output().contains(logged), qPrintable(guard.output()));
    QVERIFY2(guard.output().contains("the uninstall is not started"), qPrintable(guard.output()));
    QVERIFY(m_tree->calls(QStringLiteral("OrvantaUpdater")).isEmpty());
    // Nothing was made or written there.
    QVERIFY(!QFileInfo::exists(folder));
}

void TestOrvantaU::swappedCopyFolderNeverRunsAnotherProgram()
{
    if (::geteuid() != 0)
        QSKIP("only the superuser can give a folder to another user");
    // The temporary folder belongs to another user, who watches the copy folder and, as soon as the
    // updater's copy appears in it, swaps it (rename exchange) with a folder of their own that holds
    // another program under the updater's name. Run after run, that program must never start.
    const QString tempDir = m_tree->root() + QStringLiteral("/tmp");
    QVERIFY(QDir().mkpath(tempDir));
    QCOMPARE(::chmod(QFile::encodeName(tempDir).constData(), 0755), 0);
    const QString folder = copyFolder();
    const QString decoy = tempDir + QStringLiteral("/decoy");
    for (const QString &dir : {folder, decoy}) {
        QVERIFY(QDir().mkpath(dir));
        QCOMPARE(::chmod(QFile::encodeName(dir).constData(), 0700), 0);
    }
    const QString marker = m_tree->root() + QStringLiteral("/planted-ran");
    QVERIFY(writeFile(decoy + QStringLiteral("/OrvantaUpdater"),
                      "#!/bin/sh\necho ran >> '" + QFile::encodeName(marker) + "'\n"));
    QVERIFY(QFile::setPermissions(decoy + QStringLiteral("/OrvantaUpdater"),
                                  QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    QCOMPARE(::chown(QFile::encodeName(tempDir).constData(), 65534, 65534), 0);

    const QByteArray a = QFile::encodeName(folder), b = QFile::encodeName(decoy);
    const QByteArray copy = QFile::encodeName(folder + QStringLiteral("/OrvantaUpdater"));
    int refused = 0;
    int swaps = 0;
    for (int run = 0; run < 10; ++run) {
        std::atomic<bool> stop{false};
        std::atomic<bool> swapped{false};
        std::thread swapper([&] {
            struct stat info = {};
            while (!stop && !swapped) {
                if (::stat(copy.constData(), &info) == 0 &&
                    ::renameat2(AT_FDCWD, a.constData(), AT_FDCWD, b.constData(), RENAME_EXCHANGE) == 0)
                    swapped = true;
            }
        });
        ProgramRun guard(*m_tree, QStringLiteral("OrvantaU"));
        if (guard.run() == 0 && guard.output().contains("belongs to another user (uid 65534)"))
            ++refused;
        stop = true;
        swapper.join();
        // Undo the swap and take the copy away, so that the next run starts as this one did.
        if (swapped) {
            ++swaps;
            QCOMPARE(::renameat2(AT_FDCWD, a.constData(), AT_FDCWD, b.constData(), RENAME_EXCHANGE), 0);
        }
        ::unlink(copy.constData());
    }
    // Let a program that was started finish writing before the marker is read.
    QTest::qWait(500);
    QVERIFY2(!QFileInfo::exists(marker),
             qPrintable(QStringLiteral("the planted program ran %1 times in 10 runs (%2 swaps)")
                            .arg(readFile(marker).count('\n'))
                            .arg(swaps)));
    QCOMPARE(refused, 10);
    QVERIFY(m_tree->calls(QStringLiteral("OrvantaUpdater")).isEmpty());
}

void TestOrvantaU::runningEmulatorBlocksTheUninstall_data()
{
    QTest::addColumn<QString>("name"); // the command name
    QTest::addColumn<QString>("exe");  // the program file
    QTest::addColumn<bool>("blocks");
    QTest::newRow("emulator running") << "Orvanta"
                                      << "/opt/orvanta/1.0/player/Orvanta" << true;
    QTest::newRow("emulator whose program file was replaced")
        << "Orvanta"
        << "/opt/orvanta/1.0/player/Orvanta (deleted)" << true;
    QTest::newRow("emulator that renamed its thread") << "Render"
                                                      << "/opt/orvanta/1.0/player/Orvanta" << true;
    QTest::newRow("other case is another program") << "orvanta"
                                                   << "/opt/x/orvanta" << false;
    QTest::newRow("longer name is another program") << "Orvanta2"
                                                    << "/opt/x/Orvanta2" << false;
    QTest::newRow("python3 that calls itself Orvanta") << "Orvanta"
                                                       << "/usr/bin/python3.11" << false;
    QTest::newRow("script named Orvanta") << "Orvanta"
                                          << "/usr/bin/dash" << false;
}

void TestOrvantaU::runningEmulatorBlocksTheUninstall()
{
    QFETCH(QString, name);
    QFETCH(QString, exe);
    QFETCH(bool, blocks);
    addFixtureProcess(fixtureRoot(), 4242, name, {4242, 4243, 4250}, exe);

    ProgramRun guard(*m_tree, QStringLiteral("OrvantaU"));
    if (!blocks) {
        QCOMPARE(guard.run(), 0);
        QTRY_COMPARE(m_tree->calls(QStringLiteral("OrvantaUpdater")).size(), 1);
        return;
    }
    QVERIFY(guard.start());
    QVERIFY(guard.waitForOutput(QStringLiteral("an emulator is running")));
    // The notice is up and waits for the user; nothing was copied or started.
    QVERIFY(!guard.waitForFinished(300));
    QVERIFY(guard.isRunning());
    QVERIFY(m_tree->calls(QStringLiteral("OrvantaUpdater")).isEmpty());
    QVERIFY(!QFileInfo::exists(copyFolder()));
    // The program shows its own English texts, not the keys of its form.
    if (!qEnvironmentVariableIsEmpty("DISPLAY")) {
        unsigned long window = 0;
        QTRY_VERIFY_WITH_TIMEOUT((window = X11Windows::findWindowOf(QStringLiteral("OrvantaU"))) != 0, 10000);
        QCOMPARE(X11Windows::title(window), QStringLiteral("Uninstall Orvanta"));
        X11Windows::grab(window).save(TestArtefacts::path(QStringLiteral("orvantau-notice-program.png")));
    }
    guard.terminate();
}

void TestOrvantaU::noticeWindow()
{
    OrvantaUnInstall notice;
    QCOMPARE(notice.minimumSize(), QSize(400, 230));
    QCOMPARE(notice.maximumSize(), QSize(400, 230));
    QVERIFY(notice.windowFlags() & Qt::FramelessWindowHint);
    QCOMPARE(notice.windowTitle(), QStringLiteral("OrvantaUnInstall"));
    auto *text = notice.findChild<QLabel *>(QStringLiteral("label_2"));
    QVERIFY(text);
    QCOMPARE(text->text(), QStringLiteral("检测到模拟器正在运行，请先关闭"));
    QCOMPARE(text->geometry(), QRect(10, 70, 381, 31));
    QCOMPARE(text->alignment(), Qt::AlignCenter);
    // The pictures the style sheets name are there.
    for (const char *picture : {"logo.png", "btn_close.png", "btn_install_small.png"})
        QVERIFY2(!QPixmap(QStringLiteral(":/OrvantaUnInstall/Resources/") + picture).isNull(), picture);

    // What the user sees, kept beside the test: the dark window, the logo, the notice and the button.
    notice.show();
    QVERIFY(QTest::qWaitForWindowExposed(&notice));
    const QImage shot = notice.grab().toImage();
    QVERIFY(shot.save(TestArtefacts::path(QStringLiteral("orvantau-notice.png"))));
    QCOMPARE(shot.size(), QSize(400, 230));
    QCOMPARE(QColor(shot.pixel(200, 40)), QColor(46, 46, 46));        // window background
    QCOMPARE(QColor(shot.pixel(133, 148)), QColor(0x01, 0x90, 0xff)); // OK button picture
    // The logo, drawn at its size in its corner.
    const QImage logo(QStringLiteral(":/OrvantaUnInstall/Resources/logo.png"));
    QVERIFY(PicturesOnScreen::coversPoint(shot, QPoint(16, 9), logo));
    bool textDrawn = false; // white notice text on the dark line
    for (int x = 10; x < 391 && !textDrawn; ++x)
        for (int y = 70; y < 101 && !textDrawn; ++y)
            textDrawn = qRed(shot.pixel(x, y)) > 200 && qGreen(shot.pixel(x, y)) > 200;
    QVERIFY(textDrawn);
    notice.hide();

    for (const char *button : {"pushButton_ok", "pushButton_close"}) {
        notice.show();
        QVERIFY(QTest::qWaitForWindowExposed(&notice));
        auto *target = notice.findChild<QPushButton *>(QLatin1String(button));
        QVERIFY2(target, button);
        QTest::mouseClick(target, Qt::LeftButton);
        QTRY_VERIFY2(!notice.isVisible(), button);
    }
    auto *ok = notice.findChild<QPushButton *>(QStringLiteral("pushButton_ok"));
    QCOMPARE(ok->geometry(), QRect(130, 145, 120, 45));
    QCOMPARE(ok->text(), QStringLiteral("确定"));
}

QTEST_MAIN(TestOrvantaU)
#include "tst_orvantau.moc"
