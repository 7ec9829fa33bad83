// Real X input (XTest) on the real program's Android window, against the simulated guest: every line
// of the input protocol as the guest receives it, byte for byte, from taps, drags, the wheel, the
// Ctrl+wheel pinch, keys, pasted text, the saved location and the menu's shake and screenshot; the hot
// keys reaching their actions and not the guest, and not at all when switched off; the reconnect after
// the guest drops the connection, with the window painting meanwhile.

#include "screenfixture.h"
#include "xtestinput.h"

#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QRegularExpression>
#include <QtTest>

#include <csignal>
#include <signal.h>

#include <functional>
#include <memory>

namespace {

const char *const kVm = ScreenFixture::kVm;

// The emulator's windows on the X server: the Android window, its picture area and the side bar.
struct Screen
{
    unsigned long window = 0;
    QRect android;
    QRect view;
    QRect menu;
    double scale = 1;
};

// The centre of the n-th button of the side bar's column (0 full screen ... 6 screenshot, 7 shake) on
// a bar `height` pixels tall: the column shrinks in proportion below 756 pixels.
QPoint menuButtonCentre(int n, int height)
{
    int gap = 10;
    int button = 35;
    if (height < 756) {
        const int top = height * 460 / 756;
        gap = 10 * top / 460;
        button = static_cast<int>((top - gap) / 10.0 - gap);
    }
    return QPoint(18, 2 * gap + n * (button + gap) + button / 2);
}

QString base64Text(const QString &text)
{
    return QString::fromLatin1(("<G>" + text + "<P>").toUtf8().toBase64());
}

} // namespace

class TestTouchInput : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void connectionStartsWithConfigAndLocation();
    void protocolLines_data();
    void protocolLines();
    void guestDecodedThePastedText();
    void screenshotLandsInThePictureShare();
    void hotKeys_data();
    void hotKeys();
    void reconnectWhileThePictureKeepsPainting();
    void bossKeyHidesTheWindow();
    void switchedOffHotKeysReachNothing();
    void aKeyPressedAgainWhileTheWindowIsBusy();

private:
    bool findScreen(qint64 pid, Screen *screen);
    void skipWhenAnotherProgramHoldsTheGuest();
    // A connection of another program among `lines` (see skipWhenAnotherProgramHoldsTheGuest).
    bool intruded(const QStringList &lines) const;
    // Runs one line of the input script; false for an unknown step.
    bool step(const QString &command);
    // Waits until the guest has `count` lines more than `before`, and a moment longer for strays.
    QStringList linesAfter(int before, int count, int settleMs = 300);
    QStringList launcherRequests() const;

    std::unique_ptr<ScreenFixture> m_fixture;
    std::unique_ptr<ProgramRun> m_emulator;
    std::unique_ptr<XTestInput> m_x;
    Screen m_screen;
};

bool TestTouchInput::findScreen(qint64 pid, Screen *screen)
{
    QList<XTestInput::TopWindow> windows;
    if (!waitUntil(
            [&] {
                windows = m_x->mappedWindowsOf(pid);
                return windows.size() == 2;
            },
            10000))
        return false;
    std::sort(windows.begin(), windows.end(),
              [](const XTestInput::TopWindow &a, const XTestInput::TopWindow &b) {
                  return a.geometry.width() > b.geometry.width();
              });
    screen->window = windows.at(0).id;
    screen->android = windows.at(0).geometry;
    screen->menu = windows.at(1).geometry;
    // The normal window: the picture fills "showWindow", below the 36-pixel title bar, inside the
    // 2-pixel margins.
    screen->view = QRect(screen->android.x() + 2, screen->android.y() + 38, screen->android.width() - 4,
                         screen->android.height() - 40);
    screen->scale = screen->view.width() / 720.0;
    return true;
}

