#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <QStringList>

// A small reader of the protobuf wire format with hand-written tables of the messages the server
// receives. It turns a message into JSON with the field names as keys (repeated fields as arrays,
// enums as numbers, 64-bit integers as numbers), and lists every fault it meets: a broken wire,
// a field of the wrong wire type, a missing required field. Fields it does not know appear as
// "#<number>" with their raw wire value, so nothing the client sent is hidden.
namespace ProtoWire {

enum class Message
{
    RequestDataReport,
    YeltBaseAPIProto,
    // A unity package whose body is a base API message (what the base API endpoint receives).
    YeltUnityCSPkg,
};

struct Decoded
{
    QJsonObject json;
    QStringList problems; // empty when the message is well formed and complete
};

Decoded decode(Message message, const QByteArray &bytes);

} // namespace ProtoWire
