// The virtual-location and share-folder dialogs in the real emulator, opened from its menu bar and
// driven with real X input (XTest) against the simulated tool and guest: a click on the map (the local
// map script stands in for the map service) reaches the guest as a GPS line, is stored, and is sent
// again at the next start; the share dialog's Android button sends the guest its command.

#include "programrun.h"
#include "screenfixture.h"
#include "testartefacts.h"
#include "xtestinput.h"

#include <QSettings>
#include <QtTest>

#include <algorithm>
#include <memory>

namespace {

constexpr double kDegreesPerPixel = 0.0001; // the stand-in map's scale
const QSize kLocationDialog(944, 625);
const QSize kShareDialog(740, 680);
const QSize kMessage(414, 180);
// The web view in the location dialog, and the buttons, in dialog coordinates.
const QRect kView(20, 80, 904, 465);
const QPoint kSetButton(864, 585);
const QPoint kReturnButton(36, 31);
// Places of the side bar's buttons.
constexpr int kVirtualLocationButton = 5;
constexpr int kShareButton = 8;

QString sixDigits(double value)
{
    return QString::number(value, 'g', 6);
}

} // namespace

class TestShellWindows : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void locationFromTheMapReachesTheGuestAndSurvivesARestart();
    void shareFolderSendsTheAndroidCommand();
    void titleBarOpensTheSettingsWindow();

private:
    bool startEmulator();
    // The mapped window of the emulator with this size.
    bool findWindow(const QSize &size, XTestInput::TopWindow *window, int timeoutMs = 10000);
    void clickAt(const QPoint &global);
    void menu(int index);
    QStringList linesSince(int from) const { return m_fixture->guest().inputLines().mid(from); }

    std::unique_ptr<ScreenFixture> m_fixture;
    std::unique_ptr<ProgramRun> m_emulator;
    std::unique_ptr<XTestInput> m_x;
    QRect m_menu;
};

void TestShellWindows::initTestCase()
{
    if (qEnvironmentVariableIsEmpty("DISPLAY"))
        QSKIP("needs an X display: the input is real X input on the real windows");
    m_x = std::make_unique<XTestInput>();
    if (!m_x->isValid())
        QSKIP("the X server has no XTest extension");
    m_fixture = std::make_unique<ScreenFixture>();
    QVERIFY(m_fixture->isValid());
    m_fixture->setGuestControls({{QStringLiteral("boot_ms"), QStringLiteral("0")}});
    m_fixture->tree().setEnv(QStringLiteral("ORV_MAP_SCRIPT_URL"),
                             QUrl::fromLocalFile(QStringLiteral(ORV_MAP_STANDIN)).toString());
    QVERIFY(startEmulator());
}

void TestShellWindows::cleanupTestCase()
{
    m_emulator.reset();
    m_fixture.reset();
}

bool TestShellWindows::startEmulator()
{
    // Generous waits: the machine may be busy with other test runs.
    m_emulator = m_fixture->startEmulator();
    if (!m_emulator || !m_fixture->attachGuest(*m_emulator)) {
        qWarning() << "the machine did not start";
        return false;
    }
    if (!m_emulator->waitForText(QLatin1String(ScreenFixture::kShowAndroid), 60000)) {
        qWarning() << "the Android window was not shown";
        return false;
    }
    // The side bar: the window 40 pixels wide beside the Android window.
    const bool found = waitUntil(
        [&] {
            for (const XTestInput::TopWindow &w : m_x->mappedWindowsOf(m_emulator->pid())) {
                if (w.geometry.width() == 40 && w.geometry.height() > 100) {
                    m_menu = w.geometry;
                    return true;
                }
            }
            return false;
        },
        20000);
    if (!found) {
        qWarning() << "no side bar";
        return false;
    }
    const QString mine = QStringLiteral("# connected from %1").arg(m_emulator->pid());
    return waitUntil([&] { return m_fixture->guest().inputLines().contains(mine); }, 30000);
}

bool TestShellWindows::findWindow(const QSize &size, XTestInput::TopWindow *window, int timeoutMs)
{
    return waitUntil(
        [&] {
            for (const XTestInput::TopWindow &w : m_x->mappedWindowsOf(m_emulator->pid())) {
                if (w.geometry.size() == size) {
                    *window = w;
                    return true;
                }
            }
            return false;
        },
        timeoutMs);
}

void TestShellWindows::clickAt(const QPoint &global)
{
    m_x->moveTo(global);
    QTest::qWait(50);
    m_x->click(1);
    QTest::qWait(100);
}

void TestShellWindows::menu(int index)
{
    // The side bar's buttons from the top: full screen, key map, install, script, instances, virtual
    // location, screenshot, shake, shared folders; 35 pixels with 10 between them on a tall bar, scaled
    // down on a shorter one.
    int gap = 10;
    int button = 35;
    const int height = m_menu.height();
    if (height < 756) {
        const int top = height * 460 / 756;
        gap = 10 * top / 460;
        button = static_cast<int>((top - gap) / 10.0 - gap);
    }
    clickAt(m_menu.topLeft() + QPoint(18, 2 * gap + index * (button + gap) + button / 2));
}

