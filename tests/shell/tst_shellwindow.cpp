// The real emulator on an X server of this test's own, with Debian's stand-alone tray host (trayer)
// running, against the simulated tool and guest. Real X input (XTest) clicks the side bar, the title
// bar and the tray icon; the test reads what the peers see: the launcher's request bytes, the guest's
// input lines, the programs started, the usage events in the log, the windows on the server and their
// pixels. Screenshots of the windows and dialogs are kept as test artefacts.

#include "picturesonscreen.h"
#include "screenfixture.h"
#include "testartefacts.h"
#include "xtestinput.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QScreen>
#include <QSettings>
#include <QStandardPaths>
#include <QUrl>
#include <QtTest>

#include <algorithm>
#include <memory>

namespace {

// The longest wait for something a step brings about (a window shown or gone, a request at the guest):
// generous, as the machine may be busy with other work; waits end as soon as the event is there.
constexpr int kEventMs = 30000;

// The emulator's windows on the X server.
struct Screen
{
    unsigned long window = 0;
    QRect android;
    QRect menu;
};

// The centre of the n-th button of the side bar's column, for a bar `height` tall.
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

// The bottom buttons: 0 return, 1 home, 2 task.
QPoint bottomButtonCentre(int n, int height)
{
    const int bottom = height < 756 ? height * 165 / 756 : 165;
    const int step = static_cast<int>(bottom / 3.0);
    return QPoint(19, height - bottom + n * step + 17);
}

// One of the window shell's pictures.
QImage picture(const QString &name)
{
    return QImage(QStringLiteral(ORV_SOURCE_DIR "/resources/images/") + name + QStringLiteral(".png"));
}

// Whether the picture is drawn at its size in `area` of `image`; `where` gets its centre.
bool containsPicture(const QImage &image, const QRect &area, const QString &name, QPoint *where = nullptr)
{
    const QPoint at = PicturesOnScreen::findPictureIn(image, area, picture(name));
    if (where)
        *where = at;
    return !at.isNull();
}

bool containsColour(const QImage &image, const QRect &area, QRgb colour, QPoint *where = nullptr)
{
    const QRect r = area.intersected(image.rect());
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x)
            if ((image.pixel(x, y) | 0xff000000) == colour) {
                if (where)
                    *where = QPoint(x, y);
                return true;
            }
    return false;
}

QImage grab(const QRect &area)
{
    QScreen *screen = QGuiApplication::primaryScreen();
    return screen->grabWindow(0, area.x(), area.y(), area.width(), area.height()).toImage();
}

} // namespace

class TestShellWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void startUpBalloonAndTrayIcon();
    void windowLook();
    void menuActions_data();
    void menuActions();
    void wiringIsComplete();
    void titleBarDialogs();
    void maximiseAndBack();
    void screenshotNotice();
    void bossKeyAndLauncher();
    void trayMenu();
    void bossKeyWithoutSilentMode();

private:
    bool findScreen(Screen *screen);
    QStringList launcherRequests() const;
    QString log() const { return m_fixture->tree().logText(); }
    bool waitForLog(const QString &pattern, int from = 0, int ms = kEventMs) const;
    QList<XTestInput::TopWindow> otherWindows() const;
    QString describeOthers() const;
    void clickAt(const QPoint &global, int button = 1);
    void startEmulator(bool silent);
    void save(const QImage &image, const QString &name) const;
    QPoint titleButton(const QString &picture);

    std::unique_ptr<ScreenFixture> m_fixture;
    std::unique_ptr<ProgramRun> m_emulator;
    std::unique_ptr<XTestInput> m_x;
    QProcess m_trayer;
    Screen m_screen;
};

