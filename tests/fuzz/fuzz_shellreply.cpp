// libFuzzer target: the guest's answers to the boot poll's shell commands (boot-complete and "ps").
#include "bootpoll.h"

#include <QString>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(data), static_cast<int>(size));
    const QString pid = BootPoll::launcherPid(text);
    // A pid is one field: never blank, never with white space inside.
    for (const QChar c : pid) {
        if (c.isSpace())
            __builtin_trap();
    }
    BootPoll poll;
    for (int i = 0; i < 7; ++i) {
        const BootPoll::Result result = poll.step(text, text);
        if (result == BootPoll::Ready && (pid.isEmpty() || poll.samePidCount() < BootPoll::kStablePolls))
            __builtin_trap();
    }
    return 0;
}
