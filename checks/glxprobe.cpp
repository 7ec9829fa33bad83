#include "glxprobe.h"

#include <GL/glx.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace {

int visualAttributes[] = {GLX_RGBA, GLX_DEPTH_SIZE, 1, None};

} // namespace

bool GlxProbeWindow::displayHasOpenGl(const char **reason)
{
    Display *display = XOpenDisplay(nullptr);
    if (!display) {
        *reason = "no X display";
        return false;
    }
    int errorBase = 0;
    int eventBase = 0;
    bool ok = glXQueryExtension(display, &errorBase, &eventBase);
    if (!ok) {
        *reason = "the X display has no GLX";
    } else {
        XVisualInfo *visual = glXChooseVisual(display, DefaultScreen(display), visualAttributes);
        ok = visual != nullptr;
        if (visual)
            XFree(visual);
        else
            *reason = "no OpenGL visual with a depth buffer";
    }
    XCloseDisplay(display);
    return ok;
}

const char *GlxProbeWindow::open()
{
    close();
    m_display = XOpenDisplay(nullptr);
    if (!m_display)
        return "no X display";
    int errorBase = 0;
    int eventBase = 0;
    if (!glXQueryExtension(m_display, &errorBase, &eventBase)) {
        close();
        return "the X display has no GLX";
    }
    XVisualInfo *visual = glXChooseVisual(m_display, DefaultScreen(m_display), visualAttributes);
    if (!visual) {
        close();
        return "no OpenGL visual with a depth buffer";
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
        close();
        return "no current OpenGL context";
    }
    return nullptr;
}

void GlxProbeWindow::close()
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
