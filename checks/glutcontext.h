#pragma once

#include <QString>

// A hidden 1 x 1 OpenGL window made with GLUT, whose context is current on the constructing thread
// while the object lives; the environment checks read the OpenGL version and renderer through it.
//
// GLUT may be initialised only once per process and ends the process when it finds no display, so
// every user goes through this class: it initialises GLUT once, after making sure an X display with
// OpenGL is there, and serialises all GLUT calls. Without a display the object is simply not valid
// (no context is current) and the process goes on.
class GlutContext
{
public:
    GlutContext();
    ~GlutContext();
    GlutContext(const GlutContext &) = delete;
    GlutContext &operator=(const GlutContext &) = delete;

    bool isValid() const { return m_window > 0; }

    // Initialises GLUT for this process on first call; later calls give the first answer.
    static bool initialise();
    // Why initialise() failed; empty when it succeeded or was not tried.
    static QString failureReason();

private:
    int m_window = 0;
};
