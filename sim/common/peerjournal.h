#pragma once

// The peers' common journal: when $ORV_PEER_JOURNAL names a file, a stand-in appends one line per
// thing it saw, "<microseconds since the epoch> <peer> <what>", with a single append, so that the lines
// of all stand-ins interleave whole and a test reads in which order the peers saw a program's effects.

#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <string>
#include <unistd.h>

namespace PeerJournal {

inline void append(const std::string &peer, const std::string &what)
{
    const char *path = std::getenv("ORV_PEER_JOURNAL");
    if (!path || !*path)
        return;
    timespec now = {};
    clock_gettime(CLOCK_REALTIME, &now);
    const long long micros = static_cast<long long>(now.tv_sec) * 1000000LL + now.tv_nsec / 1000;
    std::string line = std::to_string(micros) + ' ' + peer + ' ';
    for (char c : what)
        line += (c == '\n' || c == '\r') ? ' ' : c;
    line += '\n';
    const int fd = open(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    if (fd < 0)
        return;
    (void)!write(fd, line.data(), line.size());
    close(fd);
}

} // namespace PeerJournal