void TestShellWindow::initTestCase()
{
    if (qEnvironmentVariableIsEmpty("DISPLAY"))
        QSKIP("needs an X display");
    m_x = std::make_unique<XTestInput>();
    if (!m_x->isValid())
        QSKIP("the X server has no XTest extension");
    if (QStandardPaths::findExecutable(QStringLiteral("trayer")).isEmpty())
        QSKIP("needs Debian's trayer (scripts/setup installs it)");
    m_trayer.start(QStringLiteral("trayer"),
                   {QStringLiteral("--edge"), QStringLiteral("top"), QStringLiteral("--align"),
                    QStringLiteral("right"), QStringLiteral("--widthtype"), QStringLiteral("request"),
                    QStringLiteral("--height"), QStringLiteral("32"), QStringLiteral("--SetDockType"),
                    QStringLiteral("false")});
    QVERIFY(m_trayer.waitForStarted());
    QVERIFY(waitUntil([this] { return !m_x->mappedWindowsOf(m_trayer.processId()).isEmpty(); }, kEventMs));
    startEmulator(true);
}

void TestShellWindow::startEmulator(bool silent)
{
    if (m_emulator) {
        // The machine goes down in order (its guest lets go of its ports) before the next one starts.
        ProgramRun stop(
            m_fixture->tree(), QStringLiteral("Orvanta"),
            {QStringLiteral("-vm=") + QLatin1String(ScreenFixture::kVm), QStringLiteral("-stop")});
        stop.run();
        m_emulator->waitForFinished(30000);
    }
    m_emulator.reset();
    // The fixture puts its temporary folder into the environment and takes it back when it goes.
    m_fixture.reset();
    m_fixture = std::make_unique<ScreenFixture>();
    QVERIFY(m_fixture->isValid());
    m_fixture->tree().addRecorder(QStringLiteral("xdg-open"), m_fixture->tree().binDir());
    m_fixture->setGuestControls({{QStringLiteral("boot_ms"), QStringLiteral("0")}});
    m_fixture->writeSetting(QStringLiteral("Orvanta/Shortcuts/IsSilent"), silent);
    m_emulator = m_fixture->startEmulator();
    QVERIFY(m_emulator);
    QVERIFY2(m_fixture->attachGuest(*m_emulator), qPrintable(log().right(3000)));
    QVERIFY(m_emulator->waitForText(QLatin1String(ScreenFixture::kShowAndroid), 30000));
    QVERIFY(findScreen(&m_screen));
    if (!waitUntil([this] { return m_fixture->guest().inputLines().size() >= 3; }, 20000)) {
        // The emulator's channel stands, but this test's guest saw no connection: a guest of another
        // test run on this machine answered at the same port.
        if (m_fixture->guest().inputLines().isEmpty() && log().contains(QLatin1String("vinput connect ok")))
            QSKIP("another program on this machine answered at this test's guest port");
        QFAIL(qPrintable(m_fixture->guest().inputLines().join(QLatin1Char('|')) + QLatin1Char('\n') +
                         log().right(2500)));
    }
    QTest::qWait(500);
}

void TestShellWindow::cleanupTestCase()
{
    m_emulator.reset();
    m_fixture.reset();
    if (m_trayer.state() != QProcess::NotRunning) {
        m_trayer.terminate();
        m_trayer.waitForFinished(3000);
    }
}

bool TestShellWindow::findScreen(Screen *screen)
{
    return waitUntil(
        [&] {
            const QList<XTestInput::TopWindow> windows = m_x->mappedWindowsOf(m_emulator->pid());
            bool android = false;
            bool menu = false;
            for (const XTestInput::TopWindow &w : windows) {
                if (w.geometry.width() == 40 && w.geometry.height() > 100) {
                    screen->menu = w.geometry;
                    menu = true;
                } else if (w.geometry.width() > 200 && w.geometry.height() > 300) {
                    screen->window = w.id;
                    screen->android = w.geometry;
                    android = true;
                }
            }
            // The side bar follows the window when it moves or changes size, a moment later on a busy
            // machine: the two count once the bar stands where the window places it (beside it, or inside
            // it at the right when maximised).
            const bool placed = (qAbs(screen->menu.right() - screen->android.right()) <= 2 &&
                                 screen->menu.y() > screen->android.y()) ||
                                (qAbs(screen->menu.y() - screen->android.y()) <= 2 &&
                                 qAbs(screen->menu.x() - screen->android.right()) <= 2);
            return android && menu && placed;
        },
        kEventMs);
}

