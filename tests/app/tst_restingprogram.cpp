// The real emulator at rest under a real window manager (Debian's openbox), on an X server of this
// test's own, after it has started its machine and shows Android: what a user and the system see of it.
// - Its viewable top-level windows are the Android window and its side bar, nothing else (the start-up
//   OpenGL check's hidden window is never shown to the window manager or a task bar).
// - The start-up's threads have ended, the OpenGL check's renderer threads with them; the check's
//   context was never made in the program (the probe beside it made it), and the OpenGL driver is not
//   loaded in it at all.
// - QtWebKit is not in the process until the user opens the virtual-location page, and is there after.

#include "screenfixture.h"
#include "testartefacts.h"
#include "xtestinput.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QtTest>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <memory>

namespace {

constexpr int kVirtualLocationButton = 5; // the side bar's buttons from the top
const QSize kLocationDialog(944, 625);

struct TopLevel
{
    unsigned long id = 0;
    QString name;
    qint64 pid = -1;
    QRect geometry;
    bool viewable = false;

    QString text() const
    {
        return QStringLiteral("%1 \"%2\" pid %3 %4,%5 %6x%7")
            .arg(id)
            .arg(name)
            .arg(pid)
            .arg(geometry.x())
            .arg(geometry.y())
            .arg(geometry.width())
            .arg(geometry.height());
    }
};

// Every top-level window of the display: the clients the window manager has taken in (they carry
// WM_STATE, inside its frames) and any window straight under the root that bypasses it.
class TopLevels
{
public:
    explicit TopLevels(Display *display) : m_display(display)
    {
        m_wmState = XInternAtom(display, "WM_STATE", False);
        m_pid = XInternAtom(display, "_NET_WM_PID", False);
    }

    QList<TopLevel> list()
    {
        QList<TopLevel> windows;
        const XErrorHandler previous = XSetErrorHandler([](Display *, XErrorEvent *) { return 0; });
        const Window root = DefaultRootWindow(m_display);
        for (Window child : children(root)) {
            XWindowAttributes attributes;
            if (!XGetWindowAttributes(m_display, child, &attributes))
                continue;
            if (attributes.override_redirect || hasWmState(child))
                windows.append(describe(child));
            else
                collectClients(child, 0, &windows);
        }
        XSync(m_display, False);
        XSetErrorHandler(previous);
        return windows;
    }

private:
    QList<Window> children(Window window)
    {
        QList<Window> out;
        Window root, parent;
        Window *list = nullptr;
        unsigned int count = 0;
        if (XQueryTree(m_display, window, &root, &parent, &list, &count)) {
            for (unsigned int i = 0; i < count; ++i)
                out.append(list[i]);
            if (list)
                XFree(list);
        }
        return out;
    }

    bool hasWmState(Window window)
    {
        Atom type;
        int format;
        unsigned long items = 0, after;
        unsigned char *data = nullptr;
        XGetWindowProperty(m_display, window, m_wmState, 0, 2, False, AnyPropertyType, &type, &format, &items,
                           &after, &data);
        if (data)
            XFree(data);
        return type != None;
    }

    void collectClients(Window frame, int depth, QList<TopLevel> *out)
    {
        if (depth > 3)
            return;
        for (Window child : children(frame)) {
            if (hasWmState(child))
                out->append(describe(child));
            else
                collectClients(child, depth + 1, out);
        }
    }

    TopLevel describe(Window window)
    {
        TopLevel top;
        top.id = window;
        char *name = nullptr;
        if (XFetchName(m_display, window, &name) && name) {
            top.name = QString::fromLocal8Bit(name);
            XFree(name);
        }
        Atom type;
        int format;
        unsigned long items = 0, after;
        unsigned char *data = nullptr;
        if (XGetWindowProperty(m_display, window, m_pid, 0, 1, False, XA_CARDINAL, &type, &format, &items,
                               &after, &data) == Success &&
            data && items == 1)
            top.pid = static_cast<qint64>(*reinterpret_cast<unsigned long *>(data));
        if (data)
            XFree(data);
        XWindowAttributes attributes;
        Window child;
        int x = 0, y = 0;
        if (XGetWindowAttributes(m_display, window, &attributes) &&
            XTranslateCoordinates(m_display, window, DefaultRootWindow(m_display), 0, 0, &x, &y, &child)) {
            top.geometry = QRect(x, y, attributes.width, attributes.height);
            top.viewable = attributes.map_state == IsViewable;
        }
        return top;
    }

