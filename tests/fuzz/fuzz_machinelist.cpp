// libFuzzer target: the manager's machine list file (multiplayer.xml) as read from disk.
#include "listfilereader.h"

#include <QByteArray>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), static_cast<int>(size));
    bool wellFormed = false;
    const QList<OrvMulti::ListFileEntry> entries = OrvMulti::parseMachineList(bytes, &wellFormed);
    if (!wellFormed && !entries.isEmpty())
        __builtin_trap();
    return 0;
}