void TestTouchInput::initTestCase()
{
    if (qEnvironmentVariableIsEmpty("DISPLAY"))
        QSKIP("needs an X display: the input is real X input on the real window");
    m_x = std::make_unique<XTestInput>();
    if (!m_x->isValid())
        QSKIP("the X server has no XTest extension");
    // Caps Lock may be left on by an earlier run on a shared server.
    if (m_x->capsLockOn())
        m_x->tap(QStringLiteral("Caps_Lock"));
    m_fixture = std::make_unique<ScreenFixture>();
    QVERIFY(m_fixture->isValid());
    m_fixture->setGuestControls({{QStringLiteral("boot_ms"), QStringLiteral("0")}});
    m_fixture->writeSetting(QStringLiteral("Geolocation/lng"), 2.35222);
    m_fixture->writeSetting(QStringLiteral("Geolocation/lat"), -48.8566);
    m_emulator = m_fixture->startEmulator();
    QVERIFY(m_emulator);
    QVERIFY2(m_fixture->attachGuest(*m_emulator), qPrintable(m_fixture->tree().logText().right(3000)));
    QVERIFY(m_emulator->waitForText(QLatin1String(ScreenFixture::kShowAndroid), 30000));
    QVERIFY(findScreen(m_emulator->pid(), &m_screen));
    m_x->focus(m_screen.window);
    // The channel stands (a guest slow to listen costs a 2 s retry), and the boot poll has stopped
    // once Android counted as up: from here on only input reaches the guest.
    QVERIFY(waitUntil([this] { return m_fixture->guest().inputLines().size() >= 3; }, 10000));
    QTest::qWait(500);
    skipWhenAnotherProgramHoldsTheGuest();
}

bool TestTouchInput::intruded(const QStringList &lines) const
{
    const QString mine = QStringLiteral("# connected from %1").arg(m_emulator->pid());
    return std::any_of(lines.cbegin(), lines.cend(), [&](const QString &line) {
        return line.startsWith(QLatin1String("# connected from")) && line != mine;
    });
}

void TestTouchInput::skipWhenAnotherProgramHoldsTheGuest()
{
    // Install trees of other test runs on this machine choose their ports on their own; a program of
    // theirs that reached this guest's port would take over its one connection.
    const QString mine = QStringLiteral("# connected from %1").arg(m_emulator->pid());
    for (const QString &line : m_fixture->guest().inputLines()) {
        if (line.startsWith(QLatin1String("# connected from")) && line != mine)
            QSKIP(qPrintable(
                QStringLiteral("another program on this machine (%1) connected to this test's guest")
                    .arg(line.mid(17))));
    }
}

void TestTouchInput::cleanupTestCase()
{
    m_emulator.reset();
    m_fixture.reset();
}

QStringList TestTouchInput::linesAfter(int before, int count, int settleMs)
{
    waitUntil([&] { return m_fixture->guest().inputLines().size() >= before + count; }, 10000);
    QTest::qWait(settleMs);
    return m_fixture->guest().inputLines().mid(before);
}

QStringList TestTouchInput::launcherRequests() const
{
    QFile file(m_fixture->guest().dir() + QStringLiteral("/launcher.log"));
    QStringList hex;
    if (file.open(QIODevice::ReadOnly)) {
        for (const QByteArray &line : file.readAll().split('\n'))
            if (line.indexOf(' ') > 0)
                hex << QString::fromLatin1(line.mid(line.indexOf(' ') + 1));
    }
    return hex;
}

bool TestTouchInput::step(const QString &command)
{
    const QStringList f = command.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    const QString verb = f.value(0);
    if (verb == QLatin1String("move")) // view-local pixels
        m_x->moveTo(m_screen.view.topLeft() + QPoint(f.value(1).toInt(), f.value(2).toInt()));
    else if (verb == QLatin1String("down"))
        m_x->button(f.value(1).toInt(), true);
    else if (verb == QLatin1String("up"))
        m_x->button(f.value(1).toInt(), false);
    else if (verb == QLatin1String("click"))
        m_x->click(f.value(1).toInt());
    else if (verb == QLatin1String("tap"))
        return m_x->tap(f.value(1));
    else if (verb == QLatin1String("press"))
        return m_x->key(f.value(1), true);
    else if (verb == QLatin1String("release"))
        return m_x->key(f.value(1), false);
    else if (verb == QLatin1String("clipboard"))
        QGuiApplication::clipboard()->setText(
            command.section(QLatin1Char(' '), 1).replace(QLatin1String("\\n"), QLatin1String("\n")));
    else if (verb == QLatin1String("menu")) // the n-th button of the side bar's column
        m_x->moveTo(m_screen.menu.topLeft() + menuButtonCentre(f.value(1).toInt(), m_screen.menu.height())),
            m_x->click(1);
    else if (verb == QLatin1String("wait"))
        QTest::qWait(f.value(1).toInt());
    else
        return false;
    // Each step is its own moment, as a user's are; the emulator takes it before the next.
    QTest::qWait(30);
    return true;
}

