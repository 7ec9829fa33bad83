#pragma once

#include <QString>

struct _XDisplay;
struct __GLXcontextRec;

// A hidden 1 x 1 OpenGL window "OpenGL Version" whose context is current on the constructing thread
// while the object lives; the environment checks read the OpenGL version and renderer through it.
//
// The window is never mapped: a context can be current on an unmapped window, and a mapped one would
// be decorated by the window manager and listed by a task bar. Each object has its own X connection
// and closes it when it goes: the OpenGL driver keeps its threads and its memory per connection, so
// nothing of the check outlives it. Without a display with OpenGL the object is simply not valid (no
// context is current) and the process goes on.
class GlutContext
{
public:
    GlutContext();
    ~GlutContext();
    GlutContext(const GlutContext &) = delete;
    GlutContext &operator=(const GlutContext &) = delete;

    bool isValid() const { return m_context != nullptr; }

    // Looks once per process whether the X display offers OpenGL; later calls give the first answer.
    static bool initialise();
    // Why initialise() failed; empty when it succeeded or was not tried.
    static QString failureReason();

private:
    void release();

    _XDisplay *m_display = nullptr;
    unsigned long m_window = 0;
    unsigned long m_colormap = 0;
    __GLXcontextRec *m_context = nullptr;
};
