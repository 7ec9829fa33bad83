// Stand-in for the helper library loaded beside the render library. GetFPS returns $ORV_RENDER_GETFPS
// (default 60). Every call goes to the trace file with the tag "helper".

#include "simtrace.h"

#include <cstdlib>
#include <string>

#define ORV_EXPORT extern "C" __attribute__((visibility("default")))

ORV_EXPORT void HookForChangeDllName()
{
    SimTrace::append("helper HookForChangeDllName()");
}

ORV_EXPORT int GetFPS()
{
    const char *value = std::getenv("ORV_RENDER_GETFPS");
    const int fps = value && *value ? std::atoi(value) : 60;
    SimTrace::append("helper GetFPS() = " + std::to_string(fps));
    return fps;
}
