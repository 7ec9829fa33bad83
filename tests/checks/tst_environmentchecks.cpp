#include "checkaction.h"
#include "checkactions.h"
#include "global.h"
#include "hardwareprobe.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

// A host made of files: the kernel's process, device and sysfs roots that the probes read.
class HostFixture
{
public:
    HostFixture()
    {
        QDir(m_dir.path()).mkpath(QStringLiteral("proc"));
        QDir(m_dir.path()).mkpath(QStringLiteral("dev"));
        QDir(m_dir.path()).mkpath(QStringLiteral("sys/bus/pci/devices"));
        qputenv("ORV_PROC_ROOT", path("proc").toLocal8Bit());
        qputenv("ORV_DEV_ROOT", path("dev").toLocal8Bit());
        qputenv("ORV_SYS_ROOT", path("sys").toLocal8Bit());
    }
    ~HostFixture()
    {
        qunsetenv("ORV_PROC_ROOT");
        qunsetenv("ORV_DEV_ROOT");
        qunsetenv("ORV_SYS_ROOT");
    }
    QString path(const QString &relative) const { return m_dir.path() + QLatin1Char('/') + relative; }
    void write(const QString &relative, const QByteArray &bytes) const
    {
        const QString file = path(relative);
        QDir().mkpath(QFileInfo(file).absolutePath());
        QFile out(file);
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write(bytes);
    }
    void addAdapter(const QString &slot, const QByteArray &pciClass, const QByteArray &vendor,
                    const QByteArray &device) const
    {
        write("sys/bus/pci/devices/" + slot + "/class", pciClass + "\n");
        write("sys/bus/pci/devices/" + slot + "/vendor", vendor + "\n");
        write("sys/bus/pci/devices/" + slot + "/device", device + "\n");
    }

private:
    QTemporaryDir m_dir;
};

static const QByteArray kIntelCpu = "processor\t: 0\nvendor_id\t: GenuineIntel\n"
                                    "flags\t\t: fpu vme de pse tsc msr pae mce cx8 vmx est tm2 ssse3\n\n";
static const QByteArray kAmdCpu =
    "processor\t: 0\nvendor_id\t: AuthenticAMD\nflags\t\t: fpu vme svm lahf_lm\n\n";
static const QByteArray kPlainCpu = "processor\t: 0\nvendor_id\t: GenuineIntel\nflags\t\t: fpu vme de pse "
                                    "hypervisor\n\n";

// Runs one leaf check, as a list of one, and gives back its describe text.
template <typename Check> static QString runCheck(bool *passed = nullptr)
{
    Check check;
    const bool result = check.check();
    if (passed)
        *passed = result;
    return check.describe();
}

// Receives the start-up progress, as the start-up worker does.
class ProgressReceiver : public QObject
{
    Q_OBJECT
signals:
    void scheduleChanged(int from, int to);
};

// Counts its runs; `answer` is what it reports.
class CountingCheck : public CheckAction
{
    Q_OBJECT
public:
    CountingCheck(bool answer, std::function<void()> during = {})
        : CheckAction(QStringLiteral("Counting"), QStringLiteral("false"), QString(), QString()),
          m_answer(answer), m_during(std::move(during))
    {
    }
    bool check() override
    {
        ++runs;
        if (m_during)
            m_during();
        return m_answer;
    }
    int runs = 0;

private:
    bool m_answer;
    std::function<void()> m_during;
};

class TestEnvironmentChecks : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void describeTexts();
    void separatorsNeverCutACheck();
    void compositeRunsAllChildren();
    void compositeStopsWhenQuitting();
    void progressSteps();
    void memoryCheck_data();
    void memoryCheck();
    void vtOpenCheck_data();
    void vtOpenCheck();
    void vtOpenCheckerProgram_data();
    void vtOpenCheckerProgram();
    void vtOccupiedCheck_data();
    void vtOccupiedCheck();
    void graphicsCheck_data();
    void graphicsCheck();
    void dnfConflictCheck_data();
    void dnfConflictCheck();
    void dmBitsWithoutDisplayFails();
    void openGlWithoutContextFails();
    void optionalListTextAndParsing();
    void requiredListOrder_data();
    void requiredListOrder();

