// The real emulator under a real window manager (Debian's openbox) on an X server of this test's own:
// the title bar moves the window through the manager's move loop (and not from its edges), maximises
// and restores it, minimises it; a second start of the same machine brings the window and its side
// bar back together; the side bar's full-screen button and Esc.

#include "screenfixture.h"
#include "testartefacts.h"
#include "xtestinput.h"

#include <QGuiApplication>
#include <QImage>
#include <QProcess>
#include <QScreen>
#include <QStandardPaths>
#include <QtTest>

#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <memory>

namespace {

struct ClientWindow
{
    unsigned long id = 0;
    QRect geometry; // on the root window
    bool viewable = false;
};

// The managed windows of a process, from the manager's client list (the manager reparents them into
// frames, so they are no longer children of the root).
QList<ClientWindow> clientsOf(Display *display, qint64 pid)
{
    QList<ClientWindow> windows;
    const XErrorHandler previous = XSetErrorHandler([](Display *, XErrorEvent *) { return 0; });
    const Window root = DefaultRootWindow(display);
    const Atom listAtom = XInternAtom(display, "_NET_CLIENT_LIST", True);
    const Atom pidAtom = XInternAtom(display, "_NET_WM_PID", True);
    Atom type;
    int format;
    unsigned long items = 0, after;
    unsigned char *data = nullptr;
    if (listAtom != None && pidAtom != None &&
        XGetWindowProperty(display, root, listAtom, 0, 1024, False, XA_WINDOW, &type, &format, &items, &after,
                           &data) == Success &&
        data) {
        const auto *list = reinterpret_cast<Window *>(data);
        for (unsigned long i = 0; i < items; ++i) {
            unsigned char *pidData = nullptr;
            unsigned long pidItems = 0;
            if (XGetWindowProperty(display, list[i], pidAtom, 0, 1, False, XA_CARDINAL, &type, &format,
                                   &pidItems, &after, &pidData) == Success &&
                pidData && pidItems == 1 &&
                *reinterpret_cast<unsigned long *>(pidData) == static_cast<unsigned long>(pid)) {
                XWindowAttributes attributes;
                Window child;
                int x = 0, y = 0;
                if (XGetWindowAttributes(display, list[i], &attributes) &&
                    XTranslateCoordinates(display, list[i], root, 0, 0, &x, &y, &child))
                    windows.append({list[i], QRect(x, y, attributes.width, attributes.height),
                                    attributes.map_state == IsViewable});
            }
            if (pidData)
                XFree(pidData);
        }
        XFree(data);
    }
    XSync(display, False);
    XSetErrorHandler(previous);
    return windows;
}

QRgb pictureColour(const QString &name)
{
    const QImage image(QStringLiteral(ORV_SOURCE_DIR "/resources/images/") + name + QStringLiteral(".png"));
    return image.isNull() ? 0 : image.pixel(0, 0) | 0xff000000;
}

} // namespace

class TestShellWindowManager : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void dragRule_data();
    void dragRule();
    void maximiseAndRestore();
    void minimiseAndSecondStart();
    void fullScreenAndBack();

private:
    bool find(QRect *android, QRect *menu, bool *menuShown = nullptr);
    QPoint titleButton(const QString &picture);
    void clickAt(const QPoint &p)
    {
        m_x->moveTo(p);
        QTest::qWait(100);
        m_x->click(1);
    }

    Display *m_display = nullptr;
    QProcess m_wm;
    std::unique_ptr<XTestInput> m_x;
    std::unique_ptr<ScreenFixture> m_fixture;
    std::unique_ptr<ProgramRun> m_emulator;
};

