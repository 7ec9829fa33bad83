#pragma once

#include <QByteArray>
#include <QString>

// The server side of the upload body: Base64 text of an XXTEA-enciphered block that ends in the
// payload's length as a 32-bit little-endian word. Written apart from the product's encoder so that
// a fault in one does not hide in the other.
namespace BodyCodec {

// Strict standard Base64 (A-Z a-z 0-9 + /, "=" padding, no line breaks). False on any other
// character, a bad length or misplaced padding.
bool base64Decode(const QByteArray &text, QByteArray *out, QString *error);

// Deciphers a block of n >= 2 little-endian 32-bit words in place under a key of at most 16
// bytes (zero-padded to 16).
bool xxteaDecrypt(QByteArray *block, const QByteArray &key, QString *error);

// Takes the payload out of a deciphered block: the last word gives the payload length, which must
// leave only zero padding (0 to 3 bytes) before the word.
bool unwrapLength(const QByteArray &block, QByteArray *payload, QString *error);

struct Result
{
    bool ok = false;
    QString error;
    QByteArray payload;
};

// The three steps in order. An empty body decodes to an empty payload.
Result decodeBody(const QByteArray &body, const QByteArray &key);

} // namespace BodyCodec