    Display *m_display;
    Atom m_wmState;
    Atom m_pid;
};

QStringList threadNames(qint64 pid)
{
    QStringList names;
    const QString tasks = QStringLiteral("/proc/%1/task").arg(pid);
    for (const QString &tid : QDir(tasks).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile comm(tasks + QLatin1Char('/') + tid + QStringLiteral("/comm"));
        if (comm.open(QIODevice::ReadOnly))
            names << QString::fromLocal8Bit(comm.readAll()).trimmed();
    }
    return names;
}

// The files mapped into the process whose name holds `part`.
QStringList mappedFiles(qint64 pid, const QString &part)
{
    QStringList files;
    QFile maps(QStringLiteral("/proc/%1/maps").arg(pid));
    if (!maps.open(QIODevice::ReadOnly))
        return {QStringLiteral("(no maps)")};
    for (const QByteArray &line : maps.readAll().split('\n')) {
        const int slash = line.indexOf('/');
        if (slash < 0)
            continue;
        const QString file = QString::fromLocal8Bit(line.mid(slash));
        if (file.contains(part) && !files.contains(file))
            files << file;
    }
    return files;
}

// The allocator's arenas besides the main heap: each is a reservation of 64 MiB aligned to 64 MiB,
// made of an anonymous read-write part in use and an inaccessible rest (glibc on 64-bit Linux).
QStringList mallocArenas(qint64 pid)
{
    constexpr quint64 kArena = 64ull << 20;
    QStringList arenas;
    QFile maps(QStringLiteral("/proc/%1/maps").arg(pid));
    if (!maps.open(QIODevice::ReadOnly))
        return {QStringLiteral("(no maps)")};
    quint64 start = 0, end = 0; // the reservation being followed, if any
    for (const QByteArray &line : maps.readAll().split('\n')) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() < 5)
            continue;
        const QList<QByteArray> range = fields.at(0).split('-');
        const quint64 from = range.value(0).toULongLong(nullptr, 16);
        const quint64 to = range.value(1).toULongLong(nullptr, 16);
        const bool anonymous = fields.size() == 5 && fields.at(4) == "0";
        if (!anonymous) {
            start = end = 0;
            continue;
        }
        if (from % kArena == 0 && fields.at(1).startsWith("rw")) {
            start = from;
            end = to;
        } else if (start && from == end) {
            end = to;
        } else {
            start = end = 0;
        }
        if (start && end - start == kArena) {
            arenas << QString::number(start, 16);
            start = end = 0;
        }
    }
    return arenas;
}

QString describeAll(const QList<TopLevel> &windows)
{
    QStringList lines;
    for (const TopLevel &w : windows)
        lines << w.text() + (w.viewable ? QString() : QStringLiteral(" (not viewable)"));
    return lines.join(QStringLiteral("; "));
}

} // namespace

class TestRestingProgram : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void onlyTheAndroidWindowAndItsSideBarAreShown();
    void theStartUpThreadsHaveEnded();
    void theOpenGlDriverIsNotInTheProgram();
    void theThreadsShareFewMallocArenas();
    void webKitComesWithTheLocationPage();

private:
    QList<TopLevel> viewableWindows();

    Display *m_display = nullptr;
    QProcess m_wm;
    std::unique_ptr<XTestInput> m_x;
    std::unique_ptr<ScreenFixture> m_fixture;
    std::unique_ptr<ProgramRun> m_emulator;
    QRect m_menu;
    unsigned long m_menuId = 0;
};