void TestTouchInput::connectionStartsWithConfigAndLocation()
{
    // The saved location follows the first connection's CONFIG line; with %g's six digits.
    const QStringList lines = m_fixture->guest().inputLines();
    QVERIFY(lines.size() >= 3);
    QCOMPARE(lines.at(0), QStringLiteral("# connected from %1").arg(m_emulator->pid()));
    QCOMPARE(lines.at(1), QStringLiteral("CONFIG:720:1280"));
    QCOMPARE(lines.at(2), QStringLiteral("GPS:str-2.35222|-48.8566"));
}

void TestTouchInput::protocolLines_data()
{
    QTest::addColumn<QStringList>("script");
    QTest::addColumn<QStringList>("expected");
    // Guest point of a view-local point: divided by the scale, truncated.
    const double s = m_screen.scale;
    const auto g = [s](int v) { return static_cast<int>(v / s); };
    const auto pt = [&](int x, int y) { return QStringLiteral("%1:%2").arg(g(x)).arg(g(y)); };
    const QString lift = QStringLiteral("MULTI:0:2");

    QTest::newRow("tap") << QStringList{"move 100 200", "down 1", "up 1"}
                         << QStringList{"MSBPR:" + pt(100, 200), lift, lift, lift, "MSBRL:" + pt(100, 200)};
    QTest::newRow("move without a button sends nothing")
        << QStringList{"move 150 150", "move 160 170", "move 100 200", "down 1", "up 1"}
        << QStringList{"MSBPR:" + pt(100, 200), lift, lift, lift, "MSBRL:" + pt(100, 200)};
    QTest::newRow("drag") << QStringList{"move 50 60", "down 1", "move 80 120", "move 140 300", "up 1"}
                          << QStringList{"MSBPR:" + pt(50, 60),
                                         "MULTI:1:2:" + pt(80, 120),
                                         "MULTI:1:2:" + pt(140, 300),
                                         lift,
                                         lift,
                                         lift,
                                         "MSBRL:" + pt(140, 300)};
    QTest::newRow("right and middle buttons send nothing")
        << QStringList{"move 120 130", "click 3", "click 2", "click 1"}
        << QStringList{"MSBPR:" + pt(120, 130), lift, lift, lift, "MSBRL:" + pt(120, 130)};
    // The key map switched on and off while the finger is down: its release still lifts it.
    QTest::newRow("finger lifted across a key-map switch")
        << QStringList{"move 90 110",     "down 1", "press Control_L",  "tap 1", "release Control_L", "up 1",
                       "press Control_L", "tap 1",  "release Control_L"}
        << QStringList{"MSBPR:" + pt(90, 110), "KBDRL:2:0", lift, lift, lift,
                       "MSBRL:" + pt(90, 110), "KBDRL:2:0"};
    QTest::newRow("wheel up") << QStringList{"move 200 300", "click 4"}
                              << QStringList{"WHEEL:" + pt(200, 300) + ":1:120"};
    QTest::newRow("wheel down") << QStringList{"move 200 300", "click 5"}
                                << QStringList{"WHEEL:" + pt(200, 300) + ":-1:120"};
    {
        // Ctrl + one notch up: the fingers start 80 apart per axis and spread by 2 a step, 6 steps.
        const int x = g(200), y = g(300);
        QStringList spread{
            QStringLiteral("MSBPR:%1:%2").arg(x - 40).arg(y - 40),
            QStringLiteral("MULTI:2:0:%1:%2:%3:%4").arg(x - 40).arg(y - 40).arg(x + 40).arg(y + 40)};
        for (int i = 1; i <= 6; ++i)
            spread << QStringLiteral("MULTI:2:2:%1:%2:%3:%4")
                          .arg(x - 40 - i)
                          .arg(y - 40 - i)
                          .arg(x + 40 + i)
                          .arg(y + 40 + i);
        spread << QStringLiteral("MULTI:1:2:%1:%2").arg(x + 46).arg(y + 46) << lift << lift << lift
               << QStringLiteral("MSBRL:%1:%2").arg(x + 46).arg(y + 46);
        QTest::newRow("ctrl + wheel up spreads two fingers")
            << QStringList{"move 200 300", "press Control_L", "click 4", "release Control_L"} << spread;
        // Ctrl + one notch down: they start 92 apart and close in by 2 a step.
        QStringList pinch{
            QStringLiteral("MSBPR:%1:%2").arg(x - 46).arg(y - 46),
            QStringLiteral("MULTI:2:0:%1:%2:%3:%4").arg(x - 46).arg(y - 46).arg(x + 46).arg(y + 46)};
        for (int i = 1; i <= 6; ++i)
            pinch << QStringLiteral("MULTI:2:2:%1:%2:%3:%4")
                         .arg(x - 46 + i)
                         .arg(y - 46 + i)
                         .arg(x + 46 - i)
                         .arg(y + 46 - i);
        pinch << QStringLiteral("MULTI:1:2:%1:%2").arg(x + 40).arg(y + 40) << lift << lift << lift
              << QStringLiteral("MSBRL:%1:%2").arg(x + 40).arg(y + 40);
        QTest::newRow("ctrl + wheel down pinches")
            << QStringList{"move 200 300", "press Control_L", "click 5", "release Control_L"} << pinch;
    }
    QTest::newRow("letter") << QStringList{"tap a"} << QStringList{"KBDPR:30:1", "KBDRL:30:0"};
    QTest::newRow("digit and shifted digit")
        << QStringList{"tap 1", "press Shift_L", "tap 2", "release Shift_L"}
        << QStringList{"KBDPR:2:1", "KBDRL:2:0", "KBDPR:42:1", "KBDPR:3:1", "KBDRL:3:0", "KBDRL:42:0"};
    QTest::newRow("keypad asterisk and plus are unknown")
        << QStringList{"tap KP_Multiply", "tap KP_Add"}
        << QStringList{"KBDPR:240:1", "KBDRL:240:0", "KBDPR:240:1", "KBDRL:240:0"};
    QTest::newRow("arrows and enter") << QStringList{"tap Left", "tap Down", "tap Return"}
                                      << QStringList{"KBDPR:105:1", "KBDRL:105:0", "KBDPR:108:1",
                                                     "KBDRL:108:0", "KBDPR:28:1",  "KBDRL:28:0"};
    QTest::newRow("caps lock puts shift around letters")
        << QStringList{"tap Caps_Lock", "tap a", "tap Caps_Lock", "tap a"}
        << QStringList{"KBDPR:58:1", "KBDRL:58:0", "KBDPR:42:1", "KBDPR:30:1", "KBDRL:30:0",
                       "KBDRL:42:0", "KBDPR:58:1", "KBDRL:58:0", "KBDPR:30:1", "KBDRL:30:0"};
    QTest::newRow("ctrl and alt alone send nothing, ctrl + c only the c")
        << QStringList{"tap Control_L", "tap Alt_L", "press Control_L", "tap c", "release Control_L", "tap b"}
        << QStringList{"KBDPR:46:1", "KBDRL:46:0", "KBDPR:48:1", "KBDRL:48:0"};
    QTest::newRow("pasted text, line feeds as blanks")
        << QStringList{"clipboard h\u00e9llo\\nw\u00f6rld", "press Control_L", "tap v", "release Control_L"}
        // The release of V is not compared with the commands and reaches the guest, as every release does.
        << QStringList{"INPUTTEXT:str-" + base64Text(QStringLiteral("h\u00e9llo w\u00f6rld")), "KBDRL:47:0"};
    QTest::newRow("f11 goes full screen and back and reaches the guest")
        << QStringList{"tap F11", "wait 300", "tap F11", "wait 300"}
        << QStringList{"KBDPR:87:1", "KBDRL:87:0", "KBDPR:87:1", "KBDRL:87:0"};
    QTest::newRow("shake") << QStringList{"menu 7", "wait 1500"} << QStringList{"SHAKE"};
    QTest::newRow("screenshot") << QStringList{"menu 6"} << QStringList{"SCREENCAP"};
}

