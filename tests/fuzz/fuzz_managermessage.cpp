// libFuzzer target: the manager message a peer writes to the manager's channel.
#include "mpcommandline.h"

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), static_cast<int>(size));
    QString vm;
    QString status;
    if (OrvMulti::parseManagerMessage(bytes, &vm, &status)) {
        // What the manager writes is what it reads back.
        QString vm2;
        QString status2;
        if (!OrvMulti::parseManagerMessage(OrvMulti::managerMessage(vm, status), &vm2, &status2) ||
            vm2 != vm || status2 != status)
            __builtin_trap();
    }
    return 0;
}
