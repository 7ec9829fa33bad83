// OrvGlProbe: reads the OpenGL version, vendor and renderer in a process of its own, so that the OpenGL
// driver (a software renderer brings a compiler of several megabytes and a thread per processor) never
// enters the program that asks. Prints three lines: version, vendor, renderer; exits 0 when it had a
// context, 1 (with the reason on standard error) when not.
#include "glxprobe.h"

#include <GL/gl.h>
#include <X11/Xlib.h>

#include <cstdio>

namespace {

const char *text(GLenum name)
{
    const GLubyte *value = glGetString(name);
    return value ? reinterpret_cast<const char *>(value) : "";
}

} // namespace

int main()
{
    XInitThreads();
    // One connection: the driver is loaded and its screen set up once (a separate look for GLX first
    // would do it all twice, which is most of this program's time).
    GlxProbeWindow window;
    if (const char *reason = window.open()) {
        std::fprintf(stderr, "%s\n", reason);
        return 1;
    }
    std::printf("%s\n%s\n%s\n", text(GL_VERSION), text(GL_VENDOR), text(GL_RENDERER));
    std::fflush(stdout);
    window.close();
    return 0;
}