void TestTouchInput::protocolLines()
{
    QFETCH(QStringList, script);
    QFETCH(QStringList, expected);
    m_x->focus(m_screen.window);
    QTest::qWait(50);
    const int before = m_fixture->guest().inputLines().size();
    for (const QString &command : script)
        QVERIFY2(step(command), qPrintable(command));
    QStringList lines = linesAfter(before, expected.size());
    if (intruded(lines))
        QSKIP("another program on this machine connected to this test's guest");
    // The picture-share watcher announces a screenshot on its own time; screenshotLandsInThePictureShare
    // checks that broadcast.
    lines.erase(std::remove_if(lines.begin(), lines.end(),
                               [](const QString &l) {
                                   return l.startsWith(QLatin1String("SHELL_CMD:str-am broadcast"));
                               }),
                lines.end());
    QVERIFY2(lines == expected, qPrintable(lines.join(QLatin1Char('|'))));
    // The window is back where it was (full screen and the shake both return it).
    Screen now;
    QVERIFY(findScreen(m_emulator->pid(), &now));
    QCOMPARE(now.android, m_screen.android);
}

void TestTouchInput::guestDecodedThePastedText()
{
    QFile text(m_fixture->guest().dir() + QStringLiteral("/text.log"));
    QVERIFY(text.open(QIODevice::ReadOnly));
    QVERIFY(QString::fromUtf8(text.readAll()).endsWith(QStringLiteral(" h\u00e9llo w\u00f6rld\n")));
}