QString TestShellWindow::describeOthers() const
{
    QStringList text;
    for (const XTestInput::TopWindow &w : otherWindows())
        text << QStringLiteral("%1,%2 %3x%4")
                    .arg(w.geometry.x())
                    .arg(w.geometry.y())
                    .arg(w.geometry.width())
                    .arg(w.geometry.height());
    return text.join(QStringLiteral("; "));
}

QList<XTestInput::TopWindow> TestShellWindow::otherWindows() const
{
    // The tray's balloons show by the tray host at the top right for ten seconds: not counted.
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    const QRect balloons(screen.right() - 400, 0, 401, 200);
    QList<XTestInput::TopWindow> others;
    for (const XTestInput::TopWindow &w : m_x->mappedWindowsOf(m_emulator->pid()))
        if (w.id != m_screen.window && w.geometry != m_screen.menu && !balloons.contains(w.geometry))
            others << w;
    return others;
}

QStringList TestShellWindow::launcherRequests() const
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

bool TestShellWindow::waitForLog(const QString &pattern, int from, int ms) const
{
    const QRegularExpression re(pattern);
    return waitUntil([&] { return re.match(log().mid(from)).hasMatch(); }, ms);
}

void TestShellWindow::clickAt(const QPoint &global, int button)
{
    m_x->moveTo(global);
    QTest::qWait(80);
    m_x->click(button);
}

void TestShellWindow::save(const QImage &image, const QString &name) const
{
    QVERIFY(image.save(TestArtefacts::path(QStringLiteral("shellwindow-") + name + QStringLiteral(".png"))));
}

void TestShellWindow::startUpBalloonAndTrayIcon()
{
    // The start-up balloon went to the tray host, which runs: no "no notification area" line.
    QVERIFY2(waitForLog(QStringLiteral("Tray       : balloon: Orvanta is starting.")),
             qPrintable(log().left(4000)));
    QVERIFY(!log().contains(QLatin1String("no notification area")));
    // The icon is embedded in the tray host's window.
    const QList<XTestInput::TopWindow> trayer = m_x->mappedWindowsOf(m_trayer.processId());
    QVERIFY(!trayer.isEmpty());
    QVERIFY(trayer.first().geometry.width() >= 16);
}

void TestShellWindow::windowLook()
{
    // The Android window with its title bar and the side bar, each placeholder picture in its place.
    const QRect all = m_screen.android.united(m_screen.menu);
    const QImage shot = grab(all);
    save(shot, QStringLiteral("android-window"));
    const QRect titleBar(0, 0, m_screen.android.width(), 38);
    for (const char *picture : {"title_more", "title_not_top", "title_setting", "title_systemInfo",
                                "title_min", "title_max", "title_close"})
        QVERIFY2(containsPicture(shot, titleBar, QLatin1String(picture)), picture);
    const QRect bar(m_screen.menu.x() - all.x(), 0, 40, m_screen.menu.height());
    for (const char *picture : {"menu_full", "menu_keyboard_off", "menu_install_apk", "menu_script_off",
                                "menu_multi_player", "menu_virtual_location", "menu_screenshot", "menu_shake",
                                "menu_share", "menu_voice", "menu_return", "menu_home", "menu_task"})
        QVERIFY2(containsPicture(shot, bar, QLatin1String(picture)), picture);
    // The title bar shows the frame rate once Android is up.
    QVERIFY(!containsPicture(shot, bar, QStringLiteral("menu_keyboard_on")));

    // The keyboard button's menu on a right click, at the pointer.
    clickAt(m_screen.menu.topLeft() + menuButtonCentre(1, m_screen.menu.height()), 3);
    QVERIFY(waitUntil([this] { return !otherWindows().isEmpty(); }, kEventMs));
    const QRect menu = otherWindows().first().geometry;
    QTest::qWait(300);
    save(grab(menu.united(m_screen.menu)), QStringLiteral("keyboard-menu"));
    m_x->tap(QStringLiteral("Escape"));
    QVERIFY2(waitUntil([this] { return otherWindows().isEmpty(); }, kEventMs), qPrintable(describeOthers()));
    // It opened at the pointer (a corner of it there, whichever way it had room to open).
    const QPoint pointer = m_screen.menu.topLeft() + menuButtonCentre(1, m_screen.menu.height());
    QVERIFY2(
        menu.adjusted(-2, -2, 2, 2).contains(pointer),
        qPrintable(
            QStringLiteral("%1,%2 %3x%4").arg(menu.x()).arg(menu.y()).arg(menu.width()).arg(menu.height())));
    // A right click on another button opens nothing.
    clickAt(m_screen.menu.topLeft() + menuButtonCentre(2, m_screen.menu.height()), 3);
    QTest::qWait(500);
    QVERIFY(otherWindows().isEmpty());
}