private:
    QTemporaryDir m_config;
};

void TestEnvironmentChecks::init()
{
    appQuittingFlag = false;
    startupProgress = 0.0;
    Global::systemInfo = SystemInfo();
    Global::installInfo.productVersion = QStringLiteral("1.4.2");
    qputenv("XDG_CONFIG_HOME", m_config.path().toLocal8Bit());
    QCoreApplication::setOrganizationName(QStringLiteral("Halvora"));
    QCoreApplication::setApplicationName(QStringLiteral("Orvanta"));
}

void TestEnvironmentChecks::describeTexts()
{
    CheckDmBitsAction fresh;
    QCOMPARE(fresh.describe(), QStringLiteral("DmBitsCheck|false|dmbits is not 32|go to modify"));

    HostFixture host;
    host.write("proc/meminfo", "MemTotal: 1000000 kB\nMemAvailable: 900000 kB\n");
    QCOMPARE(runCheck<CheckMemoryAction>(), QStringLiteral("MemoryCheck|true|memory is enough|passed"));

    ActionComposite empty;
    QVERIFY(empty.check());
    QCOMPARE(empty.describe(), QString());

    ActionComposite two;
    two.add(new CheckDmBitsAction);
    two.add(new CheckPatchAction);
    QCOMPARE(two.describe(), QStringLiteral("DmBitsCheck|false|dmbits is not 32|go to modify;"
                                            "PatchCheck|false|patch is not installed|go to install;"));
}

void TestEnvironmentChecks::separatorsNeverCutACheck()
{
    // None of the texts the checks show may hold a separator of the describe text or of the request.
    for (const CheckSourceTexts &texts : kCheckSourceTexts)
        for (const char *text :
             {texts.name, texts.failureMessage, texts.failureHint, texts.passMessage, texts.passHint})
            for (const char separator : {'|', ';', '#'})
                QVERIFY2(!QByteArray(text).contains(separator), text);

    // A translation that slips one in still gives a whole check.
    CheckAction *check = new CountingCheck(false);
    check->message = QStringLiteral("a|b;c#d");
    check->actionHint = QStringLiteral("x;y");
    ActionComposite list;
    list.add(check);
    const auto rows = CheckText::parse(list.describe(), true);
    QCOMPARE(rows.size(), 1);
    QCOMPARE(rows.first().message, QStringLiteral("a b c d"));
    QCOMPARE(rows.first().actionHint, QStringLiteral("x y"));
}

void TestEnvironmentChecks::compositeRunsAllChildren()
{
    auto *first = new CountingCheck(false);
    auto *second = new CountingCheck(true);
    ActionComposite list;
    list.add(first);
    list.add(second);
    QVERIFY(!list.check());
    QCOMPARE(first->runs, 1);
    QCOMPARE(second->runs, 1);
}

void TestEnvironmentChecks::compositeStopsWhenQuitting()
{
    {
        auto *child = new CountingCheck(false);
        ActionComposite list;
        list.add(child);
        appQuittingFlag = true;
        QVERIFY(list.check());
        QCOMPARE(child->runs, 0);
    }
    appQuittingFlag = false;
    auto *first = new CountingCheck(false);
    auto *second = new CountingCheck(true, [] { appQuittingFlag = true; });
    auto *third = new CountingCheck(true);
    ActionComposite list;
    list.add(first);
    list.add(second);
    list.add(third);
    QVERIFY(list.check()); // the first child's failure no longer counts
    QCOMPARE(third->runs, 0);
    appQuittingFlag = false;
}

void TestEnvironmentChecks::progressSteps()
{
    HostFixture host;
    host.write("proc/cpuinfo", kIntelCpu);
    OptionalActionFactory factory;
    {
        std::unique_ptr<ActionComposite> list(factory.create());
        list->check();
        QCOMPARE(startupProgress.load(), 0.0);
    }
    startupProgress = 30.5;
    ProgressReceiver receiver;
    QSignalSpy spy(&receiver, &ProgressReceiver::scheduleChanged);
    std::unique_ptr<ActionComposite> list(factory.create());
    list->setProgressReceiver(&receiver);
    list->check();
    QCOMPARE(startupProgress.load(), 34.5);
    QCOMPARE(spy.count(), 4);
    QCOMPARE(spy.at(0), (QList<QVariant>{30, 31}));
    QCOMPARE(spy.at(3), (QList<QVariant>{33, 34}));
}

