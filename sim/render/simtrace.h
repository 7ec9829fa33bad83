#pragma once

// The call trace of the render stand-ins: one line per call appended to the file $ORV_RENDER_TRACE
// (nothing when unset). Each line is written with one append, so the lines of the render library and
// of the helper library interleave whole.

#include "peerjournal.h"

#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <unistd.h>

namespace SimTrace {

inline void append(const std::string &line)
{
    PeerJournal::append("render", line);
    const char *path = std::getenv("ORV_RENDER_TRACE");
    if (!path || !*path)
        return;
    const int fd = open(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    if (fd < 0)
        return;
    const std::string text = line + "\n";
    (void)!write(fd, text.data(), text.size());
    close(fd);
}

} // namespace SimTrace
