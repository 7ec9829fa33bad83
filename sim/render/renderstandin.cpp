// Stand-in for the outside render library (libOpenglRender / libAngleRender). It exports the library's
// entry points with C linkage, appends every call with its arguments to the trace file named by
// $ORV_RENDER_TRACE, and draws the simulated guest's picture into a child window of the native window
// it is given, scaled to the view and turned by the rotation. Its own thread sleeps until the picture
// file changes, the window needs drawing, or a callback is due, so an idle guest costs nothing. The
// thread is named "orv-render".
//
// Controls (environment, read at load):
//   ORV_RENDER_TRACE              trace file (one line per call: "<tag> <entry>(<arguments>) [= result]")
//   ORV_RENDER_INIT_RESULT        result of AndroVM_initLibrary (default 1)
//   ORV_RENDER_SETUP_FAIL_FIRST   "1": the first AndroVM_FrameBuffer_setupSubWindow returns 0
//   ORV_RENDER_FPS                frame callbacks per second (default 30; 0 = none)
//   ORV_RENDER_ROTATIONS          rotation script "<ms>:<degrees>,..." from the renderer's start; when
//                                 unset, the rotation callback follows the guest's picture (its first
//                                 frame after the boot, then every change); "none": never called
//   ORV_SIM_SCREEN_DIR            where the guest's pictures are (see sim/common/simscreen.h)
//
// Compile definitions: ORV_RENDER_TAG (trace tag), ORV_RENDER_NO_OPTIONAL (leave out the optional entry
// points), ORV_RENDER_NO_MANDATORY (leave out AndroVM_setVMIP).

#include "simscreen.h"
#include "simtrace.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <poll.h>
#include <pthread.h>
#include <string>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#ifndef ORV_RENDER_TAG
#define ORV_RENDER_TAG "gl"
#endif

#define ORV_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

using Clock = std::chrono::steady_clock;

// The name of the thread that draws and calls the program's callbacks (at most 15 characters).
const char *const kRenderThreadName = "orv-render";

struct Frame
{
    int width = 0;
    int height = 0;
    int rotation = -1;
    long sequence = -1;
    std::vector<uint32_t> pixels;
};

struct RotationStep
{
    long atMs;
    int degrees;
};

// Everything the entry points and the render thread share. The mutex guards every member below it
// and every use of the X connection.
struct Renderer
{
    std::mutex mutex;
    Display *display = nullptr;
    Window parent = 0;
    Window child = 0;
    int x = 0, y = 0, width = 0, height = 0;
    float rotation = 0;
    Frame frame;
    bool needsDraw = false;
    bool running = false;
    bool stopRequested = false;
    std::string key;
    void (*rotationCallback)(float) = nullptr;
    void (*frameCallback)() = nullptr;
    int wakePipe[2] = {-1, -1};
    int firstSetupPending = 1;
};

// Errors on the renderer's own connection (its child window gone with a parent that the program
// destroyed first) are ignored; any other goes to the handler that was there before.
XErrorHandler previousErrorHandler = nullptr;

int rendererErrorHandler(Display *display, XErrorEvent *event);

Renderer &renderer()
{
    static Renderer *r = new Renderer(); // lives as long as the process: the library is never unloaded
    return *r;
}

int envInt(const char *name, int fallback)
{
    const char *value = std::getenv(name);
    if (!value || !*value)
        return fallback;
    char *end = nullptr;
    const long n = std::strtol(value, &end, 10);
    return end && *end == '\0' ? static_cast<int>(n) : fallback;
}

void trace(const std::string &line)
{
    SimTrace::append(std::string(ORV_RENDER_TAG) + " " + line);
}

void wake()
{
    Renderer &r = renderer();
    if (r.wakePipe[1] >= 0) {
        const char byte = 1;
        (void)!write(r.wakePipe[1], &byte, 1);
    }
}

bool readFrame(const std::string &path, Frame *frame)
{
    FILE *file = std::fopen(path.c_str(), "rb");
    if (!file)
        return false;
    char magic[16] = {0};
    int w = 0, h = 0, rot = -1;
    long seq = 0;
    bool ok = std::fscanf(file, "%15s %d %d %d %ld", magic, &w, &h, &rot, &seq) == 5 &&
              std::strcmp(magic, SimScreen::kMagic) == 0 && w > 0 && h > 0 && w <= 8192 && h <= 8192 &&
              std::fgetc(file) == '\n';
    if (ok) {
        frame->pixels.resize(static_cast<size_t>(w) * h);
        ok = std::fread(frame->pixels.data(), 4, frame->pixels.size(), file) == frame->pixels.size();
    }
    std::fclose(file);
    if (!ok)
        return false;
    frame->width = w;
    frame->height = h;
    frame->rotation = rot;
    frame->sequence = seq;
    return true;
}