void TestShellWindow::menuActions_data()
{
    QTest::addColumn<QString>("button");       // "menu <n>", "bottom <n>"
    QTest::addColumn<QString>("slot");         // the window's slot; skipped while the window has none
    QTest::addColumn<QStringList>("launcher"); // request bytes, hexadecimal
    QTest::addColumn<QStringList>("guest");    // input lines
    QTest::addColumn<QString>("logPattern");   // the usage event and other log lines
    QTest::newRow("return") << "bottom 0"
                            << "" << QStringList() << QStringList{"KBDPR:158:1", "KBDRL:158:0"}
                            << "report map :  2008  mapValue :  \"0\"";
    QTest::newRow("home") << "bottom 1"
                          << "" << QStringList{"08020a"} << QStringList()
                          << "report map :  2009  mapValue :  \"0\"";
    QTest::newRow("task") << "bottom 2"
                          << "" << QStringList{"08030a"} << QStringList()
                          << "report map :  2010  mapValue :  \"0\"";
    QTest::newRow("stop script") << "menu 3"
                                 << "" << QStringList{"08010a"} << QStringList() << "report key :  2006";
    QTest::newRow("screenshot") << "menu 6"
                                << "" << QStringList() << QStringList{"SCREENCAP"} << "report key :  2011";
    QTest::newRow("shake") << "menu 7"
                           << "" << QStringList() << QStringList{"SHAKE"} << "report key :  2014";
    QTest::newRow("multi player") << "menu 4"
                                  << "at_menu_multi_player_click" << QStringList() << QStringList()
                                  << "menuMultiPlayer";
}

void TestShellWindow::menuActions()
{
    QFETCH(QString, button);
    QFETCH(QString, slot);
    QFETCH(QStringList, launcher);
    QFETCH(QStringList, guest);
    QFETCH(QString, logPattern);
    if (!slot.isEmpty() && log().contains(QStringLiteral("no slot for the menu: ") + slot))
        QSKIP(qPrintable(QStringLiteral("the window has no slot %1 yet (see wiringIsComplete)").arg(slot)));
    const int logFrom = log().size();
    const int linesBefore = m_fixture->guest().inputLines().size();
    const int launcherBefore = launcherRequests().size();
    const QStringList parts = button.split(QLatin1Char(' '));
    const int n = parts.value(1).toInt();
    const QPoint local = parts.first() == QLatin1String("menu")
                             ? menuButtonCentre(n, m_screen.menu.height())
                             : bottomButtonCentre(n, m_screen.menu.height());
    clickAt(m_screen.menu.topLeft() + local);
    QVERIFY2(waitForLog(QRegularExpression::escape(logPattern), logFrom), qPrintable(log().mid(logFrom)));
    QVERIFY(
        waitUntil([&] { return launcherRequests().size() >= launcherBefore + launcher.size(); }, kEventMs));
    const auto sentLines = [&] {
        QStringList lines = m_fixture->guest().inputLines().mid(linesBefore);
        lines.erase(std::remove_if(lines.begin(), lines.end(),
                                   [](const QString &l) { return l.startsWith(QLatin1Char('#')); }),
                    lines.end());
        // The picture share's watcher may announce the new picture to the guest's media scanner.
        lines.erase(
            std::remove_if(lines.begin(), lines.end(),
                           [](const QString &l) { return l.startsWith(QLatin1String("SHELL_CMD:")); }),
            lines.end());
        return lines;
    };
    // The expected lines arrive in their own time; then a moment more for any line too many.
    QVERIFY(waitUntil([&] { return sentLines().size() >= guest.size(); }, kEventMs));
    QTest::qWait(300);
    QCOMPARE(launcherRequests().mid(launcherBefore), launcher);
    const QStringList lines = sentLines();
    QVERIFY2(lines == guest, qPrintable(lines.join(QLatin1Char('|'))));
    // The window is back where it was (the shake ends where it started).
    Screen now;
    QVERIFY(waitUntil([&] { return findScreen(&now) && now.android == m_screen.android; }, kEventMs));
}