void TestShellWindowManager::initTestCase()
{
    if (qEnvironmentVariableIsEmpty("DISPLAY"))
        QSKIP("needs an X display");
    if (QStandardPaths::findExecutable(QStringLiteral("openbox")).isEmpty())
        QSKIP("needs Debian's openbox (scripts/setup installs it)");
    m_x = std::make_unique<XTestInput>();
    if (!m_x->isValid())
        QSKIP("the X server has no XTest extension");
    m_display = XOpenDisplay(nullptr);
    QVERIFY(m_display);
    m_wm.start(QStringLiteral("openbox"), {QStringLiteral("--sm-disable")});
    QVERIFY(m_wm.waitForStarted());
    const Atom check = XInternAtom(m_display, "_NET_SUPPORTING_WM_CHECK", False);
    QVERIFY(waitUntil(
        [&] {
            Atom type;
            int format;
            unsigned long items = 0, after;
            unsigned char *data = nullptr;
            XGetWindowProperty(m_display, DefaultRootWindow(m_display), check, 0, 1, False, XA_WINDOW, &type,
                               &format, &items, &after, &data);
            if (data)
                XFree(data);
            return items == 1;
        },
        10000));
    m_fixture = std::make_unique<ScreenFixture>();
    QVERIFY(m_fixture->isValid());
    m_fixture->setGuestControls({{QStringLiteral("boot_ms"), QStringLiteral("0")}});
    m_emulator = m_fixture->startEmulator();
    QVERIFY(m_emulator);
    QVERIFY(m_fixture->attachGuest(*m_emulator));
    QVERIFY(m_emulator->waitForText(QLatin1String(ScreenFixture::kShowAndroid), 30000));
    // The boot poll's verdict places the window once more: the window stands still only after it.
    QVERIFY(m_emulator->waitForText(QStringLiteral("Android    : android ready"), 60000));
    QRect android, menu;
    QVERIFY(find(&android, &menu));
    QTest::qWait(800);
}

void TestShellWindowManager::cleanupTestCase()
{
    m_emulator.reset();
    m_fixture.reset();
    if (m_wm.state() != QProcess::NotRunning) {
        m_wm.terminate();
        m_wm.waitForFinished(3000);
    }
    if (m_display)
        XCloseDisplay(m_display);
}

bool TestShellWindowManager::find(QRect *android, QRect *menu, bool *menuShown)
{
    return waitUntil(
        [&] {
            bool a = false, m = false;
            // A hidden side bar is withdrawn: the manager drops it from its list.
            if (menuShown)
                *menuShown = false;
            for (const ClientWindow &w : clientsOf(m_display, m_emulator->pid())) {
                if (w.geometry.width() == 40 && w.geometry.height() > 100) {
                    *menu = w.geometry;
                    m = true;
                    if (menuShown)
                        *menuShown = w.viewable;
                } else if (w.viewable && w.geometry.width() > 200 && w.geometry.height() > 300) {
                    *android = w.geometry;
                    a = true;
                }
            }
            return a && (m || menuShown);
        },
        5000);
}

QPoint TestShellWindowManager::titleButton(const QString &picture)
{
    QRect android, menu;
    if (!find(&android, &menu))
        return QPoint();
    m_x->moveTo(android.center());
    QTest::qWait(200);
    const QImage bar = QGuiApplication::primaryScreen()
                           ->grabWindow(0, android.x(), android.y(), android.width(), 38)
                           .toImage();
    const QRgb colour = pictureColour(picture);
    for (int y = 0; y < bar.height(); ++y)
        for (int x = 0; x < bar.width(); ++x)
            if ((bar.pixel(x, y) | 0xff000000) == colour)
                return android.topLeft() + QPoint(x + 2, y + 2);
    return QPoint();
}

void TestShellWindowManager::dragRule_data()
{
    QTest::addColumn<QPoint>("press"); // in the window
    QTest::addColumn<bool>("moves");
    QTest::newRow("middle of the bar") << QPoint(150, 20) << true;
    QTest::newRow("the bar's top edge") << QPoint(150, 3) << false;
    QTest::newRow("the bar's left edge") << QPoint(3, 20) << false;
}

void TestShellWindowManager::dragRule()
{
    QFETCH(QPoint, press);
    QFETCH(bool, moves);
    QRect before, menu;
    QVERIFY(find(&before, &menu));
    const QPoint start = before.topLeft() + press;
    m_x->moveTo(start);
    QTest::qWait(100);
    m_x->button(1, true);
    for (int i = 1; i <= 10; ++i) {
        m_x->moveTo(start + QPoint(12 * i, 8 * i));
        QTest::qWait(30);
    }
    m_x->button(1, false);
    QTest::qWait(500);
    QRect after, menuAfter;
    QVERIFY(find(&after, &menuAfter));
    if (moves) {
        QCOMPARE(after.topLeft(), before.topLeft() + QPoint(120, 80));
        QCOMPARE(after.size(), before.size());
        // The side bar follows on the right edge.
        QVERIFY(waitUntil([&] { return find(&after, &menuAfter) && menuAfter.x() == after.right(); }, 3000));
        QCOMPARE(menuAfter.y(), after.y());
        // And back, for the next rows.
        m_x->moveTo(after.topLeft() + press);
        QTest::qWait(100);
        m_x->button(1, true);
        for (int i = 1; i <= 10; ++i) {
            m_x->moveTo(after.topLeft() + press - QPoint(12 * i, 8 * i));
            QTest::qWait(30);
        }
        m_x->button(1, false);
        QVERIFY(waitUntil([&] { return find(&after, &menuAfter) && after == before; }, 3000));
    } else {
        QCOMPARE(after, before);
    }
}

