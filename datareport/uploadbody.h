#pragma once

#include <QByteArray>
#include <QString>

// The body of every upload the emulator posts: the payload, zero-padded to a multiple of 4 bytes and
// followed by its length as a 32-bit little-endian word, enciphered with XXTEA under the sender's key
// and sent as standard Base64 text.
namespace UploadBody {

// Key of the usage report (and of the feedback form).
extern const char kReportKey[];
// Key of the run-log and crash-log uploads.
extern const char kLogKey[];

// The Base64 text of the enciphered payload; empty for an empty payload.
QByteArray encode(const QByteArray &payload, const QByteArray &key);

// The payload of a log upload: the text's UTF-8 bytes up to the first zero byte.
QByteArray logPayload(const QString &text);

// The server's verdict: accepted when the transfer ended without a network or HTTP error and the
// answer contains the character "1".
bool isAccepted(bool transferOk, const QByteArray &replyBody);

} // namespace UploadBody
