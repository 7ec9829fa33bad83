#include "bodycodec.h"

#include <QtEndian>

#include <cstdint>
#include <vector>

namespace BodyCodec {

static int base64Value(char c)
{
    if (c >= 'A' && c <= 'Z')
        return c - 'A';
    if (c >= 'a' && c <= 'z')
        return c - 'a' + 26;
    if (c >= '0' && c <= '9')
        return c - '0' + 52;
    if (c == '+')
        return 62;
    if (c == '/')
        return 63;
    return -1;
}

bool base64Decode(const QByteArray &text, QByteArray *out, QString *error)
{
    out->clear();
    if (text.size() % 4 != 0) {
        *error = QStringLiteral("base64 length %1 is not a multiple of 4").arg(text.size());
        return false;
    }
    for (int i = 0; i < text.size(); i += 4) {
        const bool last = i + 4 == text.size();
        int values[4];
        int padding = 0;
        for (int j = 0; j < 4; ++j) {
            const char c = text.at(i + j);
            if (c == '=' && last && j >= 2) {
                values[j] = 0;
                ++padding;
                continue;
            }
            if (padding > 0 || (values[j] = base64Value(c)) < 0) {
                *error = QStringLiteral("base64 character %1 at offset %2 is not valid")
                             .arg(int(static_cast<unsigned char>(c)))
                             .arg(i + j);
                return false;
            }
        }
        const uint32_t group = uint32_t(values[0]) << 18 | uint32_t(values[1]) << 12 |
                               uint32_t(values[2]) << 6 | uint32_t(values[3]);
        out->append(char(group >> 16));
        if (padding < 2)
            out->append(char(group >> 8 & 0xFF));
        if (padding < 1)
            out->append(char(group & 0xFF));
    }
    return true;
}

bool xxteaDecrypt(QByteArray *block, const QByteArray &key, QString *error)
{
    if (block->size() < 8 || block->size() % 4 != 0) {
        *error =
            QStringLiteral("enciphered block of %1 bytes is not two or more whole words").arg(block->size());
        return false;
    }
    if (key.size() > 16) {
        *error = QStringLiteral("key longer than 16 bytes");
        return false;
    }
    uint32_t k[4] = {0, 0, 0, 0};
    unsigned char keyBytes[16] = {};
    for (int i = 0; i < key.size(); ++i)
        keyBytes[i] = static_cast<unsigned char>(key.at(i));
    for (int i = 0; i < 4; ++i)
        k[i] = qFromLittleEndian<quint32>(keyBytes + 4 * i);

    const int n = block->size() / 4;
    std::vector<uint32_t> v(static_cast<size_t>(n));
    auto *bytes = reinterpret_cast<unsigned char *>(block->data());
    for (int i = 0; i < n; ++i)
        v[size_t(i)] = qFromLittleEndian<quint32>(bytes + 4 * i);

    const uint32_t delta = 0x9E3779B9u;
    const uint32_t rounds = 6 + 52 / uint32_t(n);
    uint32_t sum = rounds * delta;
    uint32_t y = v[0];
    uint32_t z;
    auto mx = [&](uint32_t p, uint32_t e) {
        return (((z >> 5) ^ (y << 2)) + ((y >> 3) ^ (z << 4))) ^ ((sum ^ y) + (k[(p & 3) ^ e] ^ z));
    };
    while (sum != 0) {
        const uint32_t e = (sum >> 2) & 3;
        uint32_t p;
        for (p = uint32_t(n - 1); p > 0; --p) {
            z = v[p - 1];
            y = v[p] -= mx(p, e);
        }
        z = v[size_t(n - 1)];
        y = v[0] -= mx(0, e);
        sum -= delta;
    }
    for (int i = 0; i < n; ++i)
        qToLittleEndian<quint32>(v[size_t(i)], bytes + 4 * i);
    return true;
}

bool unwrapLength(const QByteArray &block, QByteArray *payload, QString *error)
{
    if (block.size() < 8 || block.size() % 4 != 0) {
        *error = QStringLiteral("block of %1 bytes cannot hold a length word").arg(block.size());
        return false;
    }
    const int dataSize = block.size() - 4;
    const quint32 length = qFromLittleEndian<quint32>(block.constData() + dataSize);
    // The payload fills the data part up to at most three zero bytes of padding.
    if (length > quint32(dataSize) || quint32(dataSize) - length > 3) {
        *error =
            QStringLiteral("length word %1 does not fit a block of %2 bytes").arg(length).arg(block.size());
        return false;
    }
    for (int i = int(length); i < dataSize; ++i) {
        if (block.at(i) != 0) {
            *error = QStringLiteral("padding byte %1 is not zero").arg(i);
            return false;
        }
    }
    *payload = block.left(int(length));
    return true;
}

Result decodeBody(const QByteArray &body, const QByteArray &key)
{
    Result result;
    if (body.isEmpty()) {
        result.ok = true;
        return result;
    }
    QByteArray block;
    if (!base64Decode(body, &block, &result.error))
        return result;
    if (!xxteaDecrypt(&block, key, &result.error))
        return result;
    if (!unwrapLength(block, &result.payload, &result.error))
        return result;
    result.ok = true;
    return result;
}

} // namespace BodyCodec
