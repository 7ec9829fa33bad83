#include "launcherwire.h"

namespace LauncherWire {

namespace {

bool readVarint(const QByteArray &bytes, int *at, quint64 *value)
{
    quint64 result = 0;
    for (int shift = 0; shift < 64; shift += 7) {
        if (*at >= bytes.size())
            return false;
        const quint8 byte = static_cast<quint8>(bytes.at((*at)++));
        result |= quint64(byte & 0x7f) << shift;
        if (!(byte & 0x80)) {
            *value = result;
            return true;
        }
    }
    return false; // more than ten bytes
}

void appendVarint(QByteArray *out, quint64 value)
{
    do {
        quint8 byte = value & 0x7f;
        value >>= 7;
        if (value)
            byte |= 0x80;
        out->append(static_cast<char>(byte));
    } while (value);
}

// Skips the fields of a group started with field `field` up to its end key; false when it never ends.
bool skipGroup(const QByteArray &bytes, int *at, quint64 field, int depth)
{
    if (depth > 64)
        return false;
    while (*at < bytes.size()) {
        quint64 key = 0;
        if (!readVarint(bytes, at, &key) || key == 0)
            return false;
        const int wireType = static_cast<int>(key & 7);
        quint64 value = 0;
        switch (wireType) {
        case 0:
            if (!readVarint(bytes, at, &value))
                return false;
            break;
        case 1:
        case 5: {
            const int size = wireType == 1 ? 8 : 4;
            if (bytes.size() - *at < size)
                return false;
            *at += size;
            break;
        }
        case 2:
            if (!readVarint(bytes, at, &value) || value > quint64(bytes.size() - *at))
                return false;
            *at += static_cast<int>(value);
            break;
        case 3:
            if (!skipGroup(bytes, at, key >> 3, depth + 1))
                return false;
            break;
        case 4:
            return (key >> 3) == field;
        default:
            return false;
        }
    }
    return false;
}

} // namespace

bool isKnownAction(quint64 value)
{
    return (value >= 1 && value <= 18) || (value >= 258 && value <= 260);
}

Message parse(const QByteArray &bytes)
{
    Message message;
    int at = 0;
    while (at < bytes.size()) {
        quint64 key = 0;
        if (!readVarint(bytes, &at, &key)) {
            message.error = QStringLiteral("truncated key");
            return message;
        }
        if (key == 0) {
            message.error = QStringLiteral("key 0");
            return message;
        }
        const quint64 field = key >> 3;
        const int wireType = static_cast<int>(key & 7);
        if (field == 1 && wireType == 0) {
            quint64 value = 0;
            if (!readVarint(bytes, &at, &value)) {
                message.error = QStringLiteral("truncated action");
                return message;
            }
            if (isKnownAction(value)) {
                message.hasAction = true;
                message.action = static_cast<int>(value);
            }
            continue;
        }
        switch (wireType) {
        case 0: {
            quint64 ignored = 0;
            if (!readVarint(bytes, &at, &ignored)) {
                message.error = QStringLiteral("truncated varint");
                return message;
            }
            break;
        }
        case 1:
        case 5: {
            const int size = wireType == 1 ? 8 : 4;
            if (bytes.size() - at < size) {
                message.error = QStringLiteral("truncated fixed field");
                return message;
            }
            at += size;
            break;
        }
        case 2: {
            quint64 length = 0;
            if (!readVarint(bytes, &at, &length) || length > quint64(bytes.size() - at)) {
                message.error = QStringLiteral("truncated length-delimited field");
                return message;
            }
            if (field == 2) {
                message.hasData = true;
                message.data = bytes.mid(at, static_cast<int>(length));
            }
            at += static_cast<int>(length);
            break;
        }
        case 3:
            if (!skipGroup(bytes, &at, field, 0)) {
                message.error = QStringLiteral("group without its end");
                return message;
            }
            break;
        default:
            message.error = QStringLiteral("wire type %1").arg(wireType);
            return message;
        }
    }
    if (!message.hasAction) {
        message.error = QStringLiteral("no action");
        return message;
    }
    message.ok = true;
    return message;
}

Message parseRequest(const QByteArray &bytes)
{
    if (!bytes.endsWith('\n')) {
        Message message;
        message.error =
            bytes.isEmpty() ? QStringLiteral("empty request") : QStringLiteral("no line feed at the end");
        return message;
    }
    return parse(bytes.left(bytes.size() - 1));
}

QByteArray encode(int action, const QByteArray &data, bool withData)
{
    QByteArray out;
    out.append(char(0x08));
    appendVarint(&out, static_cast<quint64>(action));
    if (withData) {
        out.append(char(0x12));
        appendVarint(&out, static_cast<quint64>(data.size()));
        out.append(data);
    }
    return out;
}

} // namespace LauncherWire
