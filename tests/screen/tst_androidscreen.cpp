// The Android screen as the real program shows it, in a temporary install tree against the simulated
// VirtualBox tool, the render library stand-ins and the simulated guest: what the render library is
// called with per setting and on each failure, the boot poll's commands against the guest, and the
// hand-over from the start-up window to the Android window showing the guest's picture.

#include "screenfixture.h"
#include "testartefacts.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QRegularExpression>
#include <QScreen>
#include <QSettings>
#include <QtTest>

#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <memory>

namespace {

const char *const kVm = ScreenFixture::kVm;
const char *const kShowAndroid = ScreenFixture::kShowAndroid;
// The launcher background and status bar colours of the simulated guest's picture.
const QRgb kLauncherBlue = 0xff1e88e5;
const QRgb kStatusBar = 0xff202124;

// A mapped top-level X window of a process.
struct TopWindow
{
    QRect geometry;
};

// The mapped top-level windows whose _NET_WM_PID is `pid`, as the X server has them.
QList<TopWindow> mappedWindowsOf(qint64 pid)
{
    QList<TopWindow> windows;
    Display *display = XOpenDisplay(nullptr);
    if (!display)
        return windows;
    // Windows of other programs come and go meanwhile: one gone between the listing and its questions
    // is skipped instead of ending this process through Xlib's default error handler.
    const XErrorHandler previous = XSetErrorHandler([](Display *, XErrorEvent *) { return 0; });
    const Atom pidAtom = XInternAtom(display, "_NET_WM_PID", True);
    Window root = DefaultRootWindow(display), parent = 0, *children = nullptr;
    unsigned count = 0;
    if (pidAtom != None && XQueryTree(display, root, &root, &parent, &children, &count)) {
        for (unsigned i = 0; i < count; ++i) {
            XWindowAttributes attributes;
            if (!XGetWindowAttributes(display, children[i], &attributes) ||
                attributes.map_state != IsViewable)
                continue;
            Atom type;
            int format;
            unsigned long items, after;
            unsigned char *data = nullptr;
            if (XGetWindowProperty(display, children[i], pidAtom, 0, 1, False, XA_CARDINAL, &type, &format,
                                   &items, &after, &data) == Success &&
                data && items == 1 &&
                *reinterpret_cast<unsigned long *>(data) == static_cast<unsigned long>(pid))
                windows.append({QRect(attributes.x, attributes.y, attributes.width, attributes.height)});
            if (data)
                XFree(data);
        }
        XFree(children);
    }
    XSync(display, False);
    XSetErrorHandler(previous);
    XCloseDisplay(display);
    return windows;
}

} // namespace

class TestAndroidScreen : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void renderCalls_data();
    void renderCalls();
    void renderFailures_data();
    void renderFailures();
    void handOverShowsTheGuestPicture();
    void aRunningMachineDoesNotHoldUpTheNextStart();

private:
    std::unique_ptr<ScreenFixture> m_fixture;
};

void TestAndroidScreen::init()
{
    if (qEnvironmentVariableIsEmpty("DISPLAY"))
        QSKIP("needs an X display: the start-up checks and the window are real");
    m_fixture = std::make_unique<ScreenFixture>();
    QVERIFY(m_fixture->isValid());
}

void TestAndroidScreen::cleanup()
{
    m_fixture.reset();
}

void TestAndroidScreen::renderCalls_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("renderMode");
    QTest::addColumn<QString>("tag");
    QTest::addColumn<bool>("pipe");
    QTest::addColumn<bool>("optional"); // the library has the optional entry points
    QTest::newRow("default") << QStringList() << QString() << QStringLiteral("gl") << false << true;
    QTest::newRow("stream pipe") << QStringList{QStringLiteral("-stream=pipe")} << QString()
                                 << QStringLiteral("gl") << true << true;
    QTest::newRow("render mode dx") << QStringList() << QStringLiteral("dx") << QStringLiteral("angle")
                                    << false << true;
    QTest::newRow("without optional entry points")
        << QStringList() << QString() << QStringLiteral("gl") << false << false;
    // The "-tcp" mode publishes no process id: the renderer is told 0.
    QTest::newRow("tcp") << QStringList{QStringLiteral("-tcp")} << QString() << QStringLiteral("gl") << false
                         << true;
}

