#include "commandline.h"
#include "global.h"
#include "installtree.h"
#include "paths.h"

#include <QDir>
#include <QFile>
#include <QtTest>

using KeyValues = QMap<QString, QString>;

namespace {

QStringList g_messages;

void collect(QtMsgType type, const QMessageLogContext &, const QString &text)
{
    if (type == QtDebugMsg)
        g_messages << text;
}

} // namespace

class TestGlobal : public QObject
{
    Q_OBJECT

private slots:
    void cleanup();
    void startTime();
    void installInfo_data();
    void installInfo();
    void machineIdentifier_data();
    void machineIdentifier();
    void hostFacts();
    void ports_data();
    void ports();
    void keyMapSwitch_data();
    void keyMapSwitch();

private:
    QString m_savedCurrent = QDir::currentPath();
};

void TestGlobal::cleanup()
{
    QDir::setCurrent(m_savedCurrent);
    CommandLine::tcp = false;
    qunsetenv("ORV_MACHINE_ID_FILE");
}

void TestGlobal::startTime()
{
    QVERIFY(!Global::startClock.isValid());
    const QString before = QDate::currentDate().toString("yyyy-MM-dd");
    Global::initStartTime();
    const QString after = QDate::currentDate().toString("yyyy-MM-dd");
    QVERIFY(Global::startDate == before || Global::startDate == after);
    QVERIFY(Global::startClock.isValid());
}

void TestGlobal::installInfo_data()
{
    // Key values to write ("<null>" removes the key), then the expected fields. "$install" and
    // "$version" stand for the tree's folders.
    QTest::addColumn<KeyValues>("key");
    QTest::addColumn<QString>("installDir");
    QTest::addColumn<QString>("productVersion");
    QTest::addColumn<QString>("ovaFolder");
    QTest::addColumn<QString>("channelId");
    QTest::addColumn<QString>("ovaVersion");
    QTest::addColumn<QString>("vboxPath");

    QTest::newRow("complete key") << QMap<QString, QString>{{"Channelid", "3001"},
                                                            {"ModuleInfo/ova", "2.1.0"}}
                                  << "$install"
                                  << "1.4.2"
                                  << "$install/1.4.2/ova"
                                  << "3001"
                                  << "2.1.0"
                                  << "$version/VirtualBox";
    QTest::newRow("no Installdir: parent of the current folder")
        << QMap<QString, QString>{{"Installdir", QString()}} << "$install"
        << "1.4.2"
        << "$install/1.4.2/ova"
        << "1208"
        << "1.0.0"
        << "$version/VirtualBox";
    QTest::newRow("no ProductVersion: ova beside the current folder")
        << QMap<QString, QString>{{"ProductVersion", QString()}} << "$install"
        << ""
        << "$version/ova"
        << "1208"
        << "1.0.0"
        << "$version/VirtualBox";
    QTest::newRow("defaults for channel and ova")
        << QMap<QString, QString>{{"Channelid", QString()}, {"ModuleInfo/ova", QString()}} << "$install"
        << "1.4.2"
        << "$install/1.4.2/ova"
        << "1208"
        << "1.0.0"
        << "$version/VirtualBox";
    QTest::newRow("blanks trimmed, trailing slash dropped")
        << QMap<QString, QString>{{"Installdir", "  $install/  "},
                                  {"ProductVersion", " 1.4.2 "},
                                  {"Channelid", " 77 "},
                                  {"VBoxPath", " /opt/vbox "}}
        << "$install"
        << "1.4.2"
        << "$install/1.4.2/ova"
        << "77"
        << "1.0.0"
        << "/opt/vbox";
    QTest::newRow("no installation key at all") << QMap<QString, QString>{{"<nokey>", ""}} << "$install"
                                                << ""
                                                << "$version/ova"
                                                << "1208"
                                                << "1.0.0"
                                                << "";
}

void TestGlobal::installInfo()
{
    QFETCH(KeyValues, key);
    QFETCH(QString, installDir);
    QFETCH(QString, productVersion);
    QFETCH(QString, ovaFolder);
    QFETCH(QString, channelId);
    QFETCH(QString, ovaVersion);
    QFETCH(QString, vboxPath);

    InstallTree tree;
    QVERIFY(tree.isValid());
    auto fill = [&tree](QString text) {
        return text.replace("$install", tree.installDir()).replace("$version", tree.versionDir());
    };
    if (key.contains("<nokey>")) {
        QVERIFY(QFile::remove(tree.installKeyPath()));
    } else {
        QMap<QString, QString> values;
        for (auto it = key.cbegin(); it != key.cend(); ++it)
            values.insert(it.key(), it.value().isNull() ? QString() : fill(it.value()));
        tree.writeInstallKey(values);
    }
    qputenv("XDG_CONFIG_DIRS", tree.systemConfigDir().toLocal8Bit());
    Platform::initSettingsPaths();
    QVERIFY(QDir::setCurrent(tree.versionDir()));

    Global::installInfo = InstallInfo();
    Global::loadInstallInfo();
    QCOMPARE(Global::installInfo.installDir, fill(installDir));
    QCOMPARE(Global::installInfo.productVersion, productVersion);
    QCOMPARE(Global::systemInfo.productVersion, productVersion);
    QCOMPARE(Global::ovaFolder, fill(ovaFolder));
    QCOMPARE(Global::installInfo.channelId, channelId);
    QCOMPARE(Global::installInfo.ovaVersion, ovaVersion);
    QCOMPARE(Global::installInfo.vboxPath, fill(vboxPath));
}

