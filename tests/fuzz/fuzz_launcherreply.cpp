// libFuzzer target: the launcher channel's reading of one reply file (the message library's parse and
// the cut-off rule for a reply that breaks off).
#include "launchermessages.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), static_cast<int>(size));
    const LauncherReply reply = LauncherMessages::readReply(bytes);
    // A whole message read back as a request keeps its action and text.
    if (reply.parsedWhole)
        (void)LauncherMessages::readReply(LauncherMessages::requestBytes(reply.action, reply.data));
    return 0;
}
