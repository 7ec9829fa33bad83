// libFuzzer target: the VirtualBox tool's "list vms" and "showvminfo --machinereadable" output.
#include "toolparsers.h"

#include <QString>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString text = QString::fromLocal8Bit(reinterpret_cast<const char *>(data), static_cast<int>(size));
    for (const OrvMulti::ListedVm &vm : OrvMulti::parseVmList(text)) {
        if (vm.name.contains(QLatin1Char('\n')))
            __builtin_trap();
    }
    const QMap<QString, QString> info = OrvMulti::parseMachineReadable(text);
    for (auto it = info.cbegin(); it != info.cend(); ++it) {
        if (it.key().contains(QLatin1Char('"')) || it.value().contains(QLatin1Char('"')))
            __builtin_trap();
    }
    return 0;
}