void TestGlobal::machineIdentifier_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("expected");
    QTest::newRow("machine id") << QByteArray("3D1219C7c4c5404aaa1f6d2a48adfda4\n")
                                << "3d1219c7-c4c5-404a-aa1f-6d2a48adfda4";
    QTest::newRow("other identifier kept as it is") << QByteArray(" host-42 \n") << "host-42";
    QTest::newRow("empty file") << QByteArray("\n") << "";
    QTest::newRow("missing file") << QByteArray() << "";
}

void TestGlobal::machineIdentifier()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, expected);
    QTemporaryDir dir;
    const QString path = dir.path() + "/machine-id";
    if (!content.isNull()) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(content);
    }
    qputenv("ORV_MACHINE_ID_FILE", path.toLocal8Bit());
    Global::initSystemInfo();
    QCOMPARE(Global::systemInfo.installUuid, expected);
    // Stable across calls.
    Global::initSystemInfo();
    QCOMPARE(Global::systemInfo.installUuid, expected);
}

void TestGlobal::hostFacts()
{
    QTemporaryDir dir;
    QVERIFY(QDir::setCurrent(dir.path()));
    Global::initSystemInfo();
    // The root of the file system that holds the current folder.
    const QString root = Global::systemInfo.driveRoot;
    QVERIFY(QFileInfo(root).isDir());
    QCOMPARE(QFileInfo(root).canonicalFilePath(), root);
    QVERIFY2(QDir::current().canonicalPath().startsWith(root), qPrintable(root));
    QCOMPARE(Global::systemInfo.is64Bit, QSysInfo::WordSize == 64);
    QVERIFY(!Global::systemInfo.windowsName.isEmpty());
    QVERIFY(!Global::systemInfo.windowsBuild.isEmpty());
    // No report code exists for this host system.
    QCOMPARE(Global::subPlatform, 0);
}

void TestGlobal::ports_data()
{
    QTest::addColumn<bool>("tcp");
    QTest::addColumn<QString>("offset"); // ORV_PORT_OFFSET; null: unset
    QTest::addColumn<QList<int>>("used");
    QTest::addColumn<QStringList>("expected"); // opengl, vinput, pavix, adb, yelt
    QTest::newRow("nothing used") << false << QString() << QList<int>{}
                                  << QStringList{"20000", "25000", "30000", "35000", "40000"};
    QTest::newRow("20000, 20001 and 25000 used") << false << QString() << QList<int>{20000, 20001, 25000}
                                                 << QStringList{"20002", "25001", "30000", "35000", "40000"};
    QTest::newRow("runs in every range")
        << false << QString() << QList<int>{30000, 30001, 30002, 35000, 40000, 40001, 22468}
        << QStringList{"20000", "25000", "30003", "35001", "40002"};
    QTest::newRow("tcp: guest ports even when taken")
        << true << QString() << QList<int>{22468, 22469, 27000, 5555, 12121, 20000}
        << QStringList{"22468", "22469", "27000", "5555", "12121"};
    // A test installation's searches start apart from those of other installations on the machine.
    QTest::newRow("offset 300") << false << QStringLiteral("300") << QList<int>{20300, 25000}
                                << QStringList{"20301", "25300", "30300", "35300", "40300"};
    QTest::newRow("offset reaching the next base is ignored")
        << false << QStringLiteral("5000") << QList<int>{}
        << QStringList{"20000", "25000", "30000", "35000", "40000"};
    QTest::newRow("negative offset is ignored") << false << QStringLiteral("-100") << QList<int>{}
                                                << QStringList{"20000", "25000", "30000", "35000", "40000"};
    QTest::newRow("offset that is no number is ignored")
        << false << QStringLiteral("abc") << QList<int>{}
        << QStringList{"20000", "25000", "30000", "35000", "40000"};
    QTest::newRow("tcp: the offset changes nothing")
        << true << QStringLiteral("300") << QList<int>{}
        << QStringList{"22468", "22469", "27000", "5555", "12121"};
}

void TestGlobal::ports()
{
    QFETCH(bool, tcp);
    QFETCH(QString, offset);
    QFETCH(QList<int>, used);
    QFETCH(QStringList, expected);
    CommandLine::tcp = tcp;
    g_messages.clear();
    if (offset.isNull())
        qunsetenv("ORV_PORT_OFFSET");
    else
        qputenv("ORV_PORT_OFFSET", offset.toLatin1());
    QtMessageHandler previous = qInstallMessageHandler(collect);
    Global::assignPorts(QSet<int>(used.cbegin(), used.cend()));
    qInstallMessageHandler(previous);
    qunsetenv("ORV_PORT_OFFSET");

    QCOMPARE((QStringList{Global::openglPort, Global::vinputPort, Global::pavixPort, Global::adbPort,
                          Global::yeltPort}),
             expected);
    QStringList expectedLog;
    if (!tcp) {
        const char *names[] = {"openglPort", "vinputPort", "pavixPort", "adbPort", "yeltPort"};
        for (int i = 0; i < 5; ++i)
            expectedLog << QString("Global : %1  \"%2\"").arg(names[i], expected.at(i));
    }
    QCOMPARE(g_messages, expectedLog);
}

void TestGlobal::keyMapSwitch_data()
{
    QTest::addColumn<QString>("package");
    QTest::addColumn<bool>("expected");
    QTest::newRow("never switched") << "com.example.none" << false;
    QTest::newRow("switched on") << "com.example.on" << true;
    QTest::newRow("switched off") << "com.example.off" << false;
    QTest::newRow("no package in the foreground") << "" << false;
}

void TestGlobal::keyMapSwitch()
{
    QFETCH(QString, package);
    QFETCH(bool, expected);
    Global::keyMapEnabledMap = {{"com.example.on", true}, {"com.example.off", false}};
    Global::currentPackage = package;
    QCOMPARE(Global::isKeyMapEnabled(), expected);
}

QTEST_GUILESS_MAIN(TestGlobal)
#include "tst_global.moc"
