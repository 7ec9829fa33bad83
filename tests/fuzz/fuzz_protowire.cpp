// libFuzzer target: the web stand-in's reader of the protobuf wire format, for both messages it takes.
#include "protowire.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), static_cast<int>(size));
    ProtoWire::decode(ProtoWire::Message::RequestDataReport, bytes);
    ProtoWire::decode(ProtoWire::Message::YeltBaseAPIProto, bytes);
    ProtoWire::decode(ProtoWire::Message::YeltUnityCSPkg, bytes);
    return 0;
}
