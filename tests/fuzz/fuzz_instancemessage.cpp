// libFuzzer target: the instance message a second start sends to the running process.
#include "instancemessage.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), static_cast<int>(size));
    bool valid = false;
    const InstanceMessage message = InstanceMessage::fromJson(bytes, &valid);
    // A message read back is written again as a sender would; it must read the same.
    if (valid) {
        bool again = false;
        const InstanceMessage echo = InstanceMessage::fromJson(message.toJson(), &again);
        if (!again || echo.pkgpath != message.pkgpath || echo.pkgname != message.pkgname ||
            echo.vmName != message.vmName || echo.isStop != message.isStop)
            __builtin_trap();
    }
    return 0;
}