void TestEnvironmentChecks::memoryCheck_data()
{
    QTest::addColumn<QByteArray>("meminfo");
    QTest::addColumn<bool>("passes");
    QTest::addColumn<int>("memoryMB");

    QTest::newRow("half used")
        << QByteArray("MemTotal:        1000000 kB\nMemFree:  100 kB\nMemAvailable:  500000 kB\n") << true
        << 976;
    QTest::newRow("80 percent passes")
        << QByteArray("MemTotal: 1000000 kB\nMemAvailable: 200000 kB\n") << true << 976;
    QTest::newRow("81 percent fails")
        << QByteArray("MemTotal: 1000000 kB\nMemAvailable: 190000 kB\n") << false << 976;
    QTest::newRow("old kernel without MemAvailable")
        << QByteArray("MemTotal: 8388608 kB\nMemFree: 100000 kB\nBuffers: 100000 kB\nCached: 100000 kB\n")
        << false << 8192;
    QTest::newRow("24 GiB nearly idle")
        << QByteArray("MemTotal: 24682300 kB\nMemAvailable: 23148408 kB\n") << true << 24103;
    QTest::newRow("unreadable") << QByteArray("garbage\n") << true << 0;
}

void TestEnvironmentChecks::memoryCheck()
{
    QFETCH(QByteArray, meminfo);
    QFETCH(bool, passes);
    QFETCH(int, memoryMB);
    HostFixture host;
    host.write("proc/meminfo", meminfo);
    bool passed = false;
    const QString text = runCheck<CheckMemoryAction>(&passed);
    QCOMPARE(passed, passes);
    QCOMPARE(text, passes ? QStringLiteral("MemoryCheck|true|memory is enough|passed")
                          : QStringLiteral("MemoryCheck|false|out of memory|go to clear"));
    QCOMPARE(Global::systemInfo.memoryMB, memoryMB);
}

void TestEnvironmentChecks::vtOpenCheck_data()
{
    QTest::addColumn<QByteArray>("cpuinfo");
    QTest::addColumn<bool>("kvmDevice");
    QTest::addColumn<bool>("passes");

    QTest::newRow("intel vmx") << kIntelCpu << false << true;
    QTest::newRow("amd svm") << kAmdCpu << false << true;
    QTest::newRow("no flag, no device") << kPlainCpu << false << false;
    QTest::newRow("no flag, hypervisor device") << kPlainCpu << true << true;
    QTest::newRow("no cpuinfo") << QByteArray() << false << false;
}

void TestEnvironmentChecks::vtOpenCheck()
{
    QFETCH(QByteArray, cpuinfo);
    QFETCH(bool, kvmDevice);
    QFETCH(bool, passes);
    HostFixture host;
    if (!cpuinfo.isEmpty())
        host.write("proc/cpuinfo", cpuinfo);
    if (kvmDevice)
        host.write("dev/kvm", "");
    qputenv("PATH", host.path("bin").toLocal8Bit()); // no checker program

    bool passed = false;
    const QString text = runCheck<CheckVTOpenStautsAction>(&passed);
    QCOMPARE(passed, passes);
    QCOMPARE(Global::systemInfo.vtSupported, passes);
    QCOMPARE(text, passes ? QStringLiteral("VTOpenStautsCheck|true|vt is open|passed")
                          : QStringLiteral("VTOpenStautsCheck|false|vt is close|go to open"));

    // Once found enabled it stays so for the process, whatever the host says later.
    if (passes) {
        host.write("proc/cpuinfo", kPlainCpu);
        QFile::remove(host.path("dev/kvm"));
        QVERIFY(runCheck<CheckVTOpenStautsAction>(&passed).startsWith("VTOpenStautsCheck|true|"));
    }
}

void TestEnvironmentChecks::vtOpenCheckerProgram_data()
{
    QTest::addColumn<QString>("version");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<bool>("passes");

    QTest::newRow("checker says enabled") << "1.4.2" << 1 << true;
    QTest::newRow("checker says 0") << "1.4.2" << 0 << false;
    QTest::newRow("checker says 2") << "1.4.2" << 2 << false;
    // Older installations use a script that is not there: not enabled, and no checker runs.
    QTest::newRow("old version without script") << "1.3.9" << 1 << false;
}