void TestAndroidScreen::renderCalls()
{
    QFETCH(QStringList, args);
    QFETCH(QString, renderMode);
    QFETCH(QString, tag);
    QFETCH(bool, pipe);
    QFETCH(bool, optional);
    if (!optional)
        QVERIFY(InstallTree::copyFile(InstallTree::simBinDir() +
                                          QStringLiteral("/render-noopt/libOpenglRender.so"),
                                      m_fixture->tree().playerDir() + QStringLiteral("/libOpenglRender.so")));
    if (!renderMode.isEmpty())
        m_fixture->writeSetting(QStringLiteral("Orvanta/Performance/RenderMode"), renderMode);
    auto emulator = m_fixture->startEmulator(args);
    QVERIFY(emulator);
    QVERIFY(emulator->waitForText(QStringLiteral("AndroidWindow:init ok"), 60000));

    QFile vbox(GuestStandIn::machineFile(m_fixture->tree(), QLatin1String(kVm)));
    QVERIFY(vbox.open(QIODevice::ReadOnly));
    const QString uuid =
        QJsonDocument::fromJson(vbox.readAll()).object().value(QStringLiteral("uuid")).toString();
    QVERIFY(!uuid.isEmpty());

    const QString t = tag + QLatin1Char(' ');
    QStringList expected{QStringLiteral("helper HookForChangeDllName()")};
    if (pipe)
        expected << t + QStringLiteral("AndroVM_setPipename(\"%1\")").arg(uuid);
    if (optional)
        expected << t + QStringLiteral("AndroVM_initLibrary() = 1");
    expected << t + QStringLiteral("AndroVM_setStreamMode(3)")
             << t + QStringLiteral("AndroVM_setVMIP(\"127.0.0.1\")")
             // The third value is the program's own process id, not a port.
             << t + QStringLiteral("AndroVM_initOpenGLRenderer(720, 1280, %1)")
                        .arg(args.contains(QStringLiteral("-tcp")) ? 0 : emulator->pid())
             << t + QStringLiteral("AndroVM_setCallbackRotation(callback)");
    if (optional)
        expected << t + QStringLiteral("AndroVM_setFPSCallback(callback)")
                 << t + QStringLiteral("AndroVM_setViewport(720, 1280)");
    expected << t + QStringLiteral("AndroVM_FrameBuffer_removeSubWindow()");
    const QStringList trace = m_fixture->renderTrace();
    QVERIFY2(trace.size() > expected.size() + 1, qPrintable(trace.join(QLatin1Char('\n'))));
    QCOMPARE(trace.mid(0, expected.size()), expected);
    // The first set-up at (0, 0), rotation 0, with the size worked out from the start-up geometry.
    const QRegularExpression setup(
        QStringLiteral("^%1AndroVM_FrameBuffer_setupSubWindow\\(window, 0, 0, \\d+, \\d+, 0\\) = 1$").arg(t));
    QVERIFY2(setup.match(trace.at(expected.size())).hasMatch(), qPrintable(trace.at(expected.size())));
    QCOMPARE(trace.at(expected.size() + 1), t + QStringLiteral("AndroVM_repaintOpenGLDisplay()"));
    // The status words reach the instance manager through programs started one by one.
    QTRY_COMPARE_WITH_TIMEOUT(m_fixture->statusWords().mid(0, 2),
                              (QStringList{QStringLiteral("STARTING"), QStringLiteral("RUNNING")}), 10000);
    if (!optional) {
        // Without the frame callback the helper's counter gives the frame rate, once a second once
        // Android is up; no viewport call follows any layout.
        QVERIFY(waitUntil(
            [&] { return m_fixture->renderTrace().contains(QStringLiteral("helper GetFPS() = 60")); },
            20000));
        QVERIFY(m_fixture->renderTrace().filter(QStringLiteral("setViewport")).isEmpty());
    }
}