void TestShellWindow::wiringIsComplete()
{
    // Every menu button reaches a slot of the window; the log names any that does not.
    const QRegularExpression missing(QStringLiteral("no slot for the menu: (\\S+)"));
    QStringList names;
    for (auto it = missing.globalMatch(log()); it.hasNext();)
        names << it.next().captured(1);
    QVERIFY2(names.isEmpty(), qPrintable(QStringLiteral("not wired: ") + names.join(QStringLiteral(", "))));
}

QPoint TestShellWindow::titleButton(const QString &picture)
{
    // Each button shows its own picture: found by its shape in the title bar.
    const QRect bar(m_screen.android.topLeft(), QSize(m_screen.android.width(), 38));
    QPoint at;
    if (!containsPicture(grab(bar), QRect(QPoint(0, 0), bar.size()), picture, &at))
        return QPoint(-1, -1);
    return bar.topLeft() + at;
}

void TestShellWindow::titleBarDialogs()
{
    // The screenshot notice of an earlier row has gone.
    QVERIFY2(waitUntil([this] { return otherWindows().isEmpty(); }, kEventMs), qPrintable(describeOthers()));
    const QRect a = m_screen.android;
    const auto buttonAt = [&](int index) { // 3 top, 5 info, 6 more
        const char *names[] = {"title_close",   "title_max",        "title_min", "title_not_top",
                               "title_setting", "title_systemInfo", "title_more"};
        return titleButton(QLatin1String(names[index]));
    };

    // System information.
    clickAt(buttonAt(5));
    QVERIFY(waitUntil([this] { return !otherWindows().isEmpty(); }, kEventMs));
    XTestInput::TopWindow info = otherWindows().first();
    QCOMPARE(info.geometry.size(), QSize(740, 680));
    QTest::qWait(300);
    save(grab(info.geometry), QStringLiteral("system-information"));
    QVERIFY(containsPicture(grab(info.geometry), QRect(30, 20, 13, 22), QStringLiteral("fun_dialog_return")));
    clickAt(info.geometry.topLeft() + QPoint(36, 31));
    QVERIFY2(waitUntil([this] { return otherWindows().isEmpty(); }, kEventMs), qPrintable(describeOthers()));

    // The feedback pop-up, under the bar at the window's right.
    const int logFrom = log().size();
    clickAt(buttonAt(6));
    QVERIFY(waitUntil([this] { return !otherWindows().isEmpty(); }, kEventMs));
    const QRect popup = otherWindows().first().geometry;
    QCOMPARE(popup.topLeft(), QPoint(a.x() + a.width() - 256, a.y() + 36));
    // 93 wide, or wider where its English entries need it.
    QCOMPARE(popup.height(), 152);
    QVERIFY(popup.width() >= 93);
    QTest::qWait(300);
    save(grab(popup.adjusted(-20, -40, 20, 20)), QStringLiteral("feedback-menu"));
    // The background is stretched to the pop-up's size: found by the colour that fills it.
    QVERIFY(containsColour(grab(popup), QRect(0, 0, 93, 7),
                           PicturesOnScreen::mainColour(picture(QStringLiteral("popup_menu_background")))));
    // Its second entry opens the feedback form.
    clickAt(popup.topLeft() + QPoint(46, 60));
    QVERIFY(waitUntil(
        [this] {
            const auto others = otherWindows();
            return others.size() == 1 && others.first().geometry.size() == QSize(740, 680);
        },
        5000));
    const QRect form = otherWindows().first().geometry;
    QTest::qWait(300);
    save(grab(form), QStringLiteral("feedback-form"));
    clickAt(form.topLeft() + QPoint(36, 31));
    QVERIFY2(waitUntil([this] { return otherWindows().isEmpty(); }, kEventMs), qPrintable(describeOthers()));

    // Keep on top, twice: reported twice.
    clickAt(buttonAt(3));
    QTest::qWait(300);
    m_x->moveTo(a.center());
    QTest::qWait(300);
    clickAt(titleButton(QStringLiteral("title_top")));
    QVERIFY(waitUntil([&] { return log().mid(logFrom).count(QStringLiteral("report key :  2012")) == 2; },
                      kEventMs));
}

