// The real emulator under a real window manager (Debian's openbox) on an X server of this test's own:
// the side bar stands beside the window from the start; the title bar moves the window (and not from
// its edges), maximises and restores it with the bar above the window, minimises it; keep on top holds
// the window and its bar above another program's window across hiding by the boss key and showing by
// the boss key, with the Android picture still drawn; the settings window follows the pointer from
// its first drag; a second start of the same machine brings the window and its side bar back together;
// the side bar's full-screen button and Esc; the close question left open while start-up hands over to
// the Android window, answered either way.

#include "picturesonscreen.h"
#include "screenfixture.h"
#include "testartefacts.h"
#include "xtestinput.h"

#include <QGuiApplication>
#include <QImage>
#include <QProcess>
#include <QScopeGuard>
#include <QScreen>
#include <QStandardPaths>
#include <QStyleHints>
#include <QtTest>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

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

QImage picture(const QString &name)
{
    return QImage(QStringLiteral(ORV_SOURCE_DIR "/resources/images/") + name + QStringLiteral(".png"));
}

// The windows of the manager's stacking list, bottom first.
QList<unsigned long> stackingOrder(Display *display)
{
    QList<unsigned long> order;
    const Atom listAtom = XInternAtom(display, "_NET_CLIENT_LIST_STACKING", True);
    Atom type;
    int format;
    unsigned long items = 0, after;
    unsigned char *data = nullptr;
    if (listAtom != None &&
        XGetWindowProperty(display, DefaultRootWindow(display), listAtom, 0, 1024, False, XA_WINDOW, &type,
                           &format, &items, &after, &data) == Success &&
        data) {
        const auto *list = reinterpret_cast<Window *>(data);
        for (unsigned long i = 0; i < items; ++i)
            order << list[i];
    }
    if (data)
        XFree(data);
    return order;
}

// Whether the manager has the state (such as "_NET_WM_STATE_ABOVE") on a client window.
bool hasState(Display *display, unsigned long window, const char *state)
{
    const Atom stateAtom = XInternAtom(display, "_NET_WM_STATE", True);
    const Atom wanted = XInternAtom(display, state, True);
    if (stateAtom == None || wanted == None)
        return false;
    const XErrorHandler previous = XSetErrorHandler([](Display *, XErrorEvent *) { return 0; });
    Atom type;
    int format;
    unsigned long items = 0, after;
    unsigned char *data = nullptr;
    bool found = false;
    if (XGetWindowProperty(display, window, stateAtom, 0, 64, False, XA_ATOM, &type, &format, &items, &after,
                           &data) == Success &&
        data) {
        const auto *atoms = reinterpret_cast<Atom *>(data);
        for (unsigned long i = 0; i < items; ++i)
            found = found || atoms[i] == wanted;
    }
    if (data)
        XFree(data);
    XSync(display, False);
    XSetErrorHandler(previous);
    return found;
}

QImage grab(const QRect &area)
{
    return QGuiApplication::primaryScreen()
        ->grabWindow(0, area.x(), area.y(), area.width(), area.height())
        .toImage();
}

// The share of an area of the screen that shows the other program's (plain red) window: nothing of it
// where the side bar is seen.
double coverShare(const QRect &area)
{
    const QImage shot = grab(area);
    if (shot.isNull() || shot.width() * shot.height() == 0)
        return 1;
    int count = 0;
    for (int y = 0; y < shot.height(); ++y)
        for (int x = 0; x < shot.width(); ++x)
            if ((shot.pixel(x, y) | 0xff000000) == qRgb(0xff, 0, 0))
                ++count;
    return double(count) / (shot.width() * shot.height());
}

// The simulated guest's picture in the Android window (launcher blue with the dark status bar), not
// the window's plain background.
bool pictureShown(const QRect &android)
{
    const QRect view(android.x() + 2, android.y() + 38, android.width() - 4, android.height() - 40);
    const QImage shot = grab(view);
    if (shot.isNull())
        return false;
    for (const QPoint &p : {QPoint(view.width() / 2, view.height() * 6 / 10),
                            QPoint(view.width() * 8 / 10, view.height() * 9 / 10)})
        if ((shot.pixel(p) | 0xff000000) != 0xff1e88e5)
            return false;
    return (shot.pixel(view.width() / 2, 2) | 0xff000000) == 0xff202124;
}

