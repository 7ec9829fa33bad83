// The tool runner against real child programs: small shell scripts written by each case stand in for a tool
// that answers, fails, writes to the wrong stream or hangs.
#include "global.h"
#include "installtree.h"
#include "vboxtool.h"

#include <QFile>
#include <QtTest>

#include <memory>

namespace {

QStringList g_log;

void collectLog(QtMsgType, const QMessageLogContext &, const QString &message)
{
    g_log << message;
}

bool writeScript(const QString &path, const QString &body)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    file.write("#!/bin/sh\n" + body.toUtf8() + "\n");
    file.close();
    return file.setPermissions(file.permissions() | QFileDevice::ExeOwner | QFileDevice::ExeUser);
}

} // namespace

class TestVBoxToolRunner : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void versionRule_data();
    void versionRule();
    void emptyFolderKeepsThePreviousTool();
    void argumentsArriveSeparately();
    void errorPattern_data();
    void errorPattern();
    void hangOnceRetriesAfterOneServiceStart();
    void hangTwiceGives9001();
    void noToolFolderStartsNoService();
    void execForOutput_data();
    void execForOutput();
    void hostMemorySize_data();
    void hostMemorySize();

private:
    QString vboxDir() const { return m_tree->versionDir() + QStringLiteral("/VirtualBox"); }
    // Installs `body` as the tool of the current version rule and points the tool object at it.
    void useTool(const QString &body, const QString &version = QStringLiteral("1.4.2"));
    int serviceStarts() const { return m_tree->calls(QStringLiteral("OrvvmSVC")).size(); }

    std::unique_ptr<InstallTree> m_tree;
    std::unique_ptr<VBoxTool> m_tool;
    QtMessageHandler m_previousHandler = nullptr;
};

void TestVBoxToolRunner::init()
{
    m_tree = std::make_unique<InstallTree>();
    QVERIFY(m_tree->isValid());
    qputenv("ORV_RECORD_DIR", m_tree->recordDir().toLocal8Bit());
    qputenv("ORV_TIMEOUT_SCALE", "0.01"); // 120 s waits become 1.2 s
    QVERIFY(m_tree->addRecorder(QStringLiteral("OrvvmSVC"), vboxDir()));
    QVERIFY(m_tree->addRecorder(QStringLiteral("VBoxSVC"), vboxDir()));
    Global::installInfo = InstallInfo();
    Global::installInfo.installDir = m_tree->installDir();
    Global::installInfo.vboxPath = vboxDir();
    Global::installInfo.productVersion = QStringLiteral("1.4.2");
    Global::lastErrorCode = QStringLiteral("untouched");
    m_tool = std::make_unique<VBoxTool>();
    g_log.clear();
    m_previousHandler = qInstallMessageHandler(collectLog);
}

void TestVBoxToolRunner::cleanup()
{
    qInstallMessageHandler(m_previousHandler);
    m_tool.reset();
    m_tree.reset();
}

void TestVBoxToolRunner::useTool(const QString &body, const QString &version)
{
    Global::installInfo.productVersion = version;
    QVERIFY(writeScript(vboxDir() + QLatin1Char('/') + VBoxTool::toolFileName(version), body));
    QCOMPARE(m_tool->checkVBoxPath(), 1);
}

void TestVBoxToolRunner::versionRule_data()
{
    QTest::addColumn<QString>("version");
    QTest::addColumn<QStringList>("present");
    QTest::addColumn<QString>("expectedTool"); // empty: no tool found
    QTest::addColumn<QString>("expectedPattern");

    const QStringList both{"OrvvmManage", "VBoxManage"};
    QTest::newRow("1.4.0") << "1.4.0" << both << "OrvvmManage"
                           << "OrvvmManage: error";
    QTest::newRow("1.4.2") << "1.4.2" << both << "OrvvmManage"
                           << "OrvvmManage: error";
    QTest::newRow("1.5") << "1.5" << both << "OrvvmManage"
                         << "OrvvmManage: error";
    QTest::newRow("2.0") << "2.0" << both << "OrvvmManage"
                         << "OrvvmManage: error";
    QTest::newRow("1.3.9") << "1.3.9" << both << "VBoxManage"
                           << "VBoxManage: error";
    QTest::newRow("1.10.0 sorts before 1.4") << "1.10.0" << both << "VBoxManage"
                                             << "VBoxManage: error";
    QTest::newRow("empty version") << "" << both << "VBoxManage"
                                   << "VBoxManage: error";
    QTest::newRow("only the other name present") << "1.4.2" << QStringList{"VBoxManage"} << ""
                                                 << "OrvvmManage: error";
    QTest::newRow("old version, only the new name") << "1.3.0" << QStringList{"OrvvmManage"} << ""
                                                    << "VBoxManage: error";
}

