#pragma once

#include <QByteArray>
#include <QString>

// The launcher app's messages as the guest's launcher reads and writes them: field 1 the action (a
// varint), field 2 the text (length-delimited), in the protocol-buffer wire format. Written here on
// its own, so that the emulator's encoder is checked against an independent reader.
namespace LauncherWire {

struct Message
{
    // The whole input was one message with its action set.
    bool ok = false;
    QString error;
    bool hasAction = false;
    int action = 1;
    bool hasData = false;
    QByteArray data;
};

// The actions of the schema: 1 to 18 and 258 to 260; other values of field 1 are dropped.
bool isKnownAction(quint64 value);

// One message; fields of other numbers are skipped, a later field replaces an earlier one.
Message parse(const QByteArray &bytes);

// A request as it arrives on one connection: the message and one 0x0A byte. Without that last byte it
// is malformed (error set, nothing else).
Message parseRequest(const QByteArray &bytes);

// The bytes of a reply message (the text only when `withData`).
QByteArray encode(int action, const QByteArray &data, bool withData);

} // namespace LauncherWire