QString describe(const QRect &r)
{
    return QStringLiteral("%1,%2 %3x%4").arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height());
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
    void maximiseAndRestore_data();
    void maximiseAndRestore();
    void keepOnTopAcrossHideAndShow();
    void settingsWindowFirstDrag();
    void minimiseAndSecondStart();
    void fullScreenAndBack();
    void quitQuestionAcrossHandOver_data();
    void quitQuestionAcrossHandOver();

private:
    bool find(QRect *android, QRect *menu, bool *menuShown = nullptr);
    // The client windows of the Android window and its side bar.
    bool findIds(unsigned long *android, unsigned long *menu);
    // Whether the side bar is seen as a user sees it: the manager stacks it above the Android window and
    // its top and bottom buttons are on the screen at its place. `why` says what is not so.
    bool barSeen(QString *why);
    void pressBossKey()
    {
        m_x->key(QStringLiteral("Control_L"), true);
        m_x->key(QStringLiteral("Alt_L"), true);
        m_x->tap(QStringLiteral("x"));
        m_x->key(QStringLiteral("Alt_L"), false);
        m_x->key(QStringLiteral("Control_L"), false);
    }
    void dragBy(const QPoint &from, const QPoint &by)
    {
        m_x->moveTo(from);
        QTest::qWait(100);
        m_x->button(1, true);
        for (int i = 1; i <= 10; ++i) {
            m_x->moveTo(from + by * i / 10);
            QTest::qWait(30);
        }
        m_x->button(1, false);
    }
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
    // A fresh start without stored geometry: wherever the manager put the window, the bar stands on its
    // right edge.
    QVERIFY2(
        waitUntil(
            [&] { return find(&android, &menu) && menu.topLeft() == QPoint(android.right(), android.y()); },
            5000),
        qPrintable(describe(android) + QStringLiteral(" bar ") + describe(menu)));
    QTest::qWait(800);
}