// Draws the picture into the child window; the caller holds the mutex.
void drawLocked(Renderer &r)
{
    if (!r.display || !r.child || r.width <= 0 || r.height <= 0)
        return;
    XWindowAttributes attributes;
    if (!XGetWindowAttributes(r.display, r.child, &attributes))
        return;
    const int vw = r.width;
    const int vh = r.height;
    std::vector<uint32_t> out(static_cast<size_t>(vw) * vh, 0xff000000u);
    const Frame &f = r.frame;
    if (f.width > 0) {
        const int turn = ((static_cast<int>(r.rotation) % 360) + 360) % 360;
        const bool sideways = turn == 90 || turn == 270;
        // The guest's picture turned by the rotation has this size.
        const int tw = sideways ? f.height : f.width;
        const int th = sideways ? f.width : f.height;
        for (int dy = 0; dy < vh; ++dy) {
            const int ty = static_cast<int>(static_cast<long long>(dy) * th / vh);
            for (int dx = 0; dx < vw; ++dx) {
                const int tx = static_cast<int>(static_cast<long long>(dx) * tw / vw);
                int sx = tx, sy = ty;
                switch (turn) {
                // The turn is the one the emulator's touch layer undoes: its point (x, y) of a view
                // turned by 90 is the guest's point (view height - y, x), by 270 (y, view width - x).
                case 90:
                    sx = f.width - 1 - ty;
                    sy = tx;
                    break;
                case 180:
                    sx = f.width - 1 - tx;
                    sy = f.height - 1 - ty;
                    break;
                case 270:
                    sx = ty;
                    sy = f.height - 1 - tx;
                    break;
                default:
                    break;
                }
                out[static_cast<size_t>(dy) * vw + dx] = f.pixels[static_cast<size_t>(sy) * f.width + sx];
            }
        }
    }
    XImage *image = XCreateImage(r.display, attributes.visual, static_cast<unsigned>(attributes.depth),
                                 ZPixmap, 0, reinterpret_cast<char *>(out.data()), static_cast<unsigned>(vw),
                                 static_cast<unsigned>(vh), 32, 0);
    if (!image)
        return;
    GC gc = XCreateGC(r.display, r.child, 0, nullptr);
    XPutImage(r.display, r.child, gc, image, 0, 0, 0, 0, static_cast<unsigned>(vw),
              static_cast<unsigned>(vh));
    XFreeGC(r.display, gc);
    image->data = nullptr; // owned by `out`
    XDestroyImage(image);
    XFlush(r.display);
}

std::vector<RotationStep> rotationScript(bool *scripted)
{
    std::vector<RotationStep> steps;
    const char *text = std::getenv("ORV_RENDER_ROTATIONS");
    *scripted = text != nullptr;
    if (!text)
        return steps;
    std::string s(text);
    size_t start = 0;
    while (start < s.size()) {
        const size_t comma = s.find(',', start);
        const std::string item =
            s.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        long ms = 0;
        int degrees = 0;
        if (std::sscanf(item.c_str(), "%ld:%d", &ms, &degrees) == 2)
            steps.push_back({ms, degrees});
        if (comma == std::string::npos)
            break;
        start = comma + 1;
    }
    return steps;
}

