// libFuzzer target: one line of the kernel's TCP connection table (<proc>/net/tcp, tcp6) as the check of
// a forwarded port's listener reads it.
#include "listeners.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray text(reinterpret_cast<const char *>(data), static_cast<int>(size));
    for (const QByteArray &line : text.split('\n')) {
        quint16 port = 0;
        QByteArray address;
        int state = -1;
        qint64 uid = -1;
        quint64 inode = 0;
        // A line that is taken has an address before the port and a state.
        if (Listeners::parseTableLine(line, &port, &address, &state, &uid, &inode) &&
            (address.isEmpty() || state < 0))
            __builtin_trap();
    }
    return 0;
}
