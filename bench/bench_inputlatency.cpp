// From a real X input event to its line at the simulated guest: the emulator runs in a temporary
// installation against the simulated tool, guest and render library; key events enter the X server
// through XTest, and the guest copies every line it receives at once to a loopback connection of this
// program (its mirror_port control). Printed beside a raw loopback TCP round trip of the same run:
//   - latency p50 and p99 of single key events, and their ratios to the round trip's;
//   - events per second over a burst of key events, with none lost or reordered.
//
// Needs an X display with XTest; run under xvfb-run.
//   bench_inputlatency [samples, default 2000] [burst events, default 100000]

#include "installtree.h"
#include "programrun.h"
#include "xtestinput.h"

#include <QGuiApplication>

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

// Reads "\n"-ended lines from a connected socket.
class LineReader
{
public:
    explicit LineReader(int fd) : m_fd(fd) {}
    bool next(std::string *line)
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

} // namespace

int main(int argc, char *argv[])
{
    QGuiApplication app(argc, argv);
    const int samples = argc > 1 ? std::max(10, std::atoi(argv[1])) : 2000;
    const int burst = argc > 2 ? std::max(2, std::atoi(argv[2])) / 2 * 2 : 100000;

    XTestInput x;
    Display *display = XOpenDisplay(nullptr);
    if (!x.isValid() || !display) {
        std::fprintf(stderr, "needs an X display with the XTest extension\n");
        return 1;
    }
    int mirrorPort = 0;
    const int mirrorServer = listenLoopback(&mirrorPort);
    if (mirrorServer < 0)
        return 1;

    InstallTree tree;
    if (!tree.isValid() || !tree.addProgram(QStringLiteral("Orvanta")) ||
        !tree.addProgram(QStringLiteral("OrvantaUpdater")) ||
        !tree.addRecorder(QStringLiteral("OrvMultiPlayer")) || !tree.addVirtualBox() || !tree.addGuestImage())
        return 1;
    for (const char *library : {"libOpenglRender.so", "libDLLHelper.so"}) {
        if (!InstallTree::copyFile(InstallTree::stagedPlayerDir() + QLatin1Char('/') + QLatin1String(library),
                                   tree.playerDir() + QLatin1Char('/') + QLatin1String(library)))
            return 1;
    }
    tree.setEnv(QStringLiteral("ORV_GUEST_BOOT_MS"), QStringLiteral("0"));
    tree.setEnv(QStringLiteral("ORV_GUEST_MIRROR_PORT"), QString::number(mirrorPort));
    tree.useTempDirHere();

    ProgramRun emulator(tree, QStringLiteral("Orvanta"), {QStringLiteral("-vm=Orvanta_1")});
    if (!emulator.start() || !emulator.waitForText(QStringLiteral("Control    : now show android"), 120000)) {
        std::fprintf(stderr, "the Android window did not come up\n");
        return 1;
    }
    const int mirror = accept(mirrorServer, nullptr, nullptr);
    if (mirror < 0)
        return 1;
    noDelay(mirror);
    LineReader lines(mirror);
    QList<XTestInput::TopWindow> windows;
    waitUntil([&] { return (windows = x.mappedWindowsOf(emulator.pid())).size() == 2; }, 10000);
    if (windows.isEmpty())
        return 1;
    std::sort(windows.begin(), windows.end(),
              [](const XTestInput::TopWindow &a, const XTestInput::TopWindow &b) {
                  return a.geometry.width() > b.geometry.width();
              });
    x.moveTo(windows.at(0).geometry.center());
    x.focus(windows.at(0).id);
    // The boot poll is over once the window shows; the first lines after the start are left behind.
    waitUntil([] { return false; }, 1000);

    // Letters a..z: X key codes and the Linux codes the guest receives.
    struct Key
    {
        KeyCode code;
        std::string press, release;
    };
    std::vector<Key> keys;
    for (char c = 'a'; c <= 'z'; ++c) {
        const char name[2] = {c, 0};
        const KeyCode code = XKeysymToKeycode(display, XStringToKeysym(name));
        keys.push_back(
            {code, "KBDPR:" + std::to_string(code - 8) + ":1", "KBDRL:" + std::to_string(code - 8) + ":0"});
    }

    // Skip whatever came before: one marker key, then its lines.
    std::string line;
    XTestFakeKeyEvent(display, keys[25].code, True, CurrentTime);
    XTestFakeKeyEvent(display, keys[25].code, False, CurrentTime);
    XFlush(display);
    while (lines.next(&line) && line != keys[25].release) {
    }

    std::vector<double> latencies;
    latencies.reserve(static_cast<size_t>(samples));
    bool lost = false;
    for (int i = 0; i < samples && !lost; ++i) {
        const Key &key = keys[static_cast<size_t>(i) % 25];
        for (bool down : {true, false}) {
            const auto start = Clock::now();
            XTestFakeKeyEvent(display, key.code, down ? True : False, CurrentTime);
            XFlush(display);
            if (!lines.next(&line) || line != (down ? key.press : key.release)) {
                std::fprintf(stderr, "unexpected line \"%s\"\n", line.c_str());
                lost = true;
                break;
            }
            latencies.push_back(micros(Clock::now() - start));
        }
    }

    // The burst: press and release of a..y in turn, sent as fast as the server takes them, while a
    // thread reads the guest's copy and checks every line in order.
    std::atomic<long> received{0};
    std::atomic<long> wrong{0};
    Clock::time_point lastAt;
    std::thread reader([&] {
        std::string l;
        for (long i = 0; i < burst; ++i) {
            if (!lines.next(&l))
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
    const auto sentAt = Clock::now();
    // A line that never comes ends the wait after a quiet stretch.
    long seen = -1;
    auto quietSince = Clock::now();
    while (received.load() < burst) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        if (received.load() != seen) {
            seen = received.load();
            quietSince = Clock::now();
        } else if (Clock::now() - quietSince > std::chrono::seconds(10)) {
            break;
        }
    }
    const bool complete = received.load() == burst;
    if (complete)
        reader.join();
    else
        reader.detach();
    const double burstSeconds = micros((complete ? lastAt : Clock::now()) - burstStart) / 1e6;

    const std::vector<double> roundTrips = loopbackRoundTrips(samples);
    const std::vector<double> xTrips = xServerTrips(display, keys[0].code, samples);
    const double rt50 = percentile(roundTrips, 0.50), rt99 = percentile(roundTrips, 0.99);
    const double in50 = percentile(latencies, 0.50), in99 = percentile(latencies, 0.99);

    std::printf("                                 p50 (us)   p99 (us)\n");
    std::printf("loopback TCP round trip         %9.1f  %9.1f\n", rt50, rt99);
    std::printf("X key event -> own X window     %9.1f  %9.1f   (the X server's share)\n",
                percentile(xTrips, 0.50), percentile(xTrips, 0.99));
    std::printf("X key event -> guest line       %9.1f  %9.1f   (%zu events)\n", in50, in99,
                latencies.size());
    if (rt50 > 0 && rt99 > 0)
        std::printf("ratio                           %9.2f  %9.2f   (aim: at most 2 and 4)\n", in50 / rt50,
                    in99 / rt99);
    std::printf("burst: %ld of %d events received, %ld out of order, %.2f s (sent in %.2f s): %.0f events/s "
                "(aim: at least 20000)\n",
                received.load(), burst, wrong.load(), burstSeconds, micros(sentAt - burstStart) / 1e6,
                burstSeconds > 0 ? received.load() / burstSeconds : 0.0);

    close(mirror);
    close(mirrorServer);
    XCloseDisplay(display);
    ProgramRun stop(tree, QStringLiteral("Orvanta"),
                    {QStringLiteral("-vm=Orvanta_1"), QStringLiteral("-stop")});
    stop.run(30000);
    emulator.waitForFinished(30000);
    return lost || !complete || wrong.load() ? 2 : 0;
}