void TestVBoxToolRunner::versionRule()
{
    QFETCH(QString, version);
    QFETCH(QStringList, present);
    QFETCH(QString, expectedTool);
    QFETCH(QString, expectedPattern);

    for (const QString &name : present)
        QVERIFY(writeScript(vboxDir() + QLatin1Char('/') + name, QStringLiteral("exit 0")));
    Global::installInfo.productVersion = version;
    QCOMPARE(VBoxTool::errorPattern(version), expectedPattern);

    const int result = m_tool->checkVBoxPath();
    if (expectedTool.isEmpty()) {
        QCOMPARE(result, 1001);
        QCOMPARE(m_tool->toolPath(), QString());
        QCOMPARE(m_tool->vboxDir(), QString());
        QVERIFY(g_log.contains(QStringLiteral("VBoxTool   : setup filed")));
    } else {
        QCOMPARE(result, 1);
        QCOMPARE(m_tool->toolPath(), vboxDir() + QLatin1Char('/') + expectedTool);
        QCOMPARE(m_tool->vboxDir(), vboxDir());
        QCOMPARE(m_tool->machineFolder(), m_tree->installDir() + QStringLiteral("/vbox"));
        QVERIFY(g_log.contains(QStringLiteral("VBoxTool   : check ok , path : ") + vboxDir()));
    }
}

void TestVBoxToolRunner::emptyFolderKeepsThePreviousTool()
{
    Global::installInfo.vboxPath.clear();
    QCOMPARE(m_tool->checkVBoxPath(), 1001); // nothing known yet

    Global::installInfo.vboxPath = vboxDir();
    useTool(QStringLiteral("exit 0"));
    Global::installInfo.vboxPath.clear();
    QCOMPARE(m_tool->checkVBoxPath(), 1);
    QCOMPARE(m_tool->toolPath(), vboxDir() + QStringLiteral("/OrvvmManage"));
    QVERIFY(g_log.contains(QStringLiteral("VBoxTool   : path ") + vboxDir()));
}

void TestVBoxToolRunner::argumentsArriveSeparately()
{
    useTool(QStringLiteral("for a in \"$@\"; do printf '[%s]\\n' \"$a\"; done"));
    QString out = QStringLiteral("old"), err = QStringLiteral("old");
    QCOMPARE(m_tool->exec({"modifyvm", "My VM", "--natpf1", "a b,\"c\";$(x)"}, &out, &err), 1);
    QCOMPARE(out, QStringLiteral("[modifyvm]\n[My VM]\n[--natpf1]\n[a b,\"c\";$(x)]\n"));
    QCOMPARE(err, QString()); // replaced, not appended to
    QCOMPARE(Global::lastErrorCode, QString());
}

void TestVBoxToolRunner::errorPattern_data()
{
    QTest::addColumn<QString>("version");
    QTest::addColumn<QString>("script");
    QTest::addColumn<int>("result");
    QTest::addColumn<QString>("lastError");

    const QString vboxError = "VBoxManage: error: Could not find a registered machine named 'x'\n"
                              "VBoxManage: error: Details: code VBOX_E_OBJECT_NOT_FOUND (0x80bb0001)\n";
    const QString orvvmError = "OrvvmManage: error: A NAT rule of this name already exists\n";
    const auto toStderr = [](const QString &text) { return "printf '%s' \"" + text + "\" >&2; exit 1"; };

    QTest::newRow("old names: error on stderr") << "1.3.0" << toStderr(vboxError) << 0 << vboxError;
    QTest::newRow("old names: error text on stdout") << "1.3.0"
                                                     << "printf '%s' \"" + vboxError + "\"" << 1 << "";
    QTest::newRow("old names: the other tool's error") << "1.3.0" << toStderr(orvvmError) << 1 << "";
    QTest::newRow("new names: error on stderr") << "1.4.2" << toStderr(orvvmError) << 0 << orvvmError;
    QTest::newRow("new names: the old tool's error") << "1.4.2" << toStderr(vboxError) << 1 << "";
    QTest::newRow("exit code 1, empty stderr") << "1.4.2"
                                               << "exit 1" << 1 << "";
    QTest::newRow("warning only") << "1.4.2" << toStderr("OrvvmManage: warning: careful\n") << 1 << "";
    QTest::newRow("progress line") << "1.4.2" << toStderr("0%...10%...20%...100%\n") << 1 << "";
    QTest::newRow("pattern is case-sensitive") << "1.4.2" << toStderr("orvvmmanage: error: x\n") << 1 << "";
}

void TestVBoxToolRunner::errorPattern()
{
    QFETCH(QString, version);
    QFETCH(QString, script);
    QFETCH(int, result);
    QFETCH(QString, lastError);

    useTool(script, version);
    QString err;
    QCOMPARE(m_tool->exec({"showvminfo", "x"}, nullptr, &err), result);
    QCOMPARE(Global::lastErrorCode, lastError);
    if (result == 0) {
        QCOMPARE(err, lastError);
        QVERIFY(g_log.contains(QStringLiteral("VBoxTool   : exec error ") + lastError));
    }
    QCOMPARE(serviceStarts(), 0);
}

