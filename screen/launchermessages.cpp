#include "launchermessages.h"

#include "OrvantaPavixTcp.pb.h"

namespace LauncherMessages {

namespace {

// The length of the leading run of whole fields in `bytes` (key and value complete; a group or a key
// 0 ends the run). A reply cut short or followed by stray bytes is read up to there.
int wholeFieldsPrefix(const QByteArray &bytes)
{
    const auto readVarint = [&bytes](int *at, quint64 *value) {
        quint64 result = 0;
        for (int shift = 0; shift < 64 && *at < bytes.size(); shift += 7) {
            const quint8 byte = static_cast<quint8>(bytes.at((*at)++));
            result |= quint64(byte & 0x7f) << shift;
            if (!(byte & 0x80)) {
                *value = result;
                return true;
            }
        }
        return false;
    };
    int end = 0;
    int at = 0;
    while (at < bytes.size()) {
        quint64 key = 0;
        if (!readVarint(&at, &key) || key == 0)
            break;
        quint64 value = 0;
        const int wireType = static_cast<int>(key & 7);
        if (wireType == 0) {
            if (!readVarint(&at, &value))
                break;
        } else if (wireType == 1 || wireType == 5) {
            const int size = wireType == 1 ? 8 : 4;
            if (bytes.size() - at < size)
                break;
            at += size;
        } else if (wireType == 2) {
            if (!readVarint(&at, &value) || value > quint64(bytes.size() - at))
                break;
            at += static_cast<int>(value);
        } else {
            break;
        }
        end = at;
    }
    return end;
}

bool isLauncherAction(int value)
{
    return OrvantaPavixTcp::Orvanta_Pavix_Tcp_Action_IsValid(value);
}

} // namespace

QByteArray requestBytes(int action, const QString &data)
{
    OrvantaPavixTcp::Orvanta_Pavix_Tcp_Req request;
    if (isLauncherAction(action))
        request.set_action(static_cast<OrvantaPavixTcp::Orvanta_Pavix_Tcp_Action>(action));
    if (!data.isEmpty())
        request.set_data(data.toUtf8().toStdString());
    const std::string bytes = request.SerializePartialAsString();
    QByteArray line(bytes.data(), static_cast<int>(bytes.size()));
    line.append('\n');
    return line;
}

LauncherReply readReply(const QByteArray &bytes)
{
    LauncherReply reply;
    if (bytes.isEmpty() || bytes == QByteArrayLiteral("\n"))
        return reply;
    reply.empty = false;
    OrvantaPavixTcp::Orvanta_Pavix_Tcp_Res message;
    // A whole message must be initialised; the check is made here, so the library does not log.
    reply.parsedWhole =
        message.ParsePartialFromArray(bytes.constData(), bytes.size()) && message.has_action();
    if (!reply.parsedWhole) {
        // What was read before a malformed field counts (a reply followed by a stray line feed still
        // acts); the field that broke off is not taken half.
        message.Clear();
        message.ParsePartialFromArray(bytes.constData(), wholeFieldsPrefix(bytes));
    }
    reply.action = message.action();
    const std::string &data = message.data();
    reply.data = QString::fromUtf8(data.data(), static_cast<int>(data.size()));
    return reply;
}

} // namespace LauncherMessages
