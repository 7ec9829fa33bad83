#include "glutcontext.h"

#include "logtags.h"

#include <QDebug>

#include <GL/glx.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <mutex>

namespace {

// The checks open their X connections on whichever thread runs them; see the colour-depth probe.
const bool xlibThreadsReady = XInitThreads() != 0;

std::mutex &probeMutex()
{
    static std::mutex mutex;
    return mutex;
}

enum class ProbeState
{
    Untried,
    Ready,
    Failed
};
ProbeState probeState = ProbeState::Untried;
QString probeFailure;

int visualAttributes[] = {GLX_RGBA, GLX_DEPTH_SIZE, 1, None};

bool displayHasOpenGl(QString *reason)
{
    Display *display = XOpenDisplay(nullptr);
    if (!display) {
        *reason = QStringLiteral("no X display");
        return false;
    }
    int errorBase = 0;
    int eventBase = 0;
    bool ok = glXQueryExtension(display, &errorBase, &eventBase);
    if (!ok) {
        *reason = QStringLiteral("the X display has no GLX");
    } else {
        XVisualInfo *visual = glXChooseVisual(display, DefaultScreen(display), visualAttributes);
        ok = visual != nullptr;
        if (visual)
            XFree(visual);
        else
            *reason = QStringLiteral("no OpenGL visual with a depth buffer");
    }
    XCloseDisplay(display);
    return ok;
}

bool initialiseLocked()
{
    if (probeState != ProbeState::Untried)
        return probeState == ProbeState::Ready;
    if (!displayHasOpenGl(&probeFailure)) {
        probeState = ProbeState::Failed;
        qWarning().noquote() << QStringLiteral(ORV_LOG_LOADING "OpenGL window not made: ") + probeFailure;
        return false;
    }
    probeState = ProbeState::Ready;
    return true;
}

} // namespace

bool GlutContext::initialise()
{
    std::lock_guard<std::mutex> lock(probeMutex());
    return initialiseLocked();
}

QString GlutContext::failureReason()
{
    std::lock_guard<std::mutex> lock(probeMutex());
    return probeFailure;
}

GlutContext::GlutContext()
{
    {
        std::lock_guard<std::mutex> lock(probeMutex());
        if (!initialiseLocked())
            return;
    }
    Q_UNUSED(xlibThreadsReady);
    m_display = XOpenDisplay(nullptr);
    if (!m_display) {
        qWarning() << ORV_LOG_LOADING "OpenGL window not made: the X display went away";
        return;
    }
    XVisualInfo *visual = glXChooseVisual(m_display, DefaultScreen(m_display), visualAttributes);
    if (!visual) {
        qWarning() << ORV_LOG_LOADING "OpenGL window not made: no OpenGL visual";
        release();
        return;
    }
    const Window root = RootWindow(m_display, visual->screen);
    m_colormap = XCreateColormap(m_display, root, visual->visual, AllocNone);
    XSetWindowAttributes attributes{};
    attributes.colormap = m_colormap;
    attributes.border_pixel = 0;
    m_window = XCreateWindow(m_display, root, 0, 0, 1, 1, 0, visual->depth, InputOutput, visual->visual,
                             CWColormap | CWBorderPixel, &attributes);
    XStoreName(m_display, m_window, "OpenGL Version");
    m_context = glXCreateContext(m_display, visual, nullptr, True);
    XFree(visual);
    if (!m_context || !glXMakeCurrent(m_display, m_window, m_context)) {
        qWarning() << ORV_LOG_LOADING "OpenGL window made without a current context";
        release();
    }
}

GlutContext::~GlutContext()
{
    release();
}

void GlutContext::release()
{
    if (!m_display)
        return;
    if (m_context) {
        if (glXGetCurrentContext() == m_context)
            glXMakeCurrent(m_display, None, nullptr);
        glXDestroyContext(m_display, m_context);
        m_context = nullptr;
    }
    if (m_window)
        XDestroyWindow(m_display, m_window);
    if (m_colormap)
        XFreeColormap(m_display, m_colormap);
    m_window = 0;
    m_colormap = 0;
    // Closing the connection ends what the driver keeps for it: its screen, its threads, its buffers.
    XCloseDisplay(m_display);
    m_display = nullptr;
}
