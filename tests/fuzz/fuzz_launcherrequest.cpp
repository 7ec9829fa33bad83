// libFuzzer target: the simulated launcher's reader of the requests it receives and of any message.
#include "launcherwire.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), static_cast<int>(size));
    const LauncherWire::Message request = LauncherWire::parseRequest(bytes);
    const LauncherWire::Message message = LauncherWire::parse(bytes);
    // What it reads back from its own encoding is what it wrote.
    if (message.ok) {
        const LauncherWire::Message again =
            LauncherWire::parse(LauncherWire::encode(message.action, message.data, message.hasData));
        if (!again.ok || again.action != message.action || again.data != message.data)
            std::abort();
    }
    (void)request;
    return 0;
}