void TestShellWindow::maximiseAndBack()
{
    const QRect before = m_screen.android;
    clickAt(titleButton(QStringLiteral("title_max")));
    const QRect available = QGuiApplication::primaryScreen()->availableGeometry();
    QVERIFY(waitUntil(
        [&] {
            Screen now;
            return findScreen(&now) && now.android == available;
        },
        5000));
    Screen maximised;
    QVERIFY(findScreen(&maximised));
    // Maximised, the side bar lies inside the window under the title bar, and the bar shows the restore
    // picture.
    QCOMPARE(maximised.menu.right(), available.right());
    QVERIFY(maximised.menu.top() > available.top() + 30 && maximised.menu.top() < available.top() + 40);
    // And it is seen there, over the window (its own background colour, not the window's picture).
    const auto barSeen = [&] {
        const QImage bar = grab(maximised.menu);
        int count = 0;
        for (int y = 0; y < bar.height(); ++y)
            for (int x = 0; x < bar.width(); ++x)
                if ((bar.pixel(x, y) | 0xff000000) == qRgb(0x2e, 0x32, 0x3b))
                    ++count;
        return count * 2 > bar.width() * bar.height();
    };
    QVERIFY(waitUntil(barSeen, 5000));
    QTest::qWait(300);
    const QImage shot = grab(QRect(available.topLeft(), QSize(available.width(), 40)));
    save(shot, QStringLiteral("maximised-title"));
    QVERIFY(containsPicture(shot, shot.rect(), QStringLiteral("title_small")));
    // A double click on the bar brings it back.
    m_x->moveTo(available.topLeft() + QPoint(200, 18));
    QTest::qWait(80);
    m_x->click(1);
    m_x->click(1);
    QVERIFY(waitUntil(
        [&] {
            Screen now;
            return findScreen(&now) && now.android == before;
        },
        5000));
    QVERIFY(findScreen(&m_screen));
}