void TestTouchInput::screenshotLandsInThePictureShare()
{
    // The answer to the screenshot row: the guest wrote the picture into the picture share and the
    // emulator was told its name.
    QString name;
    QVERIFY(waitUntil(
        [&] {
            const QRegularExpressionMatch m =
                QRegularExpression(QStringLiteral("Android    : screenshot (\\S+)"))
                    .match(m_fixture->tree().logText());
            name = m.captured(1);
            return m.hasMatch();
        },
        10000));
    QVERIFY2(QFile::exists(m_fixture->tree().installDir() + QStringLiteral("/share/") + QLatin1String(kVm) +
                           QStringLiteral("/image/") + name),
             qPrintable(name));
    // The new picture is announced to the guest's media side.
    QVERIFY(waitUntil(
        [&] {
            return m_fixture->guest().inputLines().contains(
                QStringLiteral(
                    "SHELL_CMD:str-am broadcast -a com.corvel.ShareFileChangeBroadCastReceiver  --ei "
                    "SET_ALL_FILE_KEY 1 --es ALL_FILE_PATH_KEY \"%1\"")
                    .arg(name));
        },
        10000));
}

// A key let go and pressed again while the program was busy (here: stopped) is two presses and two
// releases for the guest, although the key is down again by the time the program reads the release.
void TestTouchInput::aKeyPressedAgainWhileTheWindowIsBusy()
{
    m_x->focus(m_screen.window);
    QTest::qWait(50);
    const int before = m_fixture->guest().inputLines().size();
    const pid_t pid = static_cast<pid_t>(m_emulator->pid());
    QCOMPARE(::kill(pid, SIGSTOP), 0);
    const auto resume = qScopeGuard([pid] { ::kill(pid, SIGCONT); });
    QVERIFY(m_x->key(QStringLiteral("a"), true));
    QVERIFY(m_x->key(QStringLiteral("a"), false));
    // Apart in time, so that the release and the next press are not one auto-repeat.
    QThread::msleep(30);
    QVERIFY(m_x->key(QStringLiteral("a"), true));
    QCOMPARE(::kill(pid, SIGCONT), 0);
    QStringList lines = linesAfter(before, 3);
    QVERIFY(m_x->key(QStringLiteral("a"), false));
    lines = linesAfter(before, 4);
    if (intruded(lines))
        QSKIP("another program on this machine connected to this test's guest");
    lines.erase(std::remove_if(lines.begin(), lines.end(),
                               [](const QString &l) { return !l.startsWith(QLatin1String("KBD")); }),
                lines.end());
    QCOMPARE(lines, (QStringList{"KBDPR:30:1", "KBDRL:30:0", "KBDPR:30:1", "KBDRL:30:0"}));
}