bool TestShellWindowManager::findIds(unsigned long *android, unsigned long *menu)
{
    *android = 0;
    *menu = 0;
    for (const ClientWindow &w : clientsOf(m_display, m_emulator->pid())) {
        if (w.geometry.width() == 40 && w.geometry.height() > 100)
            *menu = w.id;
        else if (w.viewable && w.geometry.width() > 200 && w.geometry.height() > 300)
            *android = w.id;
    }
    return *android && *menu;
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
    const QPoint at = PicturesOnScreen::findPictureIn(bar, bar.rect(), ::picture(picture));
    return at.isNull() ? QPoint() : android.topLeft() + at;
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

bool TestShellWindowManager::barSeen(QString *why)
{
    QRect android, menu;
    unsigned long androidId = 0, menuId = 0;
    if (!find(&android, &menu) || !findIds(&androidId, &menuId)) {
        *why = QStringLiteral("the window or its bar is not there");
        return false;
    }
    const QList<unsigned long> order = stackingOrder(m_display);
    if (order.indexOf(menuId) < order.indexOf(androidId)) {
        *why = QStringLiteral("the bar is stacked under the window (bar %1, window %2 of %3)")
                   .arg(order.indexOf(menuId))
                   .arg(order.indexOf(androidId))
                   .arg(order.size());
        return false;
    }
    // The whole screen as the user sees it; the bar may reach below its bottom edge.
    const QImage shot = QGuiApplication::primaryScreen()->grabWindow(0).toImage();
    const QRect seen = menu.intersected(shot.rect());
    for (const char *name : {"menu_full", "menu_virtual_location", "menu_home", "menu_task"}) {
        if (PicturesOnScreen::findPictureIn(shot, seen, picture(QLatin1String(name))).isNull()) {
            *why = QStringLiteral("no %1 on the screen in the bar at %2")
                       .arg(QLatin1String(name), describe(menu));
            return false;
        }
    }
    return true;
}

void TestShellWindowManager::maximiseAndRestore_data()
{
    QTest::addColumn<bool>("keptOnTop");
    QTest::newRow("plain") << false;
    QTest::newRow("kept on top") << true;
}

void TestShellWindowManager::maximiseAndRestore()
{
    QFETCH(bool, keptOnTop);
    QRect before, menu;
    QVERIFY(find(&before, &menu));
    QString why;
    if (keptOnTop) {
        const QPoint top = titleButton(QStringLiteral("title_not_top"));
        QVERIFY(!top.isNull());
        clickAt(top);
        unsigned long androidId = 0, menuId = 0;
        QVERIFY(findIds(&androidId, &menuId));
        QVERIFY(waitUntil([&] { return hasState(m_display, androidId, "_NET_WM_STATE_ABOVE"); }, 5000));
    }
    const auto offAgain = qScopeGuard([&] {
        if (!keptOnTop)
            return;
        const QPoint notTop = titleButton(QStringLiteral("title_top"));
        if (!notTop.isNull())
            clickAt(notTop);
        QTest::qWait(500);
    });
    QVERIFY2(waitUntil([&] { return barSeen(&why); }, 5000), qPrintable(why));
    const QPoint max = titleButton(QStringLiteral("title_max"));
    QVERIFY(!max.isNull());
    clickAt(max);
    const QRect available = QGuiApplication::primaryScreen()->availableGeometry();
    QRect now;
    QVERIFY(waitUntil([&] { return find(&now, &menu) && now == available; }, 5000));
    // The side bar lies over the window's right edge, under the title bar, and the title bar shows the
    // restore picture.
    QVERIFY(waitUntil([&] { return find(&now, &menu) && menu.right() == available.right(); }, 5000));
    QVERIFY(menu.top() > available.top() + 30 && menu.top() < available.top() + 40);
    QVERIFY(waitUntil([&] { return !titleButton(QStringLiteral("title_small")).isNull(); }, 5000));
    // Above the maximised window: stacked over it and its buttons seen.
    const bool seen = waitUntil([&] { return barSeen(&why); }, 5000);
    QImage shot = QGuiApplication::primaryScreen()->grabWindow(0).toImage();
    shot.save(TestArtefacts::path(QStringLiteral("shellwindowmanager-maximised%1.png")
                                      .arg(keptOnTop ? QStringLiteral("-on-top") : QString())));
    QVERIFY2(seen, qPrintable(why));
    // Clicked (and so raised and activated), the maximised window does not cover its bar.
    clickAt(now.topLeft() + QPoint(150, 20));
    // Past the double-click time: the next press on the title bar is a press of its own.
    QTest::qWait(QGuiApplication::styleHints()->mouseDoubleClickInterval() + 300);
    QVERIFY2(waitUntil([&] { return barSeen(&why); }, 5000), qPrintable(why));
    // Maximised, the bar does not move the window.
    m_x->moveTo(now.topLeft() + QPoint(150, 20));
    m_x->button(1, true);
    m_x->moveTo(now.topLeft() + QPoint(300, 200));
    QTest::qWait(100);
    m_x->button(1, false);
    QTest::qWait(300);
    QVERIFY(find(&now, &menu));
    QCOMPARE(now, available);
    QVERIFY2(waitUntil([&] { return barSeen(&why); }, 5000), qPrintable(why));
    const QPoint restore = titleButton(QStringLiteral("title_small"));
    QVERIFY(!restore.isNull());
    clickAt(restore);
    QVERIFY(waitUntil([&] { return find(&now, &menu) && now == before; }, 5000));
    QVERIFY(
        waitUntil([&] { return find(&now, &menu) && menu.topLeft() == QPoint(now.right(), now.y()); }, 5000));
    QVERIFY2(waitUntil([&] { return barSeen(&why); }, 5000), qPrintable(why));
}

void TestShellWindowManager::keepOnTopAcrossHideAndShow()
{
    QRect android, menu;
    QVERIFY(find(&android, &menu));
    unsigned long androidId = 0, menuId = 0;
    QVERIFY(findIds(&androidId, &menuId));
    // The guest's picture is drawn again at the window's size after the previous test's restore.
    if (!waitUntil([&] { return pictureShown(android); }, 10000)) {
        grab(android).save(TestArtefacts::path(QStringLiteral("shellwindowmanager-before-top.png")));
        QFAIL("the guest's picture is not shown before keep-on-top");
    }
    const int logFrom = m_fixture->tree().logText().size();
    const int outputFrom = m_emulator->output().size();

    const QPoint top = titleButton(QStringLiteral("title_not_top"));
    QVERIFY(!top.isNull());
    clickAt(top);
    QVERIFY(waitUntil(
        [&] {
            return hasState(m_display, androidId, "_NET_WM_STATE_ABOVE") &&
                   hasState(m_display, menuId, "_NET_WM_STATE_ABOVE");
        },
        5000));

    // Another program's window over the side bar and the window's right part, raised and focused as a
    // newly mapped window is: both stay above it.
    const QRect coverRect(menu.x() - 100, menu.y() + 50, 200, 200);
    const Window cover =
        XCreateSimpleWindow(m_display, DefaultRootWindow(m_display), coverRect.x(), coverRect.y(),
                            coverRect.width(), coverRect.height(), 0, 0, 0xff0000);
    XSizeHints hints = {};
    hints.flags = USPosition | USSize;
    hints.x = coverRect.x();
    hints.y = coverRect.y();
    hints.width = coverRect.width();
    hints.height = coverRect.height();
    XSetWMNormalHints(m_display, cover, &hints);
    XMapRaised(m_display, cover);
    XSync(m_display, False);
    const auto coverGone = qScopeGuard([&] {
        XDestroyWindow(m_display, cover);
        XSync(m_display, False);
    });
    QVERIFY(waitUntil([&] { return stackingOrder(m_display).contains(cover); }, 5000));
    QTest::qWait(300);
    XRaiseWindow(m_display, cover);
    XSync(m_display, False);
    QTest::qWait(300);
    QVERIFY(waitUntil(
        [&] {
            const QList<unsigned long> order = stackingOrder(m_display);
            return order.indexOf(menuId) > order.indexOf(cover) &&
                   order.indexOf(androidId) > order.indexOf(cover);
        },
        5000));
    const QRect barUnderCover = menu.intersected(coverRect);
    // The other window is there, right of the bar.
    const QRect coverBeside(menu.right() + 1, coverRect.y(), coverRect.right() - menu.right(),
                            coverRect.height());
    QVERIFY2(waitUntil([&] { return coverShare(coverBeside) > 0.8; }, 5000),
             qPrintable(QString::number(coverShare(coverBeside))));
    QVERIFY2(waitUntil([&] { return coverShare(barUnderCover) == 0; }, 5000),
             qPrintable(QString::number(coverShare(barUnderCover))));
    grab(android.united(menu).united(coverRect))
        .save(TestArtefacts::path(QStringLiteral("shellwindowmanager-on-top.png")));

    // Hidden by the boss key on the focused window, and shown again by the boss key, which no mapped
    // window of the program receives meanwhile.
    m_x->focus(androidId);
    QTest::qWait(200);
    pressBossKey();
    QRect now;
    QVERIFY(waitUntil([&] { return !find(&now, &menu); }, 5000));
    QTest::qWait(500);
    pressBossKey();
    bool menuShown = false;
    QVERIFY2(waitUntil([&] { return find(&now, &menu, &menuShown) && menuShown; }, 8000),
             qPrintable(m_fixture->tree().logText().mid(logFrom).right(2000)));

    // The same native window, still above the other window with its bar, and the Android picture drawn
    // into it (not the window's plain background).
    unsigned long androidAfter = 0, menuAfter = 0;
    QVERIFY(findIds(&androidAfter, &menuAfter));
    QCOMPARE(androidAfter, androidId);
    QVERIFY(waitUntil(
        [&] {
            return hasState(m_display, androidId, "_NET_WM_STATE_ABOVE") &&
                   hasState(m_display, menuAfter, "_NET_WM_STATE_ABOVE");
        },
        5000));
    XRaiseWindow(m_display, cover);
    XSync(m_display, False);
    QTest::qWait(300);
    QVERIFY2(waitUntil([&] { return coverShare(barUnderCover) == 0; }, 5000),
             qPrintable(QString::number(coverShare(barUnderCover))));
    QVERIFY2(waitUntil([&] { return pictureShown(now); }, 5000), "the Android area shows no picture");
    // The bar, mapped again with the window, is stacked above it.
    QString why;
    QVERIFY2(waitUntil([&] { return barSeen(&why); }, 5000), qPrintable(why));
    grab(now.united(menu))
        .save(TestArtefacts::path(QStringLiteral("shellwindowmanager-on-top-shown-again.png")));
    QVERIFY2(!m_emulator->output().mid(outputFrom).contains(QLatin1String("BadDrawable")),
             qPrintable(m_emulator->output().mid(outputFrom).right(2000)));

    // Off again: the manager drops the state.
    const QPoint notTop = titleButton(QStringLiteral("title_top"));
    QVERIFY(!notTop.isNull());
    clickAt(notTop);
    QVERIFY(waitUntil(
        [&] {
            return !hasState(m_display, androidId, "_NET_WM_STATE_ABOVE") &&
                   !hasState(m_display, menuAfter, "_NET_WM_STATE_ABOVE");
        },
        5000));
}

void TestShellWindowManager::settingsWindowFirstDrag()
{
    QRect android, menu;
    QVERIFY(find(&android, &menu));
    const QPoint setting = titleButton(QStringLiteral("title_setting"));
    QVERIFY(!setting.isNull());
    clickAt(setting);
    QRect dialog;
    const auto findDialog = [&] {
        for (const ClientWindow &w : clientsOf(m_display, m_emulator->pid()))
            if (w.viewable && w.geometry.size() == QSize(740, 680)) {
                dialog = w.geometry;
                return true;
            }
        return false;
    };
    QVERIFY(waitUntil(findDialog, 5000));
    QTest::qWait(500);
    const QRect before = dialog;
    // The first drag by its top band: the window follows the pointer exactly.
    dragBy(before.topLeft() + QPoint(300, 30), QPoint(100, 100));
    QVERIFY2(
        waitUntil([&] { return findDialog() && dialog.topLeft() == before.topLeft() + QPoint(100, 100); },
                  5000),
        qPrintable(describe(before) + QStringLiteral(" -> ") + describe(dialog)));
    // And a second one back.
    dragBy(dialog.topLeft() + QPoint(300, 30), QPoint(-100, -100));
    QVERIFY2(waitUntil([&] { return findDialog() && dialog.topLeft() == before.topLeft(); }, 5000),
             qPrintable(describe(before) + QStringLiteral(" -> ") + describe(dialog)));
    // The back button closes it.
    clickAt(dialog.topLeft() + QPoint(36, 31));
    QVERIFY(waitUntil([&] { return !findDialog(); }, 5000));
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
            return !PicturesOnScreen::findPictureIn(shot, shot.rect(), picture(QStringLiteral("menu_full")))
                        .isNull();
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
    // Back beside the window, above it and seen.
    QString why;
    QVERIFY2(waitUntil([&] { return barSeen(&why); }, 5000), qPrintable(why));
}

void TestShellWindowManager::quitQuestionAcrossHandOver_data()
{
    QTest::addColumn<bool>("confirm");
    QTest::newRow("cancelled over the Android window") << false;
    QTest::newRow("confirmed over the Android window") << true;
}

void TestShellWindowManager::quitQuestionAcrossHandOver()
{
    QFETCH(bool, confirm);
    // A start of its own whose guest takes its time to boot: the start-up window stays long enough.
    if (m_emulator) {
        ProgramRun stop(
            m_fixture->tree(), QStringLiteral("Orvanta"),
            {QStringLiteral("-vm=") + QLatin1String(ScreenFixture::kVm), QStringLiteral("-stop")});
        stop.run();
        QVERIFY(m_emulator->waitForFinished(30000));
    }
    m_emulator.reset();
    m_fixture.reset();
    m_fixture = std::make_unique<ScreenFixture>();
    QVERIFY(m_fixture->isValid());
    m_fixture->setGuestControls({{QStringLiteral("boot_ms"), QStringLiteral("6000")}});
    m_emulator = m_fixture->startEmulator();
    QVERIFY(m_emulator);
    // The start-up window: the emulator's one viewable window.
    QRect loading;
    QVERIFY(waitUntil(
        [&] {
            for (const ClientWindow &w : clientsOf(m_display, m_emulator->pid()))
                if (w.viewable && w.geometry.width() > 200 && w.geometry.height() > 200) {
                    loading = w.geometry;
                    return true;
                }
            return false;
        },
        30000));
    QTest::qWait(500);
    QVERIFY(!m_fixture->tree().logText().contains(QLatin1String(ScreenFixture::kShowAndroid)));
    // Its close button asks the question.
    m_x->moveTo(loading.center());
    // The window is mapped before its title bar is drawn; a slow build draws it well after that.
    QPoint at;
    QVERIFY(waitUntil(
        [&] {
            const QImage bar = grab(QRect(loading.topLeft(), QSize(loading.width(), 38)));
            at = PicturesOnScreen::findPictureIn(bar, bar.rect(), picture(QStringLiteral("title_close")));
            return !at.isNull();
        },
        30000));
    const QPoint close = loading.topLeft() + at;
    clickAt(close);
    QRect question;
    const auto findQuestion = [&] {
        for (const ClientWindow &w : clientsOf(m_display, m_emulator->pid()))
            if (w.viewable && w.geometry.size() == QSize(414, 180)) {
                question = w.geometry;
                return true;
            }
        return false;
    };
    QVERIFY(waitUntil(findQuestion, 5000));
    // Left open while start-up hands over to the Android window.
    QVERIFY(m_fixture->attachGuest(*m_emulator));
    QVERIFY(m_emulator->waitForText(QLatin1String(ScreenFixture::kShowAndroid), 60000));
    QRect android, menu;
    QVERIFY2(find(&android, &menu), qPrintable(m_fixture->tree().logText().right(2000)));
    QTest::qWait(1000);
    QVERIFY2(m_emulator->isRunning(), qPrintable(m_emulator->output().right(2000)));
    // The question is still there, above the Android window.
    QVERIFY(findQuestion());
    unsigned long androidId = 0, menuId = 0;
    QVERIFY(findIds(&androidId, &menuId));
    unsigned long questionId = 0;
    for (const ClientWindow &w : clientsOf(m_display, m_emulator->pid()))
        if (w.geometry == question)
            questionId = w.id;
    const QList<unsigned long> order = stackingOrder(m_display);
    QVERIFY(order.indexOf(questionId) > order.indexOf(androidId));
    grab(android.united(question))
        .save(TestArtefacts::path(QStringLiteral("shellwindowmanager-question-over-android.png")));

    clickAt(question.topLeft() + (confirm ? QPoint(355, 155) : QPoint(255, 155)));
    if (confirm) {
        // The quit runs as any other: the machine stops and the program ends well.
        QVERIFY(m_emulator->waitForFinished(60000));
        QCOMPARE(m_emulator->exitStatus(), QProcess::NormalExit);
        QCOMPARE(m_emulator->exitCode(), 0);
        QCOMPARE(m_fixture->statusWords().last(), QStringLiteral("STOP"));
        m_emulator.reset();
        return;
    }
    // Cancelled: the Android window goes on, usable (its close button asks again).
    QVERIFY(waitUntil([&] { return !findQuestion(); }, 5000));
    QTest::qWait(1000);
    QVERIFY(m_emulator->isRunning());
    QVERIFY(find(&android, &menu));
    QVERIFY(waitUntil([&] { return pictureShown(android); }, 10000));
    const QPoint androidClose = titleButton(QStringLiteral("title_close"));
    QVERIFY(!androidClose.isNull());
    clickAt(androidClose);
    QVERIFY(waitUntil(findQuestion, 5000));
    clickAt(question.topLeft() + QPoint(255, 155));
    QVERIFY(waitUntil([&] { return !findQuestion(); }, 5000));
    QVERIFY(m_emulator->isRunning());
    QVERIFY(!m_fixture->statusWords().contains(QStringLiteral("ERROR")));
}

QTEST_MAIN(TestShellWindowManager)
#include "tst_shellwindowmanager.moc"
