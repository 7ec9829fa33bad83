// From a real X key event to its line at the simulated guest, beside the least a Qt program can do for
// the same key: the emulator runs in a temporary installation against the simulated tool, guest and
// render library; the baseline (bench_inputbaseline) is a minimal Qt widgets program that writes each
// key it receives to a guest stand-in of its own, the same program as the emulator's. Key events enter
// the X server through XTest, in blocks given to the emulator's window and the baseline's window by
// turns, and each guest copies every line it receives at once to a loopback connection of this program
// (its mirror_port control). Printed per repeat, and over the repeats as min, median and max:
//   - latency p50 and p99 of single key events, ours and the baseline's, and their ratios;
//   - events per second over a burst of key events to the emulator, with none lost or reordered.
// A raw loopback TCP round trip and the X server's own share are printed as information.
// Every line must arrive, in order: a lost or wrong line, a burst that does not arrive whole or a run
// that does not start prints "no figure" and why, and nothing else.
//
// Each repeat is a whole run: fresh installations, both programs launched, the samples, the burst.
// Needs an X display with XTest; run under xvfb-run.
//   bench_inputlatency [samples per program, default 400] [burst events, default 100000] [--repeats=N]
//   [--smoke]
//   --fault=lost-line: one key event of the emulator's block goes to no window (a lost line).

#include "benchfigures.h"
#include "installtree.h"
#include "programrun.h"
#include "xtestinput.h"

#include <QDir>
#include <QGuiApplication>
#include <QProcess>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

double micros(Clock::duration d)
{
    return std::chrono::duration<double, std::micro>(d).count();
}

int listenLoopback(int *port)
{
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 || listen(fd, 4) != 0 ||
        getsockname(fd, reinterpret_cast<sockaddr *>(&address), &length) != 0) {
        close(fd);
        return -1;
    }
    *port = ntohs(address.sin_port);
    return fd;
}

void noDelay(int fd)
{
    int on = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
}

// Accepts one connection within `timeoutMs`; -1 when none came.
int acceptWithin(int server, int timeoutMs)
{
    pollfd waiting{server, POLLIN, 0};
    if (poll(&waiting, 1, timeoutMs) <= 0)
        return -1;
    const int fd = accept(server, nullptr, nullptr);
    if (fd >= 0)
        noDelay(fd);
    return fd;
}

// A free loopback port (taken and given back at once).
int freePort()
{
    int port = 0;
    const int fd = listenLoopback(&port);
    if (fd >= 0)
        close(fd);
    return port;
}

// Reads "\n"-ended lines from a connected socket.
class LineReader
{
public:
    explicit LineReader(int fd) : m_fd(fd) {}
    // The next line; false when the connection ends or no line comes within `timeoutMs` (-1: no limit).
    bool next(std::string *line, int timeoutMs = -1)
    {
        for (;;) {
            const size_t end = m_buffer.find('\n', m_start);
            if (end != std::string::npos) {
                line->assign(m_buffer, m_start, end - m_start);
                m_start = end + 1;
                if (m_start > 65536) {
                    m_buffer.erase(0, m_start);
                    m_start = 0;
                }
                return true;
            }
            pollfd waiting{m_fd, POLLIN, 0};
            if (poll(&waiting, 1, timeoutMs) <= 0)
                return false;
            char chunk[65536];
            const ssize_t n = read(m_fd, chunk, sizeof chunk);
            if (n <= 0)
                return false;
            m_buffer.append(chunk, static_cast<size_t>(n));
        }
    }

private:
    int m_fd;
    std::string m_buffer;
    size_t m_start = 0;
};

double percentile(std::vector<double> values, double p)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const size_t index = std::min(values.size() - 1, static_cast<size_t>(p * (values.size() - 1) + 0.5));
    return values[index];
}