void TestEnvironmentChecks::vtOpenCheckerProgram()
{
    QFETCH(QString, version);
    QFETCH(int, exitCode);
    QFETCH(bool, passes);
    HostFixture host;
    host.write("proc/cpuinfo", kIntelCpu); // the kernel would say yes; the checker decides
    const QString marker = host.path("checker-ran");
    host.write("bin/VTChecker",
               QStringLiteral("#!/bin/sh\necho ran > '%1'\nexit %2\n").arg(marker).arg(exitCode).toUtf8());
    QFile::setPermissions(host.path("bin/VTChecker"), QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    const QByteArray oldPath = qgetenv("PATH");
    qputenv("PATH", host.path("bin").toLocal8Bit());
    Global::installInfo.productVersion = version;
    const QString oldDir = QDir::currentPath();
    QDir::setCurrent(host.path("proc"));

    bool passed = false;
    runCheck<CheckVTOpenStautsAction>(&passed);
    QDir::setCurrent(oldDir);
    qputenv("PATH", oldPath);
    QCOMPARE(passed, passes);
    QCOMPARE(QFile::exists(marker), version >= QLatin1String("1.4.0"));
}

void TestEnvironmentChecks::vtOccupiedCheck_data()
{
    QTest::addColumn<QByteArray>("modules");
    QTest::addColumn<QByteArray>("virtAtLoad");
    QTest::addColumn<bool>("passes");

    QTest::newRow("no module list") << QByteArray() << QByteArray() << true;
    QTest::newRow("kvm loaded, idle")
        << QByteArray("kvm_intel 380928 0 - Live 0x0\nkvm 1142784 1 kvm_intel, Live 0x0\n") << QByteArray()
        << true;
    QTest::newRow("kvm in use") << QByteArray(
                                       "kvm_intel 380928 3 - Live 0x0\nkvm 1142784 1 kvm_intel, Live 0x0\n")
                                << QByteArray() << false;
    QTest::newRow("amd kvm in use") << QByteArray(
                                           "kvm_amd 200000 1 - Live 0x0\nkvm 1142784 1 kvm_amd, Live 0x0\n")
                                    << QByteArray() << false;
    QTest::newRow("kvm takes it at load")
        << QByteArray("kvm_intel 380928 0 - Live 0x0\nkvm 1142784 1 kvm_intel, Live 0x0\n")
        << QByteArray("Y\n") << false;
    QTest::newRow("other product in use")
        << QByteArray("vmmon 131072 2 - Live 0x0\n") << QByteArray() << false;
    QTest::newRow("other product idle") << QByteArray("vmmon 131072 0 - Live 0x0\n") << QByteArray() << true;
    QTest::newRow("unrelated modules")
        << QByteArray("vboxdrv 696320 2 vboxnetadp, Live 0x0\nsnd 1 4 - Live 0x0\n") << QByteArray() << true;
}

void TestEnvironmentChecks::vtOccupiedCheck()
{
    QFETCH(QByteArray, modules);
    QFETCH(QByteArray, virtAtLoad);
    QFETCH(bool, passes);
    HostFixture host;
    if (!modules.isEmpty())
        host.write("proc/modules", modules);
    if (!virtAtLoad.isEmpty())
        host.write("sys/module/kvm/parameters/enable_virt_at_load", virtAtLoad);
    bool passed = false;
    const QString text = runCheck<CheckVTOccupiedStautsAction>(&passed);
    QCOMPARE(passed, passes);
    QCOMPARE(text, passes ? QStringLiteral("VTOccupiedStautsCheck|true|vt is not Occupied|passed")
                          : QStringLiteral("VTOccupiedStautsCheck|false|vt is Occupied|go to close"));
}

void TestEnvironmentChecks::graphicsCheck_data()
{
    QTest::addColumn<int>("adapters");
    QTest::addColumn<bool>("passes");
    QTest::newRow("no adapter") << 0 << true;
    QTest::newRow("one adapter") << 1 << true;
    QTest::newRow("two adapters, vendor unknown") << 2 << false;
}

void TestEnvironmentChecks::graphicsCheck()
{
    QFETCH(int, adapters);
    QFETCH(bool, passes);
    HostFixture host;
    host.addAdapter("0000:00:00.0", "0x060000", "0x8086", "0x1237"); // host bridge, not a display
    QStringList expected;
    if (adapters >= 1) {
        host.addAdapter("0000:00:02.0", "0x030000", "0x8086", "0x3e92");
        expected << "VGA compatible controller [8086:3e92]";
    }
    if (adapters >= 2) {
        host.addAdapter("0000:01:00.0", "0x030200", "0x10de", "0x1c82");
        expected << "3D controller [10de:1c82]";
    }
    // No OpenGL context on this thread: the renderer already known stays.
    Global::systemInfo.renderer = QStringLiteral("Mesa Intel(R) UHD Graphics 630");
    bool passed = false;
    const QString text = runCheck<CheckGraphicsAction>(&passed);
    QCOMPARE(passed, passes);
    QCOMPARE(Global::systemInfo.adapters, expected);
    QCOMPARE(Global::systemInfo.renderer, QStringLiteral("Mesa Intel(R) UHD Graphics 630"));
    QCOMPARE(text, passes ? QStringLiteral("GraphicsCheck|true|is Discrete Graphics|passed")
                          : QStringLiteral("GraphicsCheck|false|is not Discrete Graphics|go to open"));
}

void TestEnvironmentChecks::dnfConflictCheck_data()
{
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<bool>("passes");
    QTest::newRow("conflicting program") << QByteArray("DNF.exe\n") << false;
    QTest::newRow("other letter case") << QByteArray("dnf.exe\n") << true;
    QTest::newRow("longer name") << QByteArray("DNF.exe2\n") << true;
    QTest::newRow("nothing") << QByteArray("bash\n") << true;
}

void TestEnvironmentChecks::dnfConflictCheck()
{
    QFETCH(QByteArray, command);
    QFETCH(bool, passes);
    HostFixture host;
    host.write("proc/1/comm", "init\n");
    host.write("proc/4242/comm", command);
    host.write("proc/self/comm", "DNF.exe\n"); // not a process number: ignored
    bool passed = false;
    const QString text = runCheck<CheckDNFConflictAction>(&passed);
    QCOMPARE(passed, passes);
    QCOMPARE(text, passes ? QStringLiteral("DNFConflictCheck|true|it is not conflict|passed")
                          : QStringLiteral("DNFConflictCheck|false|it is conflict|go to close DNF"));
}

void TestEnvironmentChecks::dmBitsWithoutDisplayFails()
{
    const QByteArray display = qgetenv("DISPLAY");
    qunsetenv("DISPLAY");
    QCOMPARE(runCheck<CheckDmBitsAction>(),
             QStringLiteral("DmBitsCheck|false|dmbits is not 32|go to modify"));
    if (display.isEmpty())
        QSKIP("no X display to read a real colour depth from");
    qputenv("DISPLAY", display);
    // The suite's virtual screen is 24-bit true colour: 32 bits per pixel.
    QCOMPARE(HardwareProbe::displayBitsPerPixel(), 32);
    QCOMPARE(runCheck<CheckDmBitsAction>(), QStringLiteral("DmBitsCheck|true|dmbits is 32|passed"));
}

void TestEnvironmentChecks::openGlWithoutContextFails()
{
    Global::systemInfo.openglVersion = QStringLiteral("stale");
    QCOMPARE(runCheck<CheckOpenGLAction>(),
             QStringLiteral("OpenGLCheck|false|OpenGL version is too low|go to update"));
    QCOMPARE(Global::systemInfo.openglVersion, QString());
}

void TestEnvironmentChecks::optionalListTextAndParsing()
{
    HostFixture host;
    host.write("proc/meminfo", "MemTotal: 1000000 kB\nMemAvailable: 600000 kB\n");
    host.write("proc/cpuinfo", kPlainCpu);
    host.write("proc/modules", "kvm_intel 380928 0 - Live 0x0\n");
    host.addAdapter("0000:00:02.0", "0x030000", "0x8086", "0x3e92");
    host.addAdapter("0000:01:00.0", "0x030000", "0x10de", "0x1c82");
    qputenv("PATH", host.path("bin").toLocal8Bit());

    OptionalActionFactory factory;
    std::unique_ptr<ActionComposite> list(factory.create());
    QVERIFY(!list->check());
    const QString text = list->describe();
    QCOMPARE(text, QStringLiteral("MemoryCheck|true|memory is enough|passed;"
                                  "VTOpenStautsCheck|false|vt is close|go to open;"
                                  "VTOccupiedStautsCheck|true|vt is not Occupied|passed;"
                                  "GraphicsCheck|false|is not Discrete Graphics|go to open;"));

    const auto failed = CheckText::parse(text, false);
    QCOMPARE(failed.size(), 2);
    QCOMPARE(failed.at(0).name, QStringLiteral("VTOpenStautsCheck"));
    QCOMPARE(failed.at(0).message, QStringLiteral("vt is close"));
    QCOMPARE(failed.at(0).actionHint, QStringLiteral("go to open"));
    QCOMPARE(failed.at(1).name, QStringLiteral("GraphicsCheck"));
    const auto all = CheckText::parse(text, true);
    QCOMPARE(all.size(), 4);
    QVERIFY(all.at(0).passed);
    QVERIFY(!all.at(1).passed);

    // Malformed entries are skipped, the rest is read.
    QCOMPARE(CheckText::parse(QStringLiteral("a|b|c;X|false|m|h;"), true).size(), 1);
    QCOMPARE(CheckText::parse(QString(), true).size(), 0);

    CheckResults::clear();
    CheckResults::recordInitial(text);
    CheckResults::recordEnd(QStringLiteral("VTOpenStautsCheck|true|vt is open|passed;Unknown|true|x|y;"));
    CheckResults::recordClick(QStringLiteral("GraphicsCheck"));
    CheckResults::recordClick(QStringLiteral("Unknown"));
    const auto records = CheckResults::snapshot();
    QCOMPARE(records.keys(),
             (QStringList{"GraphicsCheck", "MemoryCheck", "VTOccupiedStautsCheck", "VTOpenStautsCheck"}));
    QCOMPARE(records.value("MemoryCheck").initState, 1);
    QCOMPARE(records.value("VTOpenStautsCheck").initState, 0);
    QCOMPARE(records.value("VTOpenStautsCheck").endState, 1);
    QCOMPARE(records.value("GraphicsCheck").clickState, 1);
    QCOMPARE(records.value("MemoryCheck").clickState, 0);
}

void TestEnvironmentChecks::requiredListOrder_data()
{
    QTest::addColumn<QString>("version");
    QTest::addColumn<QStringList>("names");
    const QStringList withPatch{"PatchCheck", "DmBitsCheck", "OpenGLCheck", "DNFConflictCheck"};
    const QStringList withoutPatch{"DmBitsCheck", "OpenGLCheck", "DNFConflictCheck"};
    QTest::newRow("1.4.0") << "1.4.0" << withPatch;
    QTest::newRow("2.0") << "2.0" << withPatch;
    QTest::newRow("1.10.0 sorts below") << "1.10.0" << withoutPatch;
}

void TestEnvironmentChecks::requiredListOrder()
{
    QFETCH(QString, version);
    QFETCH(QStringList, names);
    Global::installInfo.productVersion = version;
    auto namesOf = [] {
        RequiredActionFactory factory;
        std::unique_ptr<ActionComposite> list(factory.create());
        QStringList found;
        for (CheckAction *child : list->childList())
            found << child->name;
        return found;
    };
    QCOMPARE(namesOf(), names);
    if (!names.contains("PatchCheck"))
        return;
    // The patch check passes (no host here lacks the update) and is left out from then on.
    CheckPatchAction patch;
    QVERIFY(patch.check());
    QCOMPARE(namesOf(), names.mid(1));
    QSettings(QSettings::NativeFormat, QSettings::UserScope, QCoreApplication::organizationName(),
              QCoreApplication::applicationName())
        .remove("LastPatchCheckResult");
}

QTEST_GUILESS_MAIN(TestEnvironmentChecks)
#include "tst_environmentchecks.moc"
