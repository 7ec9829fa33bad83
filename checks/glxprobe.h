#pragma once

struct _XDisplay;
struct __GLXcontextRec;

// A hidden 1 x 1 window "OpenGL Version" with an OpenGL context current on the calling thread, on an X
// connection of its own (plain Xlib and GLX, nothing else, so that the small probe program can use it
// too). The window is never mapped: a context can be current on an unmapped window, and a mapped one
// would be decorated by a window manager and listed by a task bar. close() ends the context, the window
// and the connection; the OpenGL driver keeps its threads per connection, so they end with it.
class GlxProbeWindow
{
public:
    GlxProbeWindow() = default;
    ~GlxProbeWindow() { close(); }
    GlxProbeWindow(const GlxProbeWindow &) = delete;
    GlxProbeWindow &operator=(const GlxProbeWindow &) = delete;

    // Why it failed (a static text, the same as displayHasOpenGl() gives), or nullptr when the context
    // is current.
    const char *open();
    void close();
    bool isOpen() const { return m_context != nullptr; }

    // Whether the default X display offers GLX with a visual that has a depth buffer; `reason` gets a
    // static text when not.
    static bool displayHasOpenGl(const char **reason);

private:
    _XDisplay *m_display = nullptr;
    unsigned long m_window = 0;
    unsigned long m_colormap = 0;
    __GLXcontextRec *m_context = nullptr;
};