void TestShellWindowManager::maximiseAndRestore()
{
    QRect before, menu;
    QVERIFY(find(&before, &menu));
    const QPoint max = titleButton(QStringLiteral("title_max"));
    QVERIFY(!max.isNull());
    clickAt(max);
    const QRect available = QGuiApplication::primaryScreen()->availableGeometry();
    QRect now;
    QVERIFY(waitUntil([&] { return find(&now, &menu) && now == available; }, 5000));
    QImage shot = QGuiApplication::primaryScreen()->grabWindow(0).toImage();
    shot.save(TestArtefacts::path(QStringLiteral("shellwindowmanager-maximised.png")));
    // Maximised, the bar does not move the window.
    m_x->moveTo(now.topLeft() + QPoint(150, 20));
    m_x->button(1, true);
    m_x->moveTo(now.topLeft() + QPoint(300, 200));
    QTest::qWait(100);
    m_x->button(1, false);
    QTest::qWait(300);
    QVERIFY(find(&now, &menu));
    QCOMPARE(now, available);
    const QPoint restore = titleButton(QStringLiteral("title_small"));
    QVERIFY(!restore.isNull());
    clickAt(restore);
    QVERIFY(waitUntil([&] { return find(&now, &menu) && now == before; }, 5000));
}

void TestShellWindowManager::minimiseAndSecondStart()
{
    QRect before, menu;
    QVERIFY(find(&before, &menu));
    const QPoint min = titleButton(QStringLiteral("title_min"));
    QVERIFY(!min.isNull());
    clickAt(min);
    QRect now;
    QVERIFY(waitUntil([&] { return !find(&now, &menu); }, 5000));
    // A second start of the same machine brings the window back, and its side bar with it.
    ProgramRun second(m_fixture->tree(), QStringLiteral("Orvanta"),
                      {QStringLiteral("-vm=") + QLatin1String(ScreenFixture::kVm)});
    second.run(20000);
    bool menuShown = false;
    QVERIFY(waitUntil([&] { return find(&now, &menu, &menuShown) && menuShown; }, 8000));
    QCOMPARE(now, before);
    // Both above the other windows: the side bar is the last but nothing of the stacking hides it.
    QVERIFY(waitUntil(
        [&] {
            const QImage shot = QGuiApplication::primaryScreen()
                                    ->grabWindow(0, menu.x(), menu.y(), menu.width(), menu.height())
                                    .toImage();
            for (int y = 0; y < shot.height(); ++y)
                for (int x = 0; x < shot.width(); ++x)
                    if ((shot.pixel(x, y) | 0xff000000) == pictureColour(QStringLiteral("menu_full")))
                        return true;
            return false;
        },
        3000));
}

void TestShellWindowManager::fullScreenAndBack()
{
    QRect before, menu;
    QVERIFY(find(&before, &menu));
    // The side bar's first button.
    const int top = menu.height() < 756 ? menu.height() * 460 / 756 : 460;
    const int gap = menu.height() < 756 ? 10 * top / 460 : 10;
    clickAt(menu.topLeft() + QPoint(18, 2 * gap + 8));
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    QRect now;
    bool menuShown = true;
    QVERIFY2(
        waitUntil([&] { return find(&now, &menu, &menuShown) && now.contains(screen) && !menuShown; }, 5000),
        qPrintable(QStringLiteral("%1,%2 %3x%4 bar %5")
                       .arg(now.x())
                       .arg(now.y())
                       .arg(now.width())
                       .arg(now.height())
                       .arg(menuShown)));
    m_x->moveTo(screen.center());
    QTest::qWait(200);
    m_x->click(1);
    QTest::qWait(200);
    m_x->tap(QStringLiteral("Escape"));
    QVERIFY(waitUntil([&] { return find(&now, &menu, &menuShown) && now == before && menuShown; }, 5000));
}

QTEST_MAIN(TestShellWindowManager)
#include "tst_shellwindowmanager.moc"
