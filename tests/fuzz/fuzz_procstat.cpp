// libFuzzer target: the reader of a process's stat line (<proc>/<pid>/stat), whose command name may hold
// blanks and parentheses.
#include "processes.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray text(reinterpret_cast<const char *>(data), static_cast<int>(size));
    if (Processes::parseParentId(text) < -1)
        __builtin_trap();
    Processes::parseState(text);
    return 0;
}
