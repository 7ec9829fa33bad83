#pragma once

#include "glxprobe.h"

#include <QString>

#include <memory>

// The OpenGL facts the environment checks read (version, vendor, renderer) while this object lives,
// as a hidden 1 x 1 OpenGL window "OpenGL Version" gives them.
//
// Where the probe program OrvGlProbe lies beside the running program (as installed), the window and
// its context are made there, in a process of its own: the OpenGL driver, its threads and the several
// megabytes of its code's relocations never enter this program. Elsewhere (a program built without it)
// the window is made here, on an X connection of its own that goes with the object. Either way the
// window is never mapped. Without a display with OpenGL the object is simply not valid and the texts
// are empty.
class GlutContext
{
public:
    GlutContext();
    ~GlutContext();
    GlutContext(const GlutContext &) = delete;
    GlutContext &operator=(const GlutContext &) = delete;

    bool isValid() const { return m_valid; }
    // GL_VERSION, GL_VENDOR or GL_RENDERER of the probed context; empty when not valid.
    QString text(unsigned int name) const;
    // The object alive on the calling thread (the innermost one), or nullptr.
    static const GlutContext *current();

    // Starts the probe program now, in the background, so that its answer is ready by the time the
    // start-up's checks make their window: the next object made takes that answer (waiting for it if it
    // is not in yet) instead of starting the probe itself. Nothing without the probe program. May be
    // called before the application object exists.
    static void prefetch();

    // Looks once per process whether the X display offers OpenGL; later calls give the first answer.
    static bool initialise();
    // Why initialise() failed; empty when it succeeded or was not tried.
    static QString failureReason();

private:
    bool m_valid = false;
    QString m_version, m_vendor, m_renderer;  // from the probe program
    std::unique_ptr<GlxProbeWindow> m_window; // made here, without the probe program
    const GlutContext *m_outer = nullptr;
};
