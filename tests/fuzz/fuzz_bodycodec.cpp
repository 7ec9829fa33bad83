// libFuzzer target: the web stand-in's decoder of upload bodies (Base64, XXTEA, length word), and the
// product's encoder against it: a payload the product encodes decodes to itself.
#include "bodycodec.h"
#include "uploadbody.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), static_cast<int>(size));
    const QByteArray key(UploadBody::kReportKey);
    BodyCodec::decodeBody(bytes, key);

    if (!bytes.isEmpty()) {
        const BodyCodec::Result back = BodyCodec::decodeBody(UploadBody::encode(bytes, key), key);
        if (!back.ok || back.payload != bytes)
            __builtin_trap();
    }
    return 0;
}