// The raw round trip: 16 bytes over loopback TCP to an echoing thread and back.
std::vector<double> loopbackRoundTrips(int samples)
{
    int port = 0;
    const int server = listenLoopback(&port);
    std::thread echo([server] {
        const int peer = accept(server, nullptr, nullptr);
        noDelay(peer);
        char buffer[16];
        for (;;) {
            size_t got = 0;
            while (got < sizeof buffer) {
                const ssize_t n = read(peer, buffer + got, sizeof buffer - got);
                if (n <= 0) {
                    close(peer);
                    return;
                }
                got += static_cast<size_t>(n);
            }
            if (write(peer, buffer, sizeof buffer) != static_cast<ssize_t>(sizeof buffer))
                break;
        }
        close(peer);
    });
    const int client = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(port));
    std::vector<double> times;
    if (connect(client, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0) {
        noDelay(client);
        char buffer[16] = "KBDPR:30:1\n";
        for (int i = 0; i < samples; ++i) {
            const auto start = Clock::now();
            if (write(client, buffer, sizeof buffer) != static_cast<ssize_t>(sizeof buffer))
                break;
            size_t got = 0;
            while (got < sizeof buffer) {
                const ssize_t n = read(client, buffer + got, sizeof buffer - got);
                if (n <= 0)
                    break;
                got += static_cast<size_t>(n);
            }
            times.push_back(micros(Clock::now() - start));
        }
    }
    close(client);
    echo.join();
    close(server);
    return times;
}

// The X server's own share: an XTest key event to a plain window of this program, as it arrives.
std::vector<double> xServerTrips(Display *display, KeyCode code, int samples)
{
    const Window window = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 50, 50, 0, 0, 0);
    XSelectInput(display, window, KeyPressMask | KeyReleaseMask | ExposureMask);
    XSetWindowAttributes attributes;
    attributes.override_redirect = True;
    XChangeWindowAttributes(display, window, CWOverrideRedirect, &attributes);
    XMapRaised(display, window);
    XSync(display, False);
    XSetInputFocus(display, window, RevertToParent, CurrentTime);
    XSync(display, False);
    XEvent event;
    while (XPending(display))
        XNextEvent(display, &event);
    std::vector<double> times;
    for (int i = 0; i < samples; ++i) {
        for (bool down : {true, false}) {
            const auto start = Clock::now();
            XTestFakeKeyEvent(display, code, down ? True : False, CurrentTime);
            XFlush(display);
            do
                XNextEvent(display, &event);
            while (event.type != KeyPress && event.type != KeyRelease);
            times.push_back(micros(Clock::now() - start));
        }
    }
    XDestroyWindow(display, window);
    XSync(display, False);
    return times;
}

// Letters a..z: X key codes and the lines the guest receives.
struct Key
{
    KeyCode code;
    std::string press, release;
};

struct Repeat
{
    double ours50 = 0, ours99 = 0, base50 = 0, base99 = 0;
    double burstPerSecond = 0;
    size_t events = 0;
};

struct Run
{
    int samples = 400;
    int burst = 100000;
    QString fault;
};

// The next key line of a guest's copy (other lines, such as the start's location or shell commands,
// are passed over); false when none comes within the wait.
bool nextKeyLine(LineReader &lines, std::string *line, int timeoutMs)
{
    while (lines.next(line, timeoutMs)) {
        if (line->compare(0, 3, "KBD") == 0)
            return true;
    }
    return false;
}