void TestShellWindows::locationFromTheMapReachesTheGuestAndSurvivesARestart()
{
    // Nothing stored: the start sent the default point, the one the dialog shows.
    QVERIFY2(waitUntil(
                 [this] {
                     return m_fixture->guest().inputLines().contains(
                         QStringLiteral("GPS:str-116.331|39.8974"));
                 },
                 5000),
             qPrintable(m_fixture->guest().inputLines().join(QLatin1Char('|'))));

    menu(kVirtualLocationButton);
    XTestInput::TopWindow dialog;
    QVERIFY2(findWindow(kLocationDialog, &dialog), "the location dialog did not open");
    QVERIFY(m_emulator->waitForText(QStringLiteral("GeolocationDialog : page loaded true"), 10000));
    QTest::qWait(300);

    // 100 pixels east and 50 below the map's centre: the stand-in map turns the pixel into a point
    // around the centre the page was given (the stored point, six digits).
    const int dx = 100;
    const int dy = 50;
    const QPoint target =
        dialog.geometry.topLeft() + kView.topLeft() + QPoint(kView.width() / 2 + dx, kView.height() / 2 + dy);
    clickAt(target);
    const double lng = 116.331 + (kView.width() / 2 + dx - kView.width() / 2.0) * kDegreesPerPixel;
    const double lat = 39.8974 - (kView.height() / 2 + dy - kView.height() / 2.0) * kDegreesPerPixel;
    const QString expected = QStringLiteral("GPS:str-%1|%2").arg(sixDigits(lng), sixDigits(lat));

    const int before = m_fixture->guest().inputLines().size();
    clickAt(dialog.geometry.topLeft() + kSetButton);
    QVERIFY2(waitUntil([&] { return linesSince(before).contains(expected); }, 5000),
             qPrintable(expected + " not in " + linesSince(before).join(QLatin1Char('|'))));

    // "set location ok", then back.
    XTestInput::TopWindow message;
    QVERIFY(findWindow(kMessage, &message));
    m_x->focus(message.id);
    QTest::qWait(100);
    m_x->tap(QStringLiteral("Escape"));
    QVERIFY(waitUntil([&] { return !findWindow(kMessage, &message, 0); }, 5000));
    clickAt(dialog.geometry.topLeft() + kReturnButton);
    QVERIFY(waitUntil([&] { return !findWindow(kLocationDialog, &dialog, 0); }, 5000));

    QSettings file(m_fixture->tree().appDataDir() + QStringLiteral("/Halvora/") +
                       QLatin1String(ScreenFixture::kVm) + QStringLiteral(".ini"),
                   QSettings::IniFormat);
    QCOMPARE(file.value(QStringLiteral("Geolocation/lng")).toDouble(), 116.331 + dx * kDegreesPerPixel);
    QCOMPARE(sixDigits(file.value(QStringLiteral("Geolocation/lat")).toDouble()), sixDigits(lat));

    // The next start sends the stored point after its CONFIG line.
    ProgramRun stop(m_fixture->tree(), QStringLiteral("Orvanta"),
                    {QStringLiteral("-vm=") + QLatin1String(ScreenFixture::kVm), QStringLiteral("-stop")});
    QCOMPARE(stop.run(30000), 0);
    QVERIFY(m_emulator->waitForFinished(90000));
    QVERIFY(startEmulator());
    const QString mine = QStringLiteral("# connected from %1").arg(m_emulator->pid());
    QVERIFY(waitUntil(
        [&] {
            const QStringList lines = m_fixture->guest().inputLines();
            const int at = lines.lastIndexOf(mine);
            return at >= 0 && lines.mid(at).contains(expected);
        },
        10000));
}

void TestShellWindows::shareFolderSendsTheAndroidCommand()
{
    menu(kShareButton);
    XTestInput::TopWindow dialog;
    QVERIFY2(findWindow(kShareDialog, &dialog), "the share-folder dialog did not open");
    QTest::qWait(200);
    const int before = m_fixture->guest().inputLines().size();
    // "open orvvm image folder": row at (20, 351), button at (466, 26), 184 x 36.
    clickAt(dialog.geometry.topLeft() + QPoint(20 + 466 + 92, 351 + 26 + 18));
    const QString expected = QStringLiteral(
        "SHELL_CMD:str-am start -a action.com.corvle.quickOpenShareFile --es PATH \"/mnt/shared/picture\"");
    QVERIFY2(waitUntil([&] { return linesSince(before).contains(expected); }, 5000),
             qPrintable(linesSince(before).join(QLatin1Char('|'))));
    QVERIFY(waitUntil([&] { return !findWindow(kShareDialog, &dialog, 0); }, 5000));
}

void TestShellWindows::titleBarOpensTheSettingsWindow()
{
    // The title bar's right block: close 5 pixels from the edge, then maximise, minimise, a gap, keep on
    // top, settings; 34 pixels each.
    QRect android;
    for (const XTestInput::TopWindow &w : m_x->mappedWindowsOf(m_emulator->pid()))
        if (w.geometry.width() > 200 && w.geometry.height() > 300)
            android = w.geometry;
    QVERIFY(android.isValid());
    const int bw = 34;
    const int settingX = android.width() - bw - 5 - 4 * bw - 12;
    clickAt(android.topLeft() + QPoint(2 + settingX + bw / 2, 2 + 7 + 12));
    XTestInput::TopWindow settings;
    QVERIFY2(findWindow(QSize(740, 680), &settings), "the settings window did not open");
    QTest::qWait(300);
    // The back button hides it; it opens again.
    clickAt(settings.geometry.topLeft() + kReturnButton);
    QVERIFY(waitUntil([&] { return !findWindow(QSize(740, 680), &settings, 0); }, 5000));
    clickAt(android.topLeft() + QPoint(2 + settingX + bw / 2, 2 + 7 + 12));
    XTestInput::TopWindow again;
    QVERIFY(findWindow(QSize(740, 680), &again));
    clickAt(again.geometry.topLeft() + kReturnButton);
    QVERIFY(waitUntil([&] { return !findWindow(QSize(740, 680), &again, 0); }, 5000));
}

QTEST_MAIN(TestShellWindows)
#include "tst_shellwindows.moc"