void TestShellWindow::screenshotNotice()
{
    QVERIFY2(waitUntil([this] { return otherWindows().isEmpty(); }, kEventMs), qPrintable(describeOthers()));
    const int logFrom = log().size();
    const int callsBefore = m_fixture->tree().calls(QStringLiteral("xdg-open")).size();
    clickAt(m_screen.menu.topLeft() + menuButtonCentre(6, m_screen.menu.height()));
    QVERIFY(waitForLog(QStringLiteral("Android    : screenshot \\S+"), logFrom));
    const QString name = QRegularExpression(QStringLiteral("Android    : screenshot (\\S+)"))
                             .match(log().mid(logFrom))
                             .captured(1);
    // The notice: across the top of the picture, with the blue buttons.
    const QRect view(m_screen.android.x() + 2, m_screen.android.y() + 38, m_screen.android.width() - 4, 80);
    const QRgb blue = qRgb(1, 144, 255);
    QPoint found;
    QVERIFY(
        waitUntil([&] { return containsColour(grab(view), QRect(QPoint(0, 0), view.size()), blue, &found); },
                  kEventMs));
    save(grab(view.adjusted(0, -38, 0, 40)), QStringLiteral("screenshot-notice"));
    QElapsedTimer shown;
    shown.start();
    // Left alone it goes after three seconds.
    QVERIFY(waitUntil([&] { return !containsColour(grab(view), QRect(QPoint(0, 0), view.size()), blue); },
                      kEventMs));
    QVERIFY2(shown.elapsed() > 2000, qPrintable(QString::number(shown.elapsed())));

    // Again, and its open-image button opens the picture's file address.
    const int logFrom2 = log().size();
    clickAt(m_screen.menu.topLeft() + menuButtonCentre(6, m_screen.menu.height()));
    QVERIFY(waitForLog(QStringLiteral("Android    : screenshot \\S+"), logFrom2));
    const QString second = QRegularExpression(QStringLiteral("Android    : screenshot (\\S+)"))
                               .match(log().mid(logFrom2))
                               .captured(1);
    QVERIFY(
        waitUntil([&] { return containsColour(grab(view), QRect(QPoint(0, 0), view.size()), blue, &found); },
                  kEventMs));
    clickAt(view.topLeft() + found + QPoint(8, 8));
    QVERIFY(waitUntil(
        [&] { return m_fixture->tree().calls(QStringLiteral("xdg-open")).size() > callsBefore; }, kEventMs));
    const QStringList call = m_fixture->tree().calls(QStringLiteral("xdg-open")).at(callsBefore);
    const QUrl url(call.last());
    QVERIFY2(url.isLocalFile(), qPrintable(call.join(QLatin1Char(' '))));
    QCOMPARE(url.toLocalFile(), m_fixture->tree().installDir() + QStringLiteral("/share/") +
                                    QLatin1String(ScreenFixture::kVm) + QStringLiteral("/image/") + second);
    QVERIFY(QFile::exists(url.toLocalFile()));
    QVERIFY(waitForLog(QStringLiteral("report key :  2301"), logFrom2));
    Q_UNUSED(name)
}

void TestShellWindow::bossKeyAndLauncher()
{
    QVERIFY2(waitUntil([this] { return otherWindows().isEmpty(); }, kEventMs), qPrintable(describeOthers()));
    const int launcherBefore = launcherRequests().size();
    m_x->focus(m_screen.window);
    QTest::qWait(100);
    const auto bossKey = [this] {
        m_x->key(QStringLiteral("Control_L"), true);
        m_x->key(QStringLiteral("Alt_L"), true);
        m_x->tap(QStringLiteral("x"));
        m_x->key(QStringLiteral("Alt_L"), false);
        m_x->key(QStringLiteral("Control_L"), false);
    };
    bossKey();
    // Hidden: the window and its side bar are unmapped (the tray's balloon may show meanwhile).
    QVERIFY(waitUntil(
        [this] {
            const auto windows = m_x->mappedWindowsOf(m_emulator->pid());
            return std::none_of(windows.cbegin(), windows.cend(), [this](const XTestInput::TopWindow &w) {
                return w.id == m_screen.window || w.geometry == m_screen.menu;
            });
        },
        kEventMs));
    QVERIFY(waitUntil([&] { return launcherRequests().size() > launcherBefore; }, kEventMs));
    QCOMPARE(launcherRequests().mid(launcherBefore), QStringList{"080c0a"});
    QVERIFY(waitForLog(QStringLiteral("balloon: Orvanta keeps running in the background.")));
    // Hidden, the window takes no key; the tray's double click shows it (with its side bar) again.
    const QRect tray = m_x->mappedWindowsOf(m_trayer.processId()).first().geometry;
    m_x->moveTo(tray.center());
    QTest::qWait(100);
    m_x->click(1);
    m_x->click(1);
    QVERIFY(findScreen(&m_screen));
    QVERIFY(waitUntil([&] { return launcherRequests().size() > launcherBefore + 1; }, kEventMs));
    QCOMPARE(launcherRequests().mid(launcherBefore), (QStringList{"080c0a", "080d0a"}));
}

