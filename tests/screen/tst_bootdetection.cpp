// Boot detection of the real program against the simulated guest: with no rotation report from the
// render library, the boot poll's shell commands decide when Android is up and the start-up window
// hands over; a quit during the poll ends the program.

#include "screenfixture.h"

#include <QRegularExpression>
#include <QtTest>

#include <memory>

namespace {

const char *const kVm = ScreenFixture::kVm;
const char *const kShowAndroid = ScreenFixture::kShowAndroid;
const QString kGetprop = QStringLiteral("SHELL_CMD:str-getprop dev.bootcomplete");
const QString kPs = QStringLiteral("SHELL_CMD:str-ps | grep com.corvel.pavixtop");
// The longest wait for a step of the start or the poll: generous, as the machine may be busy with other
// work; each wait ends as soon as its event is there.
constexpr int kStepMs = 90000;

} // namespace

class TestBootDetection : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void bootPoll_data();
    void bootPoll();
    void quitDuringBootPoll();
    void guestDropsTheConnectionMidBoot();

private:
    std::unique_ptr<ScreenFixture> m_fixture;
};

void TestBootDetection::init()
{
    if (qEnvironmentVariableIsEmpty("DISPLAY"))
        QSKIP("needs an X display: the start-up checks and the window are real");
    m_fixture = std::make_unique<ScreenFixture>();
    QVERIFY(m_fixture->isValid());
    // No rotation report from the render library: only the poll can tell that Android is up.
    m_fixture->tree().setEnv(QStringLiteral("ORV_RENDER_ROTATIONS"), QStringLiteral("none"));
}

void TestBootDetection::cleanup()
{
    m_fixture.reset();
}

void TestBootDetection::bootPoll_data()
{
    QTest::addColumn<QString>("bootMs");
    QTest::addColumn<QString>("pidChangeAtPoll");
    QTest::addColumn<int>("psPolls");
    // The launcher's pid stable from the first sighting: six "ps" polls.
    QTest::newRow("booted at once") << QStringLiteral("0") << QString() << 6;
    // A late boot: boot-complete answers of 0 first, no "ps" before the first 1.
    QTest::newRow("late boot") << QStringLiteral("4000") << QString() << 6;
    // The launcher restarts at the fourth poll: counting starts again there.
    QTest::newRow("pid changes at poll 4") << QStringLiteral("0") << QStringLiteral("4") << 9;
}

void TestBootDetection::bootPoll()
{
    QFETCH(QString, bootMs);
    QFETCH(QString, pidChangeAtPoll);
    QFETCH(int, psPolls);
    QMap<QString, QString> controls{{QStringLiteral("boot_ms"), bootMs}};
    if (!pidChangeAtPoll.isEmpty())
        controls.insert(QStringLiteral("pid_change_at_poll"), pidChangeAtPoll);
    m_fixture->setGuestControls(controls);
    auto emulator = m_fixture->startEmulator();
    QVERIFY(emulator);
    QVERIFY(m_fixture->attachGuest(*emulator));
    QVERIFY(emulator->waitForText(QLatin1String(kShowAndroid), kStepMs));

    const QStringList lines = m_fixture->guest().inputLines();
    QCOMPARE(lines.value(1), QStringLiteral("CONFIG:720:1280"));
    const QStringList shell = lines.filter(QRegularExpression(QStringLiteral("^SHELL_CMD:")));
    QCOMPARE(shell.count(kPs), psPolls);
    // Each "ps" follows a boot-complete question; the poll asks nothing else.
    for (int i = 0; i < shell.size(); ++i) {
        QVERIFY2(shell.at(i) == kGetprop || shell.at(i) == kPs, qPrintable(shell.at(i)));
        if (shell.at(i) == kPs)
            QCOMPARE(shell.value(i - 1), kGetprop);
    }
    const int firstPs = shell.indexOf(kPs);
    if (bootMs.toInt() > 0)
        QVERIFY2(firstPs >= 2, "a late boot answers 0 before the first ps");
    else
        QCOMPARE(firstPs, 1);
    // Android is up once: the progress reaches 100 once and the poll stops.
    QCOMPARE(m_fixture->tree().logText().count(QStringLiteral("Android    : android ready")), 1);
    if (QByteArray(QTest::currentDataTag()) == "booted at once") {
        // Five seconds later the command line's launch runs; the poll has asked nothing since.
        QVERIFY(emulator->waitForText(QStringLiteral("AndroidWindow    : firstLoad"), kStepMs));
        QCOMPARE(
            m_fixture->guest().inputLines().filter(QRegularExpression(QStringLiteral("^SHELL_CMD:"))).size(),
            shell.size());
    }
}

void TestBootDetection::quitDuringBootPoll()
{
    // The guest never boots, and takes a while over each answer.
    m_fixture->setGuestControls({{QStringLiteral("boot_ms"), QStringLiteral("600000")},
                                 {QStringLiteral("reply_delay_ms"), QStringLiteral("300")}});
    auto emulator = m_fixture->startEmulator();
    QVERIFY(emulator);
    QVERIFY(m_fixture->attachGuest(*emulator));
    QVERIFY(waitUntil([&] { return m_fixture->guest().inputLines().count(kGetprop) >= 2; }, kStepMs));
    ProgramRun stop(m_fixture->tree(), QStringLiteral("Orvanta"),
                    {QStringLiteral("-vm=") + kVm, QStringLiteral("-stop")});
    QCOMPARE(stop.run(kStepMs), 0);
    QVERIFY(emulator->waitForFinished(kStepMs));
    QCOMPARE(emulator->exitCode(), 0);
    QCOMPARE(m_fixture->statusWords().last(), QStringLiteral("STOP"));
    QCOMPARE(m_fixture->guest().inputLines().count(kPs), 0);
    QVERIFY(!m_fixture->tree().logText().contains(QLatin1String(kShowAndroid)));
    // The renderer was started although the window was never shown: the quit stops it.
    QCOMPARE(m_fixture->renderTrace().filter(QStringLiteral("AndroVM_stopOpenGLRenderer()")).size(), 1);
}

void TestBootDetection::guestDropsTheConnectionMidBoot()
{
    // The guest boots while the poll runs and closes the input connection after the first answers.
    m_fixture->setGuestControls({{QStringLiteral("boot_ms"), QStringLiteral("0")}});
    auto emulator = m_fixture->startEmulator();
    QVERIFY(emulator);
    QVERIFY(m_fixture->attachGuest(*emulator));
    QVERIFY(waitUntil([&] { return m_fixture->guest().inputLines().count(kPs) >= 2; }, kStepMs));
    m_fixture->guest().request(QStringLiteral("drop"));
    QVERIFY(waitUntil([&] { return m_fixture->guest().inputLines().contains(QStringLiteral("# dropped")); },
                      10000));
    // The program connects again, introduces itself again, and the poll goes on to the hand-over.
    QVERIFY(emulator->waitForText(QLatin1String(kShowAndroid), kStepMs));
    const QStringList lines = m_fixture->guest().inputLines();
    QVERIFY2(lines.count(QStringLiteral("CONFIG:720:1280")) >= 2, qPrintable(lines.join(QLatin1Char('|'))));
    QCOMPARE(m_fixture->tree().logText().count(QStringLiteral("Android    : android ready")), 1);
    QVERIFY(emulator->isRunning());
}

QTEST_MAIN(TestBootDetection)
#include "tst_bootdetection.moc"
