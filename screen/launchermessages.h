#pragma once

#include <QByteArray>
#include <QString>

// What one reply file of the launcher asks for, read from its bytes (pure, see readReply).
struct LauncherReply
{
    // Empty files and a lone line feed carry nothing.
    bool empty = true;
    // The action read (1 when the bytes held none) and its text.
    int action = 1; // Orvanta_Action_StopScript, the schema's first value
    QString data;
    // The bytes parsed as one whole message; the action and text are acted on either way.
    bool parsedWhole = false;
};

// The launcher messages (OrvantaPavixTcp.proto) as bytes, without any transport (pure).
namespace LauncherMessages {

// The bytes of a request: the serialized message (the text only when not empty) and 0x0A.
QByteArray requestBytes(int action, const QString &data);
// The content of one reply file.
LauncherReply readReply(const QByteArray &bytes);

} // namespace LauncherMessages
