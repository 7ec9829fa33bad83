#include "glutcontext.h"

#include "logtags.h"

#include <QDebug>

#include <GL/freeglut.h>
#include <GL/glx.h>
#include <X11/Xlib.h>

#include <cstdarg>
#include <cstdio>
#include <mutex>

namespace {

// GLUT's own X connection lives on whichever thread runs a check; see the colour-depth probe.
const bool xlibThreadsReady = XInitThreads() != 0;

std::mutex &glutMutex()
{
    static std::mutex mutex;
    return mutex;
}

enum class GlutState
{
    Untried,
    Ready,
    Failed
};
GlutState glutState = GlutState::Untried;
QString glutFailure;
// Hidden windows alive now, over all threads.
int liveWindows = 0;

void logGlutMessage(const char *kind, const char *format, va_list args)
{
    char text[512];
    std::vsnprintf(text, sizeof text, format, args);
    qWarning().noquote() << QStringLiteral(ORV_LOG_LOADING "glut %1: %2")
                                .arg(QLatin1String(kind), QString::fromLocal8Bit(text));
}

void onGlutError(const char *format, va_list args)
{
    logGlutMessage("error", format, args);
}

void onGlutWarning(const char *format, va_list args)
{
    logGlutMessage("warning", format, args);
}

void noDisplay() {}

// GLUT ends the process when it cannot open the display or find an OpenGL visual; ask X first.
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
        int attributes[] = {GLX_RGBA, GLX_DEPTH_SIZE, 1, None};
        XVisualInfo *visual = glXChooseVisual(display, DefaultScreen(display), attributes);
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
    if (glutState != GlutState::Untried)
        return glutState == GlutState::Ready;
    if (!displayHasOpenGl(&glutFailure)) {
        glutState = GlutState::Failed;
        qWarning().noquote() << QStringLiteral(ORV_LOG_LOADING "OpenGL window not made: ") + glutFailure;
        return false;
    }
    glutInitErrorFunc(onGlutError);
    glutInitWarningFunc(onGlutWarning);
    static char programName[] = "orv";
    static char *argv[] = {programName, nullptr};
    int argc = 1;
    glutInit(&argc, argv);
    glutSetOption(GLUT_ACTION_ON_WINDOW_CLOSE, GLUT_ACTION_CONTINUE_EXECUTION);
    glutInitDisplayMode(GLUT_DEPTH);
    glutInitWindowSize(1, 1);
    glutInitWindowPosition(0, 0);
    glutState = GlutState::Ready;
    return true;
}

} // namespace

bool GlutContext::initialise()
{
    std::lock_guard<std::mutex> lock(glutMutex());
    return initialiseLocked();
}

QString GlutContext::failureReason()
{
    std::lock_guard<std::mutex> lock(glutMutex());
    return glutFailure;
}

GlutContext::GlutContext()
{
    std::lock_guard<std::mutex> lock(glutMutex());
    if (!initialiseLocked())
        return;
    // Creating the window makes its context current on this thread.
    m_window = glutCreateWindow("OpenGL Version");
    if (m_window <= 0) {
        m_window = 0;
        return;
    }
    glutDisplayFunc(noDisplay);
    glutHideWindow();
    ++liveWindows;
}

GlutContext::~GlutContext()
{
    if (!isValid())
        return;
    std::lock_guard<std::mutex> lock(glutMutex());
    if (Display *display = glXGetCurrentDisplay())
        glXMakeCurrent(display, None, nullptr);
    glutDestroyWindow(m_window);
    // GLUT closes windows only while it handles events, and handling them may make any of its
    // windows current on this thread; that is harmless only when no other thread holds a GLUT
    // context, so the closing waits until the last window goes.
    if (--liveWindows == 0)
        glutMainLoopEvent();
}