void *renderThread(void *)
{
    Renderer &r = renderer();
    const std::string dir = SimScreen::screenDir();
    std::string fileName;
    {
        std::lock_guard<std::mutex> lock(r.mutex);
        fileName = SimScreen::frameFileName(r.key);
    }
    mkdir(dir.c_str(), 0700);
    const int watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (watch >= 0)
        inotify_add_watch(watch, dir.c_str(), IN_CLOSE_WRITE | IN_MOVED_TO);

    bool scripted = false;
    std::vector<RotationStep> script = rotationScript(&scripted);
    size_t nextStep = 0;
    const int fps = std::max(0, envInt("ORV_RENDER_FPS", 30));
    const auto started = Clock::now();
    auto nextTick = started;
    int lastReportedRotation = INT_MIN;
    bool reload = true;

    for (;;) {
        void (*rotationCallback)(float) = nullptr;
        void (*frameCallback)() = nullptr;
        {
            std::lock_guard<std::mutex> lock(r.mutex);
            if (r.stopRequested)
                break;
            rotationCallback = r.rotationCallback;
            frameCallback = r.frameCallback;
        }
        const auto now = Clock::now();
        const long elapsedMs =
            static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(now - started).count());

        if (reload) {
            reload = false;
            Frame frame;
            if (readFrame(dir + "/" + fileName, &frame)) {
                int reportRotation = INT_MIN;
                {
                    std::lock_guard<std::mutex> lock(r.mutex);
                    const bool changed = frame.sequence != r.frame.sequence || frame.width != r.frame.width;
                    if (changed) {
                        r.frame = std::move(frame);
                        r.needsDraw = true;
                    }
                    if (!scripted && r.frame.rotation >= 0 && r.frame.rotation != lastReportedRotation)
                        reportRotation = r.frame.rotation;
                }
                if (reportRotation != INT_MIN && rotationCallback) {
                    lastReportedRotation = reportRotation;
                    rotationCallback(static_cast<float>(reportRotation));
                }
            }
        }
        while (nextStep < script.size() && script[nextStep].atMs <= elapsedMs && rotationCallback) {
            rotationCallback(static_cast<float>(script[nextStep].degrees));
            ++nextStep;
        }
        if (fps > 0 && frameCallback && now >= nextTick) {
            frameCallback();
            nextTick += std::chrono::microseconds(1000000 / fps);
            if (nextTick < now)
                nextTick = now + std::chrono::microseconds(1000000 / fps);
        }
        int xfd = -1;
        {
            std::lock_guard<std::mutex> lock(r.mutex);
            if (r.display) {
                while (XPending(r.display) > 0) {
                    XEvent event;
                    XNextEvent(r.display, &event);
                    if (event.type == Expose && event.xexpose.count == 0)
                        r.needsDraw = true;
                }
                xfd = ConnectionNumber(r.display);
            }
            if (r.needsDraw) {
                r.needsDraw = false;
                drawLocked(r);
            }
        }

        // Sleep until something happens or the next callback is due.
        long timeoutMs = -1;
        const auto later = Clock::now();
        if (fps > 0 && frameCallback)
            timeoutMs = std::max<long>(
                0, static_cast<long>(
                       std::chrono::duration_cast<std::chrono::milliseconds>(nextTick - later).count()));
        if (nextStep < script.size() && rotationCallback) {
            const long elapsed = static_cast<long>(
                std::chrono::duration_cast<std::chrono::milliseconds>(later - started).count());
            const long due = std::max<long>(0, script[nextStep].atMs - elapsed);
            timeoutMs = timeoutMs < 0 ? due : std::min(timeoutMs, due);
        }
        pollfd fds[3] = {{r.wakePipe[0], POLLIN, 0}, {watch, POLLIN, 0}, {xfd, POLLIN, 0}};
        if (poll(fds, 3, static_cast<int>(std::min<long>(timeoutMs, INT_MAX))) < 0 && errno != EINTR)
            break;
        if (fds[0].revents & POLLIN) {
            char buffer[64];
            while (read(r.wakePipe[0], buffer, sizeof buffer) > 0) {
            }
        }
        if (watch >= 0 && (fds[1].revents & POLLIN)) {
            alignas(inotify_event) char buffer[4096];
            ssize_t n;
            while ((n = read(watch, buffer, sizeof buffer)) > 0) {
                for (char *p = buffer; p < buffer + n;) {
                    auto *event = reinterpret_cast<inotify_event *>(p);
                    if (event->len > 0 && fileName == event->name)
                        reload = true;
                    p += sizeof(inotify_event) + event->len;
                }
            }
        }
    }
    if (watch >= 0)
        close(watch);
    return nullptr;
}

int rendererErrorHandler(Display *display, XErrorEvent *event)
{
    if (display == renderer().display || !previousErrorHandler)
        return 0;
    return previousErrorHandler(display, event);
}

std::string quoted(const char *text)
{
    return text ? "\"" + std::string(text) + "\"" : std::string("null");
}

void removeChildLocked(Renderer &r)
{
    if (r.display && r.child) {
        XDestroyWindow(r.display, r.child);
        XFlush(r.display);
    }
    r.child = 0;
}

} // namespace

ORV_EXPORT void AndroVM_setPipename(const char *pipeName)
{
    trace("AndroVM_setPipename(" + quoted(pipeName) + ")");
}

#ifndef ORV_RENDER_NO_OPTIONAL
ORV_EXPORT int AndroVM_initLibrary()
{
    const int result = envInt("ORV_RENDER_INIT_RESULT", 1);
    trace("AndroVM_initLibrary() = " + std::to_string(result));
    return result;
}
#endif

ORV_EXPORT void AndroVM_setStreamMode(int mode)
{
    trace("AndroVM_setStreamMode(" + std::to_string(mode) + ")");
}