void TestAndroidScreen::renderFailures_data()
{
    QTest::addColumn<QString>("renderLibrary"); // what stands in the player folder as libOpenglRender.so
    QTest::addColumn<QString>("env");
    QTest::addColumn<QString>("logLine");
    QTest::addColumn<QString>("lastTraceLine");
    QTest::newRow("1301 no render library")
        << QString() << QString() << QStringLiteral("Render load err : ") << QString();
    QTest::newRow("1301 entry point missing")
        << InstallTree::simBinDir() + QStringLiteral("/render-nomandatory/libOpenglRender.so") << QString()
        << QStringLiteral("Render load err : missing entry point AndroVM_setVMIP") << QString();
    QTest::newRow("1302 init fails") << InstallTree::stagedPlayerDir() + QStringLiteral("/libOpenglRender.so")
                                     << QStringLiteral("ORV_RENDER_INIT_RESULT=0")
                                     << QStringLiteral("Android    : GL_InitLibrary failed")
                                     << QStringLiteral("gl AndroVM_initLibrary() = 0");
    QTest::newRow("1303 sub-window fails")
        << InstallTree::stagedPlayerDir() + QStringLiteral("/libOpenglRender.so")
        << QStringLiteral("ORV_RENDER_SETUP_FAIL_FIRST=1")
        << QStringLiteral("Android    : AndroVM_FrameBuffer_setupSubWindow failed")
        << QStringLiteral("gl AndroVM_FrameBuffer_setupSubWindow(window, 0, 0, *) = 0");
}

void TestAndroidScreen::renderFailures()
{
    QFETCH(QString, renderLibrary);
    QFETCH(QString, env);
    QFETCH(QString, logLine);
    QFETCH(QString, lastTraceLine);
    const QString target = m_fixture->tree().playerDir() + QStringLiteral("/libOpenglRender.so");
    QFile::remove(target);
    if (!renderLibrary.isEmpty())
        QVERIFY(InstallTree::copyFile(renderLibrary, target));
    if (!env.isEmpty())
        m_fixture->tree().setEnv(env.section(QLatin1Char('='), 0, 0), env.section(QLatin1Char('='), 1));
    auto emulator = m_fixture->startEmulator();
    QVERIFY(emulator);
    QVERIFY(emulator->waitForText(logLine, 60000));
    // The error dialog sets the instance's status word; the channels are never started. (The words reach
    // the instance manager through programs started one by one, which may record out of order.)
    QTRY_COMPARE_WITH_TIMEOUT(m_fixture->statusWords().size(), 3, 10000);
    QStringList words = m_fixture->statusWords();
    std::sort(words.begin(), words.end());
    QCOMPARE(words,
             (QStringList{QStringLiteral("ERROR"), QStringLiteral("RUNNING"), QStringLiteral("STARTING")}));
    QVERIFY(!m_fixture->tree().logText().contains(QLatin1String("VInput     : init")));
    const QStringList trace = m_fixture->renderTrace();
    if (lastTraceLine.isEmpty()) {
        QCOMPARE(trace, QStringList());
    } else {
        QVERIFY(!trace.isEmpty());
        QVERIFY2(QRegularExpression(QRegularExpression::wildcardToRegularExpression(lastTraceLine))
                     .match(trace.last())
                     .hasMatch(),
                 qPrintable(trace.last()));
    }
    // The progress stays below 100: no hand-over.
    QVERIFY(!m_fixture->tree().logText().contains(QLatin1String(kShowAndroid)));
    // On screen: the error dialog (414 x 180) waits for the user; the Android window never shows.
    QVERIFY(waitUntil(
        [&] {
            const QList<TopWindow> windows = mappedWindowsOf(emulator->pid());
            return std::any_of(windows.cbegin(), windows.cend(),
                               [](const TopWindow &w) { return w.geometry.size() == QSize(414, 180); });
        },
        10000));
    QVERIFY(emulator->isRunning());
}