void TestVBoxToolRunner::hangOnceRetriesAfterOneServiceStart()
{
    const QString marker = m_tree->root() + QStringLiteral("/ran-once");
    useTool(QStringLiteral("if [ ! -e '%1' ]; then touch '%1'; exec sleep 60; fi\n"
                           "echo second; echo 'OrvvmManage: error: late' >&2")
                .arg(marker));
    QString out, err;
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(m_tool->exec({"list", "vms"}, &out, &err), 0);
    QVERIFY2(clock.elapsed() >= 1100, "the first wait lasts the whole (scaled) time-out");
    QCOMPARE(out, QStringLiteral("second\n"));
    QCOMPARE(Global::lastErrorCode, QStringLiteral("OrvvmManage: error: late\n"));
    QTRY_COMPARE(serviceStarts(), 1);
    QCOMPARE(g_log.filter(QStringLiteral("VBoxTool   : exec  ")).size(), 2);
}

void TestVBoxToolRunner::hangTwiceGives9001()
{
    useTool(QStringLiteral("exec sleep 60"));
    QString out = QStringLiteral("keep out"), err = QStringLiteral("keep err");
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(m_tool->exec({"list", "vms"}, &out, &err), 9001);
    QVERIFY(clock.elapsed() >= 2 * 1200 - 100);
    QCOMPARE(out, QStringLiteral("keep out"));
    QCOMPARE(err, QStringLiteral("keep err"));
    QVERIFY(!Global::lastErrorCode.isEmpty());
    QVERIFY(g_log.filter(QStringLiteral("VBoxTool   : exec error  ")).size() == 1);
    QTRY_COMPARE(serviceStarts(), 1);
    QCOMPARE(m_tree->calls(QStringLiteral("OrvvmSVC")).first(), QStringList());
    QCOMPARE(m_tree->calls(QStringLiteral("VBoxSVC")).size(), 0);
}

void TestVBoxToolRunner::noToolFolderStartsNoService()
{
    Global::installInfo.vboxPath.clear();
    QCOMPARE(m_tool->checkVBoxPath(), 1001);
    QString out = QStringLiteral("keep");
    QCOMPARE(m_tool->exec({"list", "vms"}, &out), 9001);
    QCOMPARE(out, QStringLiteral("keep"));
    QVERIFY(!Global::lastErrorCode.isEmpty());
    QVERIFY(g_log.contains(QStringLiteral("VBoxTool   : no VirtualBox folder, service not started")));
    QCOMPARE(serviceStarts(), 0);
}

void TestVBoxToolRunner::execForOutput_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<int>("result");
    QTest::addColumn<QString>("out");
    QTest::addColumn<QString>("err");

    QTest::newRow("clean") << "echo fine" << 1 << "fine\n"
                           << "";
    QTest::newRow("anything on stderr is an error, even with exit 0")
        << "echo part; echo note >&2; exit 0" << 0 << "part\n"
        << "note\n";
    QTest::newRow("exit code alone does not count") << "exit 3" << 1 << ""
                                                    << "";
    QTest::newRow("hangs") << "exec sleep 60" << 9001 << "old"
                           << "old";
}

void TestVBoxToolRunner::execForOutput()
{
    QFETCH(QString, script);
    QFETCH(int, result);
    QFETCH(QString, out);
    QFETCH(QString, err);

    const QString program = m_tree->binDir() + QStringLiteral("/probe");
    QVERIFY(writeScript(program, script));
    QString gotOut = QStringLiteral("old"), gotErr = QStringLiteral("old");
    QCOMPARE(m_tool->execForOutput(program, {}, &gotOut, &gotErr), result);
    QCOMPARE(gotOut, out);
    QCOMPARE(gotErr, err);
    QCOMPARE(Global::lastErrorCode, QStringLiteral("untouched"));
    QCOMPARE(serviceStarts(), 0);
}

void TestVBoxToolRunner::hostMemorySize_data()
{
    QTest::addColumn<QString>("listing");
    QTest::addColumn<int>("large");
    QTest::addColumn<int>("small");
    QTest::newRow("8192 MByte") << "Memory size: 8192 MByte\n" << 6553 << 1638;
    QTest::newRow("16384 MByte") << "Memory size: 16384 MByte\n" << 13107 << 3276;
    QTest::newRow("missing") << "Processor count: 4\n" << 0 << 0;
    QTest::newRow("not a number") << "Memory size: lots\n" << 0 << 0;
}

void TestVBoxToolRunner::hostMemorySize()
{
    QFETCH(QString, listing);
    QFETCH(int, large);
    QFETCH(int, small);
    useTool(QStringLiteral("printf '%s' '") + listing + QStringLiteral("'"));
    QCOMPARE(m_tool->initHostInfo(), 1);
    int limit = -1;
    m_tool->hostMemorySize(&limit, true);
    QCOMPARE(limit, large);
    m_tool->hostMemorySize(&limit, false);
    QCOMPARE(limit, small);
}

QTEST_GUILESS_MAIN(TestVBoxToolRunner)
#include "tst_vboxtoolrunner.moc"