#ifndef ORV_RENDER_NO_MANDATORY
ORV_EXPORT void AndroVM_setVMIP(const char *ip)
{
    trace("AndroVM_setVMIP(" + quoted(ip) + ")");
}
#endif

ORV_EXPORT void AndroVM_initOpenGLRenderer(int width, int height, int processId)
{
    trace("AndroVM_initOpenGLRenderer(" + std::to_string(width) + ", " + std::to_string(height) + ", " +
          std::to_string(processId) + ")");
    Renderer &r = renderer();
    std::lock_guard<std::mutex> lock(r.mutex);
    if (r.running)
        return;
    r.key = std::to_string(processId);
    r.display = XOpenDisplay(nullptr);
    if (r.display)
        previousErrorHandler = XSetErrorHandler(rendererErrorHandler);
    if (pipe2(r.wakePipe, O_NONBLOCK | O_CLOEXEC) != 0)
        return;
    pthread_t thread;
    if (pthread_create(&thread, nullptr, renderThread, nullptr) == 0) {
        // Named so that its processor time can be told apart from the program's own threads.
        pthread_setname_np(thread, kRenderThreadName);
        pthread_detach(thread);
        r.running = true;
    }
}

ORV_EXPORT void AndroVM_setCallbackRotation(void (*callback)(float))
{
    trace(std::string("AndroVM_setCallbackRotation(") + (callback ? "callback" : "null") + ")");
    Renderer &r = renderer();
    {
        std::lock_guard<std::mutex> lock(r.mutex);
        r.rotationCallback = callback;
    }
    wake();
}

#ifndef ORV_RENDER_NO_OPTIONAL
ORV_EXPORT void AndroVM_setFPSCallback(void (*callback)())
{
    trace(std::string("AndroVM_setFPSCallback(") + (callback ? "callback" : "null") + ")");
    Renderer &r = renderer();
    {
        std::lock_guard<std::mutex> lock(r.mutex);
        r.frameCallback = callback;
    }
    wake();
}

ORV_EXPORT void AndroVM_setViewport(int width, int height)
{
    trace("AndroVM_setViewport(" + std::to_string(width) + ", " + std::to_string(height) + ")");
}

ORV_EXPORT void AndroVM_stopOpenGLRenderer()
{
    trace("AndroVM_stopOpenGLRenderer()");
    Renderer &r = renderer();
    {
        std::lock_guard<std::mutex> lock(r.mutex);
        r.stopRequested = true;
        r.rotationCallback = nullptr;
        r.frameCallback = nullptr;
        removeChildLocked(r);
    }
    wake();
}
#endif

ORV_EXPORT void AndroVM_FrameBuffer_removeSubWindow()
{
    trace("AndroVM_FrameBuffer_removeSubWindow()");
    Renderer &r = renderer();
    std::lock_guard<std::mutex> lock(r.mutex);
    removeChildLocked(r);
}

ORV_EXPORT int AndroVM_FrameBuffer_setupSubWindow(uintptr_t nativeWindowId, int x, int y, int width,
                                                  int height, float rotation)
{
    Renderer &r = renderer();
    int result = 1;
    {
        std::lock_guard<std::mutex> lock(r.mutex);
        if (r.firstSetupPending) {
            r.firstSetupPending = 0;
            if (envInt("ORV_RENDER_SETUP_FAIL_FIRST", 0) == 1)
                result = 0;
        }
        if (result == 1) {
            removeChildLocked(r);
            r.parent = static_cast<Window>(nativeWindowId);
            r.x = x;
            r.y = y;
            r.width = width;
            r.height = height;
            r.rotation = rotation;
            if (r.display && r.parent && width > 0 && height > 0) {
                r.child = XCreateSimpleWindow(r.display, r.parent, x, y, static_cast<unsigned>(width),
                                              static_cast<unsigned>(height), 0, 0, 0);
                XSelectInput(r.display, r.child, ExposureMask);
                XMapWindow(r.display, r.child);
                XFlush(r.display);
                r.needsDraw = true;
            }
        }
    }
    char line[256];
    std::snprintf(line, sizeof line, "AndroVM_FrameBuffer_setupSubWindow(window, %d, %d, %d, %d, %g) = %d", x,
                  y, width, height, static_cast<double>(rotation), result);
    trace(line);
    wake();
    return result;
}

ORV_EXPORT void AndroVM_repaintOpenGLDisplay()
{
    trace("AndroVM_repaintOpenGLDisplay()");
    Renderer &r = renderer();
    {
        std::lock_guard<std::mutex> lock(r.mutex);
        r.needsDraw = true;
    }
    wake();
}