void TestShellWindow::trayMenu()
{
    const int launcherBefore = launcherRequests().size();
    const QRect tray = m_x->mappedWindowsOf(m_trayer.processId()).first().geometry;
    // The tray menu: four entries, taller than any balloon.
    const auto trayMenuWindow = [this](QRect *found) {
        for (const XTestInput::TopWindow &w : m_x->mappedWindowsOf(m_emulator->pid()))
            if (w.id != m_screen.window && w.geometry != m_screen.menu && w.geometry.height() >= 150 &&
                w.geometry.width() < 400) {
                *found = w.geometry;
                return true;
            }
        return false;
    };
    // The status entry (second) hides the window.
    QRect menu;
    clickAt(tray.center(), 3);
    QVERIFY2(waitUntil([&] { return trayMenuWindow(&menu); }, kEventMs), qPrintable(describeOthers()));
    QTest::qWait(300);
    save(grab(menu.united(tray)), QStringLiteral("tray-menu"));
    // No entry under the pointer: the keys choose from the top.
    m_x->moveTo(QPoint(300, 600));
    QTest::qWait(200);
    m_x->tap(QStringLiteral("Down"));
    m_x->tap(QStringLiteral("Down"));
    m_x->tap(QStringLiteral("Return"));
    QVERIFY(waitUntil(
        [this] {
            const auto windows = m_x->mappedWindowsOf(m_emulator->pid());
            return std::none_of(windows.cbegin(), windows.cend(),
                                [this](const XTestInput::TopWindow &w) { return w.id == m_screen.window; });
        },
        5000));
    QVERIFY(waitUntil([&] { return launcherRequests().size() > launcherBefore; }, kEventMs));
    // And again: it shows the window.
    QTest::qWait(300);
    clickAt(tray.center(), 3);
    QVERIFY2(waitUntil([&] { return trayMenuWindow(&menu); }, kEventMs), qPrintable(describeOthers()));
    QTest::qWait(200);
    // No entry under the pointer: the keys choose from the top.
    m_x->moveTo(QPoint(300, 600));
    QTest::qWait(200);
    m_x->tap(QStringLiteral("Down"));
    m_x->tap(QStringLiteral("Down"));
    m_x->tap(QStringLiteral("Return"));
    QVERIFY(findScreen(&m_screen));
    QVERIFY(waitUntil([&] { return launcherRequests().size() > launcherBefore + 1; }, kEventMs));
    QCOMPARE(launcherRequests().mid(launcherBefore), (QStringList{"080c0a", "080d0a"}));
    // The window-status report names where the toggle came from: "1" the tray, "0" the boss key.
    QVERIFY(log().contains(QLatin1String("report map :  2007  mapValue :  \"1\"")));
    QVERIFY(log().contains(QLatin1String("report map :  2007  mapValue :  \"0\"")));
}

void TestShellWindow::bossKeyWithoutSilentMode()
{
    startEmulator(false);
    const int launcherBefore = launcherRequests().size();
    m_x->focus(m_screen.window);
    QTest::qWait(100);
    for (int round = 0; round < 2; ++round) {
        m_x->key(QStringLiteral("Control_L"), true);
        m_x->key(QStringLiteral("Alt_L"), true);
        m_x->tap(QStringLiteral("x"));
        m_x->key(QStringLiteral("Alt_L"), false);
        m_x->key(QStringLiteral("Control_L"), false);
        if (round == 0) {
            QVERIFY(waitUntil(
                [this] {
                    const auto windows = m_x->mappedWindowsOf(m_emulator->pid());
                    return std::none_of(
                        windows.cbegin(), windows.cend(),
                        [this](const XTestInput::TopWindow &w) { return w.id == m_screen.window; });
                },
                5000));
            // Hidden: the next key goes to whatever has the focus; give it back to the hidden window's
            // touch layer is not possible, so the tray shows it.
            const QRect tray = m_x->mappedWindowsOf(m_trayer.processId()).first().geometry;
            m_x->moveTo(tray.center());
            QTest::qWait(100);
            m_x->click(1);
            m_x->click(1);
            QVERIFY(findScreen(&m_screen));
            break;
        }
    }
    QTest::qWait(1000);
    QCOMPARE(launcherRequests().mid(launcherBefore), QStringList());
}

QTEST_MAIN(TestShellWindow)
#include "tst_shellwindow.moc"
