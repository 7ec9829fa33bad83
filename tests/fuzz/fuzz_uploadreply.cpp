// libFuzzer target: the handling of the report server's answer to an upload.
#include "uploadbody.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray body(reinterpret_cast<const char *>(data), static_cast<int>(size));
    // A failed transfer is never accepted, whatever came back.
    if (UploadBody::isAccepted(false, body))
        __builtin_trap();
    if (UploadBody::isAccepted(true, body) != body.contains('1'))
        __builtin_trap();
    return 0;
}