void TestTouchInput::hotKeys_data()
{
    QTest::addColumn<QStringList>("script");
    QTest::addColumn<QStringList>("guestLines");
    QTest::addColumn<QStringList>("launcher"); // requests, in hexadecimal
    QTest::addColumn<QString>("logText");
    QTest::newRow("esc is android back")
        << QStringList{"tap Escape"} << QStringList{"KBDPR:158:1", "KBDRL:158:0"} << QStringList()
        << "Android    : back from 1";
    QTest::newRow("home") << QStringList{"tap Home"} << QStringList() << QStringList{"08020a"}
                          << "Android    : home from 1";
    QTest::newRow("page up is the task menu") << QStringList{"tap Prior"} << QStringList()
                                              << QStringList{"08030a"} << "Android    : task menu from 1";
    // No package has reported itself, so there is no switch to flip: the key reaches the switch and
    // nothing else.
    QTest::newRow("ctrl + 1 reaches the key-map switch")
        << QStringList{"press Control_L", "tap 1", "release Control_L"} << QStringList() << QStringList()
        << "Android    : key map switch:  has no key map";
    QTest::newRow("f3 stops the script")
        << QStringList{"tap F3"} << QStringList() << QStringList{"08010a"} << "Android    : stop script";
    QTest::newRow("ctrl + = and ctrl + - to the launcher")
        << QStringList{"press Control_L", "tap equal", "tap minus", "release Control_L"} << QStringList()
        << QStringList{"0811120131"
                       "0a",
                       "0811120130"
                       "0a"}
        << QString();
}

void TestTouchInput::hotKeys()
{
    QFETCH(QStringList, script);
    QFETCH(QStringList, guestLines);
    QFETCH(QStringList, launcher);
    QFETCH(QString, logText);
    m_x->focus(m_screen.window);
    QTest::qWait(50);
    const int before = m_fixture->guest().inputLines().size();
    const int launcherBefore = launcherRequests().size();
    for (const QString &command : script)
        QVERIFY2(step(command), qPrintable(command));
    // The key presses reach their actions only; their releases go to the guest as the Part says
    // (releases are not compared with the shortcuts), so only presses are checked here.
    QStringList lines = linesAfter(before, guestLines.size(), 500);
    if (intruded(lines))
        QSKIP("another program on this machine connected to this test's guest");
    lines.erase(std::remove_if(lines.begin(), lines.end(),
                               [](const QString &l) {
                                   return l.startsWith(QLatin1String("KBDRL:")) && l != "KBDRL:158:0";
                               }),
                lines.end());
    QCOMPARE(lines, guestLines);
    QVERIFY(waitUntil([&] { return launcherRequests().size() >= launcherBefore + launcher.size(); }, 5000));
    QCOMPARE(launcherRequests().mid(launcherBefore), launcher);
    if (!logText.isEmpty())
        QVERIFY(waitUntil([&] { return m_fixture->tree().logText().contains(logText); }, 5000));
}

void TestTouchInput::reconnectWhileThePictureKeepsPainting()
{
    const auto connections = [this] {
        return m_fixture->guest()
            .inputLines()
            .filter(QRegularExpression(QStringLiteral("^# connected")))
            .size();
    };
    const auto repaints = [this] {
        return m_fixture->renderTrace().filter(QStringLiteral("AndroVM_repaintOpenGLDisplay()")).size();
    };
    const int connectionsBefore = connections();
    const int before = m_fixture->guest().inputLines().size();
    QElapsedTimer timer;
    timer.start();
    m_fixture->guest().request(QStringLiteral("drop"));
    QVERIFY(waitUntil([&] { return m_fixture->guest().inputLines().contains(QStringLiteral("# dropped")); },
                      3000));
    const qint64 dropped = timer.elapsed();
    // While the channel waits to reconnect the window still takes the user's hand and paints: its
    // corner dragged up, it is drawn anew at the new size.
    QTest::qWait(200);
    const int repaintsBefore = repaints();
    const QPoint corner = m_screen.android.bottomRight() - QPoint(1, 1);
    m_x->moveTo(corner);
    QTest::qWait(50);
    m_x->button(1, true);
    for (int dy = 10; dy <= 60; dy += 10) {
        m_x->moveTo(corner - QPoint(0, dy));
        QTest::qWait(20);
    }
    m_x->button(1, false);
    Screen resized;
    QVERIFY(waitUntil(
        [&] {
            return findScreen(m_emulator->pid(), &resized) &&
                   resized.android.height() < m_screen.android.height();
        },
        1000));
    QVERIFY(waitUntil([&] { return repaints() > repaintsBefore; }, 1000));
    m_screen = resized;
    QCOMPARE(connections(), connectionsBefore);
    QVERIFY(waitUntil([&] { return connections() == connectionsBefore + 1; }, 5000));
    const qint64 back = timer.elapsed() - dropped;
    QVERIFY2(back >= 1500 && back <= 3200, qPrintable(QString::number(back)));
    const QStringList lines = linesAfter(before, 3);
    QCOMPARE(lines.mid(0, 3), (QStringList{QStringLiteral("# dropped"),
                                           QStringLiteral("# connected from %1").arg(m_emulator->pid()),
                                           QStringLiteral("CONFIG:720:1280")}));
    // Input goes to the new connection.
    m_x->focus(m_screen.window);
    QTest::qWait(50);
    const int now = m_fixture->guest().inputLines().size();
    QVERIFY(step(QStringLiteral("tap a")));
    QCOMPARE(linesAfter(now, 2), (QStringList{"KBDPR:30:1", "KBDRL:30:0"}));
}

