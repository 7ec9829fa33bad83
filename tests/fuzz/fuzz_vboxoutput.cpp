// libFuzzer target: one reader of the VirtualBox tool's output, chosen at build time (ORV_FUZZ_READER),
// fed the bytes as the tool driver decodes them.
#include "vboxoutput.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString text = QString::fromLocal8Bit(reinterpret_cast<const char *>(data), static_cast<int>(size));
#if ORV_FUZZ_READER == 1
    VBoxOutput::isCompleteVmList(text);
    for (const VBoxOutput::VmListEntry &entry : VBoxOutput::parseVmList(text))
        VBoxOutput::isOrvantaVmName(entry.name);
#elif ORV_FUZZ_READER == 2
    VBoxOutput::isCompleteMachineInfo(text);
    const VBoxOutput::MachineInfo info = VBoxOutput::parseMachineInfo(text);
    if (info.forwardRules.size() != info.forwardRuleNames.size())
        __builtin_trap();
#elif ORV_FUZZ_READER == 3
    VBoxOutput::parseHostInfo(text);
#elif ORV_FUZZ_READER == 4
    VBoxOutput::parseGuestProperties(text);
#elif ORV_FUZZ_READER == 5
    VBoxOutput::parseExtraData(text);
#elif ORV_FUZZ_READER == 6
    for (int port : VBoxOutput::parseProcNetTcp(text)) {
        if (port < 0 || port > 65535)
            __builtin_trap();
    }
#elif ORV_FUZZ_READER == 7
    VBoxOutput::createdSettingsFile(text);
    VBoxOutput::existingSettingsFile(text);
#elif ORV_FUZZ_READER == 8
    bool complete = false;
    for (const VBoxOutput::HardDisk &disk : VBoxOutput::parseHardDisks(text, &complete)) {
        if (complete && disk.location.isEmpty())
            __builtin_trap();
    }
    VBoxOutput::settingsMachineName(QByteArray(reinterpret_cast<const char *>(data), static_cast<int>(size)));
#else
#error "ORV_FUZZ_READER names no reader"
#endif
    return 0;
}