// One whole repeat; an empty string when it gave its figures, else why not.
QString runRepeat(const Run &run, XTestInput &x, Display *display, const std::vector<Key> &keys, Repeat *out)
{
    constexpr int kLineWaitMs = 5000;
    int oursMirrorPort = 0, baseMirrorPort = 0;
    const int oursMirrorServer = listenLoopback(&oursMirrorPort);
    const int baseMirrorServer = listenLoopback(&baseMirrorPort);
    if (oursMirrorServer < 0 || baseMirrorServer < 0)
        return QStringLiteral("no loopback port to listen on");
    struct Closer
    {
        std::vector<int> fds;
        ~Closer()
        {
            for (int fd : fds)
                if (fd >= 0)
                    close(fd);
        }
    } closer{{oursMirrorServer, baseMirrorServer}};

    InstallTree tree;
    if (!tree.isValid() || !tree.addProgram(QStringLiteral("Orvanta")) ||
        !tree.addProgram(QStringLiteral("OrvantaUpdater")) ||
        !tree.addRecorder(QStringLiteral("OrvMultiPlayer")) || !tree.addVirtualBox() || !tree.addGuestImage())
        return QStringLiteral("cannot lay out the install tree (build the programs first)");
    for (const char *library : {"libOpenglRender.so", "libDLLHelper.so"}) {
        if (!InstallTree::copyFile(InstallTree::stagedPlayerDir() + QLatin1Char('/') + QLatin1String(library),
                                   tree.playerDir() + QLatin1Char('/') + QLatin1String(library)))
            return QStringLiteral("%1 is not staged").arg(QLatin1String(library));
    }
    tree.setEnv(QStringLiteral("ORV_GUEST_BOOT_MS"), QStringLiteral("0"));
    tree.setEnv(QStringLiteral("ORV_GUEST_MIRROR_PORT"), QString::number(oursMirrorPort));
    tree.useTempDirHere();

    ProgramRun emulator(tree, QStringLiteral("Orvanta"), {QStringLiteral("-vm=Orvanta_1")});
    if (!emulator.start() || !emulator.waitForText(QStringLiteral("Control    : now show android"), 120000))
        return QStringLiteral("the Android window did not come up");
    const int oursMirror = acceptWithin(oursMirrorServer, 30000);
    closer.fds.push_back(oursMirror);
    if (oursMirror < 0)
        return QStringLiteral("the emulator's guest did not copy its lines");
    LineReader oursLines(oursMirror);

    // The baseline's own guest stand-in, and the baseline program.
    const int basePort = freePort();
    QProcess baseGuest;
    QProcessEnvironment guestEnv = QProcessEnvironment::systemEnvironment();
    guestEnv.insert(QStringLiteral("ORV_GUEST_MIRROR_PORT"), QString::number(baseMirrorPort));
    baseGuest.setProcessEnvironment(guestEnv);
    const QString baseGuestDir = tree.root() + QStringLiteral("/baseline-guest");
    QDir().mkpath(baseGuestDir);
    baseGuest.start(QStringLiteral(GUEST_PROGRAM),
                    {QStringLiteral("--dir"), baseGuestDir, QStringLiteral("--vinput-port"),
                     QString::number(basePort), QStringLiteral("--die-with-parent")});
    QProcess baseline;
    baseline.start(QStringLiteral(BASELINE_PROGRAM), {QString::number(basePort)});
    const auto stopBaseline = [&] {
        baseline.kill();
        baseline.waitForFinished(5000);
        baseGuest.terminate();
        if (!baseGuest.waitForFinished(5000))
            baseGuest.kill();
    };
    if (!baseGuest.waitForStarted(10000) || !baseline.waitForStarted(10000) ||
        !waitUntil([&] { return baseline.canReadLine() || baseline.waitForReadyRead(10); }, 20000)) {
        stopBaseline();
        return QStringLiteral("the baseline program did not come up");
    }
    const unsigned long baseWindow =
        QString::fromLatin1(baseline.readLine()).section(QLatin1Char(' '), 1).toULong();
    const int baseMirror = acceptWithin(baseMirrorServer, 10000);
    closer.fds.push_back(baseMirror);
    if (baseWindow == 0 || baseMirror < 0) {
        stopBaseline();
        return QStringLiteral("the baseline's guest did not copy its lines");
    }
    LineReader baseLines(baseMirror);

    QList<XTestInput::TopWindow> windows;
    waitUntil([&] { return (windows = x.mappedWindowsOf(emulator.pid())).size() == 2; }, 10000);
    if (windows.size() != 2) {
        stopBaseline();
        return QStringLiteral("the emulator's window and side bar were not found");
    }
    std::sort(windows.begin(), windows.end(),
              [](const XTestInput::TopWindow &a, const XTestInput::TopWindow &b) {
                  return a.geometry.width() > b.geometry.width();
              });
    const XTestInput::TopWindow ours = windows.at(0);
    QRect baseRect;
    {
        XWindowAttributes attributes;
        Window child;
        int bx = 0, by = 0;
        if (XGetWindowAttributes(display, baseWindow, &attributes) &&
            XTranslateCoordinates(display, baseWindow, DefaultRootWindow(display), 0, 0, &bx, &by, &child))
            baseRect = QRect(bx, by, attributes.width, attributes.height);
    }

    // Gives the keyboard to one program and passes over what its guest received before: a marker key,
    // then its lines.
    const auto take = [&](bool toOurs) {
        x.moveTo(toOurs ? ours.geometry.center() : baseRect.center());
        x.focus(toOurs ? ours.id : baseWindow);
        LineReader &lines = toOurs ? oursLines : baseLines;
        const Key &marker = keys[25];
        XTestFakeKeyEvent(display, marker.code, True, CurrentTime);
        XTestFakeKeyEvent(display, marker.code, False, CurrentTime);
        XFlush(display);
        std::string line;
        while (nextKeyLine(lines, &line, kLineWaitMs)) {
            if (line == marker.release)
                return true;
        }
        return false;
    };

    std::vector<double> oursTimes, baseTimes;
    constexpr int kBlock = 20;
    QString failure;
    int sample = 0;
    for (int block = 0; failure.isEmpty() &&
                        (int(oursTimes.size()) < 2 * run.samples || int(baseTimes.size()) < 2 * run.samples);
         ++block) {
        const bool toOurs = block % 2 == 0;
        if (!take(toOurs)) {
            failure = QStringLiteral("the marker key did not reach the %1's guest")
                          .arg(toOurs ? QStringLiteral("emulator") : QStringLiteral("baseline"));
            break;
        }
        LineReader &lines = toOurs ? oursLines : baseLines;
        std::vector<double> &times = toOurs ? oursTimes : baseTimes;
        for (int i = 0; i < kBlock && failure.isEmpty(); ++i, ++sample) {
            const Key &key = keys[static_cast<size_t>(sample) % 25];
            if (toOurs && run.fault == QLatin1String("lost-line") && oursTimes.size() == 6)
                XSetInputFocus(display, None, RevertToNone, CurrentTime);
            for (bool down : {true, false}) {
                const auto start = Clock::now();
                XTestFakeKeyEvent(display, key.code, down ? True : False, CurrentTime);
                XFlush(display);
                std::string line;
                const std::string &expected = down ? key.press : key.release;
                if (!nextKeyLine(lines, &line, kLineWaitMs)) {
                    failure =
                        QStringLiteral("the line \"%1\" did not reach the %2's guest within %3 ms (a lost "
                                       "line)")
                            .arg(QString::fromStdString(expected))
                            .arg(toOurs ? QStringLiteral("emulator") : QStringLiteral("baseline"))
                            .arg(kLineWaitMs);
                    break;
                }
                if (line != expected) {
                    failure = QStringLiteral("the %1's guest received \"%2\" where \"%3\" was due")
                                  .arg(toOurs ? QStringLiteral("emulator") : QStringLiteral("baseline"))
                                  .arg(QString::fromStdString(line), QString::fromStdString(expected));
                    break;
                }
                times.push_back(micros(Clock::now() - start));
            }
        }
    }

    // The burst: press and release of a..y in turn to the emulator, sent as fast as the server takes
    // them, while a thread reads the guest's copy and checks every line in order.
    if (failure.isEmpty() && !take(true))
        failure = QStringLiteral("the marker key before the burst did not reach the emulator's guest");
    if (failure.isEmpty()) {
        const long burst = run.burst;
        std::atomic<long> received{0};
        std::atomic<long> wrong{0};
        Clock::time_point lastAt;
        std::thread reader([&] {
            std::string l;
            for (long i = 0; i < burst; ++i) {
                if (!nextKeyLine(oursLines, &l, 10000))
                    break;
                const Key &key = keys[static_cast<size_t>(i / 2) % 25];
                if (l != (i % 2 == 0 ? key.press : key.release))
                    wrong.fetch_add(1);
                received.store(i + 1);
            }
            lastAt = Clock::now();
        });
        const auto burstStart = Clock::now();
        for (long i = 0; i < burst; ++i) {
            XTestFakeKeyEvent(display, keys[static_cast<size_t>(i / 2) % 25].code, i % 2 == 0 ? True : False,
                              CurrentTime);
            if (i % 64 == 63)
                XFlush(display);
        }
        XSync(display, False);
        reader.join(); // it ends on the last line, or 10 s after the last line that came
        const double seconds = micros(lastAt - burstStart) / 1e6;
        if (received.load() != burst || wrong.load() != 0)
            failure = QStringLiteral("the burst: %1 of %2 lines received, %3 out of order")
                          .arg(received.load())
                          .arg(burst)
                          .arg(wrong.load());
        else
            out->burstPerSecond = seconds > 0 ? burst / seconds : 0;
    }

    stopBaseline();
    ProgramRun stop(tree, QStringLiteral("Orvanta"),
                    {QStringLiteral("-vm=Orvanta_1"), QStringLiteral("-stop")});
    stop.run(30000);
    emulator.waitForFinished(30000);
    if (!failure.isEmpty())
        return failure;
    out->ours50 = percentile(oursTimes, 0.50);
    out->ours99 = percentile(oursTimes, 0.99);
    out->base50 = percentile(baseTimes, 0.50);
    out->base99 = percentile(baseTimes, 0.99);
    out->events = oursTimes.size();
    return QString();
}

} // namespace