void TestRestingProgram::initTestCase()
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
    m_fixture->tree().setEnv(QStringLiteral("ORV_MAP_SCRIPT_URL"),
                             QUrl::fromLocalFile(QStringLiteral(ORV_MAP_STANDIN)).toString());
    m_emulator = m_fixture->startEmulator();
    QVERIFY(m_emulator);
    QVERIFY(m_fixture->attachGuest(*m_emulator));
    QVERIFY(m_emulator->waitForText(QLatin1String(ScreenFixture::kShowAndroid), 60000));
    const QString mine = QStringLiteral("# connected from %1").arg(m_emulator->pid());
    QVERIFY(waitUntil([&] { return m_fixture->guest().inputLines().contains(mine); }, 30000));
    // At rest: the start-up worker has returned.
    QVERIFY(m_emulator->waitForText(QLatin1String(ScreenFixture::kMachineRunning), 30000));
}

void TestRestingProgram::cleanupTestCase()
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

QList<TopLevel> TestRestingProgram::viewableWindows()
{
    // The window manager's own windows are not the program's: its frames (they carry no WM_STATE) and
    // the window it names as its own on the root (kept mapped off screen).
    unsigned long managerWindow = 0;
    {
        const Atom check = XInternAtom(m_display, "_NET_SUPPORTING_WM_CHECK", False);
        Atom type;
        int format;
        unsigned long items = 0, after;
        unsigned char *data = nullptr;
        if (XGetWindowProperty(m_display, DefaultRootWindow(m_display), check, 0, 1, False, XA_WINDOW, &type,
                               &format, &items, &after, &data) == Success &&
            data && items == 1)
            managerWindow = *reinterpret_cast<unsigned long *>(data);
        if (data)
            XFree(data);
    }
    QList<TopLevel> out;
    for (const TopLevel &w : TopLevels(m_display).list()) {
        if (w.viewable && w.id != managerWindow && w.pid != m_wm.processId())
            out << w;
    }
    return out;
}

void TestRestingProgram::onlyTheAndroidWindowAndItsSideBarAreShown()
{
    // Once both are up, and again a little later: a window that comes late is found as well.
    QList<TopLevel> windows;
    QRect android;
    const auto twoShown = [&] {
        windows = viewableWindows();
        android = QRect();
        m_menu = QRect();
        for (const TopLevel &w : windows) {
            if (w.pid == m_emulator->pid() && w.geometry.width() == 40 && w.geometry.height() > 100) {
                m_menu = w.geometry;
                m_menuId = w.id;
            } else if (w.pid == m_emulator->pid() && w.geometry.width() > 200 && w.geometry.height() > 300)
                android = w.geometry;
        }
        return !android.isNull() && !m_menu.isNull();
    };
    QVERIFY2(waitUntil(twoShown, 20000), qPrintable(describeAll(TopLevels(m_display).list())));
    // Stays so while the program rests: every check of a second finds the same two windows.
    for (int i = 0; i < 5; ++i) {
        QTest::qWait(200);
        QVERIFY(twoShown());
        QVERIFY2(windows.size() == 2, qPrintable(describeAll(windows)));
    }
    for (const TopLevel &w : TopLevels(m_display).list())
        QVERIFY2(!(w.viewable && w.name == QLatin1String("OpenGL Version")), qPrintable(w.text()));
}

void TestRestingProgram::theStartUpThreadsHaveEnded()
{
    // The worker's thread and every thread started on it (the software renderer's, of the OpenGL
    // check) are gone once the machine runs and Android is shown.
    QStringList names;
    const bool ended = waitUntil(
        [&] {
            names = threadNames(m_emulator->pid());
            return !names.isEmpty() && !names.contains(QLatin1String("LoadingControl"));
        },
        20000);
    QVERIFY2(ended, qPrintable(names.join(QLatin1Char(','))));
}