void TestTouchInput::bossKeyHidesTheWindow()
{
    m_x->focus(m_screen.window);
    QTest::qWait(50);
    const int before = m_fixture->guest().inputLines().size();
    QVERIFY(step(QStringLiteral("press Control_L")));
    QVERIFY(step(QStringLiteral("press Alt_L")));
    QVERIFY(step(QStringLiteral("tap x")));
    QVERIFY(step(QStringLiteral("release Alt_L")));
    QVERIFY(step(QStringLiteral("release Control_L")));
    QVERIFY(waitUntil([&] { return m_x->mappedWindowsOf(m_emulator->pid()).isEmpty(); }, 5000));
    // The press reached the window's action only; the release of X follows the Part's rule.
    const QStringList lines = linesAfter(before, 0, 300);
    QVERIFY2(lines.filter(QStringLiteral("KBDPR")).isEmpty(), qPrintable(lines.join(QLatin1Char(' '))));
}

void TestTouchInput::switchedOffHotKeysReachNothing()
{
    // A second emulator with the home and boss keys switched off: the keys are taken and do nothing.
    m_emulator.reset();
    m_fixture.reset();
    m_fixture = std::make_unique<ScreenFixture>();
    QVERIFY(m_fixture->isValid());
    m_fixture->setGuestControls({{QStringLiteral("boot_ms"), QStringLiteral("0")}});
    m_fixture->writeSetting(QStringLiteral("Orvanta/Shortcuts/HomeKeyIsEnable"), false);
    m_fixture->writeSetting(QStringLiteral("Orvanta/Shortcuts/BossKeyIsEnable"), false);
    m_emulator = m_fixture->startEmulator();
    QVERIFY(m_emulator);
    QVERIFY(m_fixture->attachGuest(*m_emulator));
    QVERIFY(m_emulator->waitForText(QLatin1String(ScreenFixture::kShowAndroid), 30000));
    QVERIFY(findScreen(m_emulator->pid(), &m_screen));
    m_x->focus(m_screen.window);
    QVERIFY(waitUntil([this] { return m_fixture->guest().inputLines().contains("CONFIG:720:1280"); }, 10000));
    QTest::qWait(500);
    skipWhenAnotherProgramHoldsTheGuest();
    const int before = m_fixture->guest().inputLines().size();
    for (const char *command : {"tap Home", "press Control_L", "press Alt_L", "tap x", "release Alt_L",
                                "release Control_L", "tap Escape"})
        QVERIFY2(step(QLatin1String(command)), command);
    // Escape, still switched on, is the one that acts.
    QStringList lines = linesAfter(before, 2, 800);
    if (intruded(lines))
        QSKIP("another program on this machine connected to this test's guest");
    lines.erase(std::remove_if(lines.begin(), lines.end(),
                               [](const QString &l) {
                                   return l.startsWith(QLatin1String("KBDRL:")) && l != "KBDRL:158:0";
                               }),
                lines.end());
    QVERIFY2(lines == (QStringList{"KBDPR:158:1", "KBDRL:158:0"}), qPrintable(lines.join(QLatin1Char('|'))));
    QCOMPARE(launcherRequests(), QStringList());
    QCOMPARE(m_x->mappedWindowsOf(m_emulator->pid()).size(), 2);
    QVERIFY(!m_fixture->tree().logText().contains(QStringLiteral("Android    : home from")));
}

QTEST_MAIN(TestTouchInput)
#include "tst_touchinput.moc"