int main(int argc, char *argv[])
{
    QGuiApplication app(argc, argv);
    constexpr const char *kBench = "bench_inputlatency";
    const Bench::Options options = Bench::options(app.arguments());
    Run run;
    run.fault = options.fault;
    run.samples = std::max(
        10, options.rest.value(0, options.smoke ? QStringLiteral("40") : QStringLiteral("400")).toInt());
    run.burst =
        std::max(2, options.rest.value(1, options.smoke ? QStringLiteral("2000") : QStringLiteral("100000"))
                        .toInt()) /
        2 * 2;

    XTestInput x;
    Display *display = XOpenDisplay(nullptr);
    if (!x.isValid() || !display)
        return Bench::noFigure(kBench, QStringLiteral("needs an X display with the XTest extension"));
    std::vector<Key> keys;
    for (char c = 'a'; c <= 'z'; ++c) {
        const char name[2] = {c, 0};
        const KeyCode code = XKeysymToKeycode(display, XStringToKeysym(name));
        keys.push_back(
            {code, "KBDPR:" + std::to_string(code - 8) + ":1", "KBDRL:" + std::to_string(code - 8) + ":0"});
    }

    QVector<double> ours50, ours99, base50, base99, ratio50, ratio99, burst;
    size_t events = 0;
    for (int i = 1; i <= options.repeats; ++i) {
        Repeat repeat;
        const QString failure = runRepeat(run, x, display, keys, &repeat);
        if (!failure.isEmpty()) {
            XCloseDisplay(display);
            return Bench::noFigure(kBench, QStringLiteral("repeat %1: %2").arg(i).arg(failure));
        }
        ours50 << repeat.ours50;
        ours99 << repeat.ours99;
        base50 << repeat.base50;
        base99 << repeat.base99;
        ratio50 << (repeat.base50 > 0 ? repeat.ours50 / repeat.base50 : 0);
        ratio99 << (repeat.base99 > 0 ? repeat.ours99 / repeat.base99 : 0);
        burst << repeat.burstPerSecond;
        events = repeat.events;
    }

    const std::vector<double> roundTrips = loopbackRoundTrips(run.samples);
    const std::vector<double> xTrips = xServerTrips(display, keys[0].code, run.samples);
    XCloseDisplay(display);

    std::printf("X key event to its line at the guest, %d repeats (each a whole run), %zu events per program "
                "and repeat, in blocks by turns\n",
                options.repeats, events);
    Bench::printHeader("latency p50", "us");
    Bench::printRow("emulator", ours50, 1);
    Bench::printRow("minimal Qt program (baseline)", base50, 1);
    Bench::printRow("ratio, per repeat (aim: at most 2)", ratio50, 2);
    Bench::printHeader("latency p99", "us");
    Bench::printRow("emulator", ours99, 1);
    Bench::printRow("minimal Qt program (baseline)", base99, 1);
    Bench::printRow("ratio, per repeat (aim: at most 4)", ratio99, 2);
    Bench::printHeader(
        qPrintable(QStringLiteral("burst of %1 events to the emulator, none lost").arg(run.burst)),
        "events/s");
    Bench::printRow("emulator (aim: at least 20000)", burst);
    std::printf(
        "\ninformation (not a baseline): loopback TCP round trip p50 %.1f us, p99 %.1f us; X key event "
        "to a window of this program p50 %.1f us, p99 %.1f us\n",
        percentile(roundTrips, 0.50), percentile(roundTrips, 0.99), percentile(xTrips, 0.50),
        percentile(xTrips, 0.99));
    return 0;
}