void TestAndroidScreen::handOverShowsTheGuestPicture()
{
    m_fixture->setGuestControls({{QStringLiteral("boot_ms"), QStringLiteral("0")}});
    auto emulator = m_fixture->startEmulator();
    QVERIFY(emulator);
    QVERIFY(m_fixture->attachGuest(*emulator));
    QVERIFY(emulator->waitForText(QLatin1String(kShowAndroid), 30000));

    // On screen: the Android window and its side menu bar; the start-up window is gone.
    QList<TopWindow> windows;
    QVERIFY(waitUntil(
        [&] {
            windows = mappedWindowsOf(emulator->pid());
            return windows.size() == 2;
        },
        10000));
    std::sort(windows.begin(), windows.end(),
              [](const TopWindow &a, const TopWindow &b) { return a.geometry.width() > b.geometry.width(); });
    const QRect android = windows.at(0).geometry;
    const QRect menu = windows.at(1).geometry;
    QCOMPARE(menu.width(), 40);
    QCOMPARE(menu.topLeft(), QPoint(android.x() + android.width() - 1, android.y()));
    // A portrait window: the content keeps the guest's 720 x 1280 aspect (title 34, borders 2).
    QCOMPARE(android.width(), int((android.height() - 36) * 0.5625) + 4);

    // The picture inside "showWindow" (below the 36-pixel title bar, inside the 2-pixel margins).
    const QRect view(android.x() + 2, android.y() + 38, android.width() - 4, android.height() - 40);
    QImage shot;
    const QList<QPoint> blue{{view.width() / 2, view.height() * 6 / 10},
                             {view.width() * 8 / 10, view.height() * 9 / 10},
                             {view.width() / 10, view.height() * 8 / 10}};
    const QPoint bar(view.width() / 2, 2);
    QVERIFY(waitUntil(
        [&] {
            shot = QGuiApplication::primaryScreen()
                       ->grabWindow(0, view.x(), view.y(), view.width(), view.height())
                       .toImage();
            for (const QPoint &p : blue) {
                if (shot.pixel(p) != kLauncherBlue)
                    return false;
            }
            return shot.pixel(bar) == kStatusBar;
        },
        10000));
    QGuiApplication::primaryScreen()
        ->grabWindow(0, android.x(), android.y(), android.width() + menu.width(), android.height())
        .save(TestArtefacts::path(QStringLiteral("android-window.png")));
}

void TestAndroidScreen::aRunningMachineDoesNotHoldUpTheNextStart()
{
    m_fixture->setGuestControls({{QStringLiteral("boot_ms"), QStringLiteral("0")}});
    auto first = m_fixture->startEmulator();
    QVERIFY(first);
    QVERIFY(first->waitForText(QLatin1String(kShowAndroid), 60000));

    // Another machine starts while the first one runs: it finds the first one RUNNING, not STARTING.
    const QString other = QStringLiteral("Orvanta_5");
    ProgramRun second(m_fixture->tree(), QStringLiteral("Orvanta"), {QStringLiteral("-vm=") + other});
    QVERIFY(second.start());
    QVERIFY(waitUntil(
        [&] {
            return m_fixture->tree().logText().contains(QStringLiteral("]: ") + other +
                                                        QStringLiteral("  I/Loading    : machine running"));
        },
        60000));
    QStringList words;
    for (const QStringList &call : m_fixture->tree().calls(QStringLiteral("OrvMultiPlayer"))) {
        if (call.value(0) == QStringLiteral("-vm=") + other)
            words << call.value(1).mid(8);
    }
    QVERIFY2(!words.contains(QStringLiteral("STARTWAITING")), qPrintable(words.join(QLatin1Char(' '))));
    QVERIFY(words.contains(QStringLiteral("STARTING")));
}

QTEST_MAIN(TestAndroidScreen)
#include "tst_androidscreen.moc"
