#include "calllogs.h"
#include "commandline.h"
#include "global.h"
#include "installtree.h"
#include "programrun.h"

#include <QCryptographicHash>
#include <QDirIterator>
#include <QtTest>

class TestCommandLine : public QObject
{
    Q_OBJECT

private slots:
    void parsesValues_data();
    void parsesValues();
    void refusesBadCommandLines_data();
    void refusesBadCommandLines();
    void refusesMachineNamesThatAreNotPlainWords_data();
    void refusesMachineNamesThatAreNotPlainWords();
    void queuesEachPackageWholeAndOnce_data();
    void queuesEachPackageWholeAndOnce();
    void resolvesRelativePackagesAgainstTheStartFolder_data();
    void resolvesRelativePackagesAgainstTheStartFolder();
};

namespace {

// Every file and folder under `root` with its size and content digest, for before/after comparison.
QStringList snapshot(const QString &root)
{
    QStringList entries;
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QFileInfo info(path);
        QString line = path.mid(root.size()) + QLatin1Char(' ') + QString::number(info.size());
        QFile file(path);
        if (info.isFile() && file.open(QIODevice::ReadOnly))
            line +=
                QLatin1Char(' ') + QCryptographicHash::hash(file.readAll(), QCryptographicHash::Md5).toHex();
        entries << line;
    }
    entries.sort();
    return entries;
}

} // namespace

void TestCommandLine::parsesValues_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("vm");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("pkgname");
    QTest::addColumn<QString>("pkgpath");
    QTest::addColumn<QString>("stream");
    // tcp, debug, stop, vt_f, reboot
    QTest::addColumn<QList<bool>>("flags");

    const QList<bool> none{false, false, false, false, false};
    QTest::newRow("no arguments") << QStringList{} << "Orvanta_0"
                                  << ""
                                  << ""
                                  << ""
                                  << "" << none;
    QTest::newRow("value after =") << QStringList{"-vm=Orvanta_3"} << "Orvanta_3"
                                   << ""
                                   << ""
                                   << ""
                                   << "" << none;
    QTest::newRow("value as next argument") << QStringList{"-vm", "Orvanta_3"} << "Orvanta_3"
                                            << ""
                                            << ""
                                            << ""
                                            << "" << none;
    QTest::newRow("two dashes") << QStringList{"--vm=Orvanta_3"} << "Orvanta_3"
                                << ""
                                << ""
                                << ""
                                << "" << none;
    QTest::newRow("manager start") << QStringList{"-vm=Orvanta_1", "-title=My game box"} << "Orvanta_1"
                                   << "My game box"
                                   << ""
                                   << ""
                                   << "" << none;
    QTest::newRow("packages") << QStringList{"-pkgname=com.example.game", "-pkgpath", "/tmp/a b.apk"}
                              << "Orvanta_0"
                              << ""
                              << "com.example.game"
                              << "/tmp/a b.apk"
                              << "" << none;
    QTest::newRow("all flags") << QStringList{"-tcp", "-debug", "-stop", "-vt_f", "-reboot", "-stream=pipe"}
                               << "Orvanta_0"
                               << ""
                               << ""
                               << ""
                               << "pipe" << QList<bool>{true, true, true, true, true};
    QTest::newRow("reboot twice is one flag")
        << QStringList{"-vm=Orvanta_2", "-reboot", "-reboot"} << "Orvanta_2"
        << ""
        << ""
        << ""
        << "" << QList<bool>{false, false, false, false, true};
}

void TestCommandLine::parsesValues()
{
    QFETCH(QStringList, args);
    parseCommandLine(QStringList{"Orvanta"} + args);
    QTEST(CommandLine::vm, "vm");
    QCOMPARE(Global::vmName, CommandLine::vm);
    QTEST(CommandLine::title, "title");
    QTEST(CommandLine::pkgname, "pkgname");
    QTEST(CommandLine::pkgpath, "pkgpath");
    QTEST(CommandLine::stream, "stream");
    const QList<bool> flags{CommandLine::tcp, CommandLine::debug, CommandLine::stop, CommandLine::vt_f,
                            CommandLine::reboot};
    QTEST(flags, "flags");
}

void TestCommandLine::refusesBadCommandLines_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("error");
    QTest::newRow("unknown option") << QStringList{"-vm=Orvanta_5", "-fullscreen"}
                                    << "Unknown option 'fullscreen'";
    QTest::newRow("value option without value") << QStringList{"-vm"} << "Missing value after '-vm'";
    QTest::newRow("help is unknown") << QStringList{"-help"} << "Unknown option 'help'";
    QTest::newRow("version is unknown") << QStringList{"--version"} << "Unknown option 'version'";
    QTest::newRow("letter group is not split") << QStringList{"-td"} << "Unknown option 'td'";
}

void TestCommandLine::refusesBadCommandLines()
{
    QFETCH(QStringList, args);
    QFETCH(QString, error);
    InstallTree tree;
    QVERIFY(tree.addProgram("Orvanta"));
    ProgramRun run(tree, "Orvanta", args);
    QCOMPARE(run.run(), 1);
    QVERIFY2(run.output().contains(error), qPrintable(run.output()));
    // Refused before the single-instance test: nothing started, no channel left behind.
    QVERIFY(!run.output().contains("start====="));
    QVERIFY(QDir(tree.tempDir()).entryList({"Orvanta_*"}, QDir::System).isEmpty());
}