void TestRestingProgram::theOpenGlDriverIsNotInTheProgram()
{
    // The start-up's OpenGL check read its facts, yet no OpenGL context was made in the program: the
    // software renderer starts its rasteriser threads ("llvmpipe-N") with a context, and they would
    // stay.
    QVERIFY(m_emulator->waitForText(QStringLiteral("opengl version is 4"), 1000));
    const QStringList names = threadNames(m_emulator->pid());
    for (const QString &name : names)
        QVERIFY2(!name.startsWith(QLatin1String("llvmpipe")), qPrintable(names.join(QLatin1Char(','))));
    // Nor is the driver itself loaded (Mesa's "dri/<name>_dri.so" and the LLVM it brings): no window of
    // the program is an OpenGL one, so nothing asks the display for an OpenGL visual either.
    const qint64 pid = m_emulator->pid();
    QStringList driver =
        mappedFiles(pid, QStringLiteral("_dri.so")) + mappedFiles(pid, QStringLiteral("libLLVM"));
    QVERIFY2(driver.isEmpty(), qPrintable(driver.join(QLatin1Char(' '))));
}

void TestRestingProgram::theThreadsShareFewMallocArenas()
{
    // About ten threads rest in the program; left to itself the allocator would give most of them an
    // arena of their own, each keeping its free pages. They share one arena beside the main heap.
    const QStringList arenas = mallocArenas(m_emulator->pid());
    QVERIFY2(arenas.size() <= 1, qPrintable(arenas.join(QLatin1Char(' '))));
}

void TestRestingProgram::webKitComesWithTheLocationPage()
{
    const qint64 pid = m_emulator->pid();
    QVERIFY2(mappedFiles(pid, QStringLiteral("libQt5WebKit")).isEmpty(),
             qPrintable(mappedFiles(pid, QStringLiteral("libQt5WebKit")).join(QLatin1Char(' '))));
    QVERIFY(!m_menu.isNull());

    // The side bar above everything (where the window manager placed it is not looked at here), then its
    // virtual-location button (the same places as the bar draws them).
    XRaiseWindow(m_display, m_menuId);
    XSync(m_display, False);
    QVERIFY(waitUntil(
        [&] {
            Window root, parent, *children = nullptr;
            unsigned int count = 0;
            // The bar's frame is the last (topmost) child of the root that holds it.
            bool top = false;
            if (XQueryTree(m_display, DefaultRootWindow(m_display), &root, &parent, &children, &count) &&
                count > 0) {
                Window frame = m_menuId;
                for (;;) {
                    Window r, p, *c = nullptr;
                    unsigned int n = 0;
                    if (!XQueryTree(m_display, frame, &r, &p, &c, &n))
                        break;
                    if (c)
                        XFree(c);
                    if (p == root)
                        break;
                    frame = p;
                }
                for (int i = static_cast<int>(count) - 1; i >= 0; --i) {
                    XWindowAttributes attributes;
                    if (XGetWindowAttributes(m_display, children[i], &attributes) &&
                        attributes.map_state == IsViewable && !attributes.override_redirect) {
                        top = children[i] == frame;
                        break;
                    }
                }
            }
            if (children)
                XFree(children);
            return top;
        },
        5000));
    int gap = 10;
    int button = 35;
    const int height = m_menu.height();
    if (height < 756) {
        const int top = height * 460 / 756;
        gap = 10 * top / 460;
        button = static_cast<int>((top - gap) / 10.0 - gap);
    }
    m_x->moveTo(m_menu.topLeft() +
                QPoint(18, 2 * gap + kVirtualLocationButton * (button + gap) + button / 2));
    QTest::qWait(50);
    m_x->click(1);
    QVERIFY2(m_emulator->waitForText(QStringLiteral("GeolocationDialog : page loaded true"), 30000),
             qPrintable(m_fixture->tree().logText().right(1500)));
    QVERIFY(!mappedFiles(pid, QStringLiteral("libQt5WebKitWidgets")).isEmpty());
    // ... and it came in for the page, not with the program.
    QVERIFY(!mappedFiles(pid, QStringLiteral("libQt5WebKit.so")).isEmpty());

    // The dialog is on screen; it closes again with Escape (the user leaves it) and the program goes on.
    bool shown = false;
    for (const TopLevel &w : viewableWindows())
        shown = shown || (w.pid == pid && w.geometry.size() == kLocationDialog);
    QVERIFY2(shown, qPrintable(describeAll(viewableWindows())));
    m_x->tap(QStringLiteral("Escape"));
    QVERIFY(m_emulator->isRunning());
}

QTEST_MAIN(TestRestingProgram)
#include "tst_restingprogram.moc"