void TestCommandLine::refusesMachineNamesThatAreNotPlainWords_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("empty") << "";
    QTest::newRow("dot") << ".";
    QTest::newRow("dot dot") << "..";
    QTest::newRow("climbing") << "../x";
    QTest::newRow("slash") << "a/b";
    QTest::newRow("absolute path") << "@outside/keep.txt";
    QTest::newRow("300 characters") << QString(300, QLatin1Char('n'));
    QTest::newRow("colon") << "a:b";
    QTest::newRow("trailing blank") << "Orvanta_1 ";
    QTest::newRow("newline") << "Orvanta_1\nx";
    // Names the VirtualBox tool would keep in another name's folder ("Orvanta_1." and "Orvanta_1_" both
    // in Orvanta_1_), read as an option, or look up as a machine's UUID.
    QTest::newRow("trailing dot") << "Orvanta_1.";
    QTest::newRow("leading dash") << "-Orvanta_1";
    QTest::newRow("option") << "--delete";
    QTest::newRow("UUID") << "0b1c0000-0000-4000-8000-000000000001";
}

void TestCommandLine::refusesMachineNamesThatAreNotPlainWords()
{
    QFETCH(QString, name);
    InstallTree tree;
    QVERIFY(tree.addProgram("Orvanta"));
    QVERIFY(tree.addVirtualBox());
    QVERIFY(tree.addGuestImage());
    QVERIFY(tree.addRecorder("OrvMultiPlayer"));
    // A machine with its disks, and a folder beside the installation that a name could climb into.
    const QString outside = tree.root() + "/outside";
    for (const QString &file : {tree.installDir() + "/vbox/Orvanta_1/android_data_disk.vmdk",
                                tree.installDir() + "/vbox/Orvanta_2/android_data_disk.vmdk",
                                tree.installDir() + "/x/keep.txt", outside + "/keep.txt"}) {
        QVERIFY(QDir().mkpath(QFileInfo(file).path()));
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("user data\n");
    }
    name.replace("@outside", outside);
    const QStringList installBefore = snapshot(tree.installDir());
    const QStringList outsideBefore = snapshot(outside);

    for (const QStringList &extra : {QStringList{}, QStringList{"-stop"}, QStringList{"-reboot"}}) {
        ProgramRun run(tree, "Orvanta", QStringList{"-vm=" + name} + extra);
        QCOMPARE(run.run(), 1);
        QVERIFY2(run.output().contains("Orvanta: the machine name"), qPrintable(run.output()));
        QVERIFY(!run.output().contains("start====="));
    }
    QCOMPARE(snapshot(tree.installDir()), installBefore);
    QCOMPARE(snapshot(outside), outsideBefore);
    QVERIFY(!QFileInfo::exists(tree.runtimeDir()));
    QVERIFY(tree.calls("OrvMultiPlayer").isEmpty());
    // The tool was never asked anything: no machine was registered under the name.
    QCOMPARE(readToolCalls(tree.root() + "/vbox-state"), QList<QStringList>());
}

// The queue of packages named by later starts during the start-up, as the launch after it splits it.
void TestCommandLine::queuesEachPackageWholeAndOnce_data()
{
    QTest::addColumn<QString>("queue");
    QTest::addColumn<QStringList>("added");
    QTest::addColumn<QStringList>("installed");
    QTest::newRow("first start's own path, then another")
        << QStringLiteral("/a.apk") << QStringList{"/b.apk"} << QStringList{"/a.apk", "/b.apk"};
    QTest::newRow("the same path twice, relative form")
        << QStringLiteral("a.apk") << QStringList{"a.apk"} << QStringList{"a.apk"};
    QTest::newRow("empty queue, two paths, one again")
        << QString() << QStringList{"/x/a.apk", "/x/b.apk", "/x/a.apk"}
        << QStringList{"/x/a.apk", "/x/b.apk"};
    QTest::newRow("a path that ends another one")
        << QStringLiteral(",/x/ab.apk,") << QStringList{"b.apk"} << QStringList{"/x/ab.apk", "b.apk"};
    QTest::newRow("a start without a path")
        << QStringLiteral("/a.apk") << QStringList{QString()} << QStringList{"/a.apk"};
}

void TestCommandLine::queuesEachPackageWholeAndOnce()
{
    QFETCH(QString, queue);
    QFETCH(QStringList, added);
    QFETCH(QStringList, installed);
    for (const QString &path : added)
        queue = CommandLine::queuePackagePath(queue, path);
    QVERIFY2(queue.startsWith(QLatin1Char(',')) && queue.endsWith(QLatin1Char(',')), qPrintable(queue));
    QStringList paths = queue.split(QLatin1Char(','));
    paths.removeAll(QString());
    QCOMPARE(paths, installed);
}

void TestCommandLine::resolvesRelativePackagesAgainstTheStartFolder_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("resolved");
    QTest::newRow("relative") << QStringLiteral("games/a.apk") << QStringLiteral("/home/u/dl/games/a.apk");
    QTest::newRow("dot dot") << QStringLiteral("../b.apk") << QStringLiteral("/home/u/b.apk");
    QTest::newRow("absolute kept") << QStringLiteral("/tmp/c d.apk") << QStringLiteral("/tmp/c d.apk");
    QTest::newRow("list") << QStringLiteral(",a.apk,/b.apk,") << QStringLiteral("/home/u/dl/a.apk,/b.apk");
    QTest::newRow("empty") << QString() << QString();
}

void TestCommandLine::resolvesRelativePackagesAgainstTheStartFolder()
{
    QFETCH(QString, value);
    QFETCH(QString, resolved);
    QCOMPARE(CommandLine::absolutePackagePaths(value, QStringLiteral("/home/u/dl")), resolved);
}

QTEST_GUILESS_MAIN(TestCommandLine)
#include "tst_commandline.moc"
