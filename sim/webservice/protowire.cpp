#include "protowire.h"

#include <QJsonArray>

#include <cstdint>
#include <cstring>

namespace ProtoWire {

namespace {

enum class Kind
{
    Int32,
    UInt32,
    UInt64,
    Bool,
    Enum,
    String,
    Bytes,
    Double,
    Message,
};

struct MessageDef;

struct FieldDef
{
    int number;
    const char *name;
    Kind kind;
    bool repeated;
    bool required;
    const MessageDef *message;
};

struct MessageDef
{
    const char *name;
    std::initializer_list<FieldDef> fields;
};

// Tables of the messages as the server knows them.
const MessageDef kUserLocation{"UserLocation",
                               {
                                   {1, "latitude", Kind::Double, false, false, nullptr},
                                   {2, "longitude", Kind::Double, false, false, nullptr},
                               }};

const MessageDef kUserInfo{"UserInfo",
                           {
                               {1, "uuid", Kind::String, false, true, nullptr},
                               {2, "productID", Kind::Enum, false, true, nullptr},
                               {3, "version", Kind::String, false, true, nullptr},
                               {4, "buildNo", Kind::String, false, false, nullptr},
                               {5, "channelID", Kind::Int32, false, false, nullptr},
                               {6, "platformType", Kind::Enum, false, false, nullptr},
                               {7, "subPlatform", Kind::Enum, false, false, nullptr},
                               {8, "sysVersion", Kind::String, false, false, nullptr},
                               {9, "imei", Kind::String, false, false, nullptr},
                               {10, "macAddress", Kind::String, false, false, nullptr},
                               {11, "imsi", Kind::String, false, false, nullptr},
                               {12, "isRoot", Kind::Bool, false, false, nullptr},
                               {13, "username", Kind::String, false, false, nullptr},
                               {14, "simOparetor", Kind::Int32, false, false, nullptr},
                               {15, "connectType", Kind::Enum, false, false, nullptr},
                               {16, "location", Kind::Message, false, false, &kUserLocation},
                               {17, "IDFA", Kind::String, false, false, nullptr},
                               {18, "IDFV", Kind::String, false, false, nullptr},
                               {19, "language", Kind::UInt32, false, false, nullptr},
                               {20, "device_id", Kind::String, false, false, nullptr},
                               {21, "appid", Kind::UInt32, false, false, nullptr},
                               {22, "device_name", Kind::String, false, false, nullptr},
                               {23, "sysApiVersion", Kind::UInt32, false, false, nullptr},
                               {24, "ios_udid", Kind::String, false, false, nullptr},
                               {25, "ios_team_identifier", Kind::String, false, false, nullptr},
                           }};

const MessageDef kRequestBase{"RequestBase",
                              {
                                  {1, "requestID", Kind::Int32, false, true, nullptr},
                                  {2, "serverID", Kind::Int32, false, true, nullptr},
                                  {3, "requestFunction", Kind::String, false, true, nullptr},
                                  {4, "requestType", Kind::Enum, false, false, nullptr},
                              }};

const MessageDef kCommonEventObject{"CommonEventObject",
                                    {
                                        {1, "timeStamp", Kind::UInt64, false, true, nullptr},
                                        {2, "eventKey", Kind::UInt32, false, true, nullptr},
                                        {3, "eventValue", Kind::String, true, false, nullptr},
                                    }};

const MessageDef kBaseEventMap{"BaseEventMap",
                               {
                                   {1, "dataKey", Kind::String, false, true, nullptr},
                                   {2, "dataValue", Kind::String, false, false, nullptr},
                               }};

const MessageDef kCommonEventObjectEx{"CommonEventObjectEx",
                                      {
                                          {1, "timeStamp", Kind::UInt64, false, true, nullptr},
                                          {2, "eventKey", Kind::UInt32, false, true, nullptr},
                                          {3, "eventMaps", Kind::Message, true, false, &kBaseEventMap},
                                      }};

const MessageDef kRequestDataReport{
    "RequestDataReport",
    {
        {1, "requestBase", Kind::Message, false, true, &kRequestBase},
        {2, "userInfo", Kind::Message, false, true, &kUserInfo},
        {3, "commonEvents", Kind::Message, true, false, &kCommonEventObject},
        {4, "commonExEvents", Kind::Message, true, false, &kCommonEventObjectEx},
    }};

const MessageDef kYeltBaseAPIReq{"YeltBaseAPIReq",
                                 {
                                     {1, "user_info", Kind::Message, false, true, &kUserInfo},
                                     {2, "details", Kind::String, false, false, nullptr},
                                     {3, "gameName", Kind::String, false, false, nullptr},
                                     {4, "packageName", Kind::String, false, false, nullptr},
                                     {5, "channelId", Kind::UInt32, false, false, nullptr},
                                     {6, "deviceName", Kind::String, false, false, nullptr},
                                     {7, "phoneNumber", Kind::String, false, false, nullptr},
                                     {8, "qqNumber", Kind::String, false, false, nullptr},
                                     {9, "emailAddress", Kind::String, false, false, nullptr},
                                     {10, "type", Kind::Enum, false, false, nullptr},
                                     {11, "images", Kind::Bytes, true, false, nullptr},
                                 }};

const MessageDef kYeltBaseAPIProto{"YeltBaseAPIProto",
                                   {
                                       {1, "result", Kind::Int32, false, true, nullptr},
                                       {2, "subcmd", Kind::Int32, false, true, nullptr},
                                       {3, "baseapi_req", Kind::Message, false, false, &kYeltBaseAPIReq},
                                   }};

// The unity package that carries a base API message: the head names the command, the body holds the
// serialised message (a bytes field, read here as the base API message it carries).
const MessageDef kYeltUnityCSPkgHead{"YeltUnityCSPkgHead",
                                     {
                                         {1, "cmd", Kind::UInt32, false, true, nullptr},
                                         {2, "uin", Kind::UInt64, false, false, nullptr},
                                         {3, "login_key", Kind::String, false, false, nullptr},
                                         {4, "requestType", Kind::Enum, false, false, nullptr},
                                         {5, "version", Kind::UInt32, false, false, nullptr},
                                         {6, "seq_num", Kind::UInt32, false, false, nullptr},
                                         {7, "user_info", Kind::Message, false, false, &kUserInfo},
                                     }};

const MessageDef kYeltUnityCSPkg{"YeltUnityCSPkg",
                                 {
                                     {1, "result", Kind::Int32, false, true, nullptr},
                                     {2, "head", Kind::Message, false, false, &kYeltUnityCSPkgHead},
                                     {3, "body", Kind::Message, false, false, &kYeltBaseAPIProto},
                                     {4, "warn_str", Kind::String, false, false, nullptr},
                                 }};

struct Reader
{
    const QByteArray &data;
    int pos = 0;

    bool atEnd() const { return pos >= data.size(); }

    bool varint(uint64_t *value)
    {
        *value = 0;
        for (int shift = 0; shift < 64; shift += 7) {
            if (pos >= data.size())
                return false;
            const auto byte = static_cast<unsigned char>(data.at(pos++));
            *value |= uint64_t(byte & 0x7F) << shift;
            if (!(byte & 0x80))
                return true;
        }
        return false;
    }

    bool bytes(int count, QByteArray *out)
    {
        if (count < 0 || count > data.size() - pos)
            return false;
        *out = data.mid(pos, count);
        pos += count;
        return true;
    }
};

int expectedWireType(Kind kind)
{
    switch (kind) {
    case Kind::Double:
        return 1;
    case Kind::String:
    case Kind::Bytes:
    case Kind::Message:
        return 2;
    default:
        return 0;
    }
}

QJsonObject decodeMessage(const MessageDef &def, const QByteArray &bytes, const QString &path,
                          QStringList *problems);

QJsonValue fieldValue(const FieldDef &field, uint64_t varint, const QByteArray &raw, const QString &path,
                      QStringList *problems)
{
    switch (field.kind) {
    case Kind::Int32:
        return int(int32_t(uint32_t(varint)));
    case Kind::UInt32:
        return double(uint32_t(varint));
    case Kind::UInt64:
        return double(varint);
    case Kind::Bool:
        return varint != 0;
    case Kind::Enum:
        return int(int32_t(uint32_t(varint)));
    case Kind::Double: {
        double d;
        memcpy(&d, &varint, sizeof d);
        return d;
    }
    case Kind::String:
        return QString::fromUtf8(raw);
    case Kind::Bytes:
        return QString::fromLatin1(raw.toHex());
    case Kind::Message:
        return decodeMessage(*field.message, raw, path, problems);
    }
    return QJsonValue();
}

QJsonObject decodeMessage(const MessageDef &def, const QByteArray &bytes, const QString &path,
                          QStringList *problems)
{
    QJsonObject object;
    Reader reader{bytes};
    while (!reader.atEnd()) {
        uint64_t tag;
        if (!reader.varint(&tag)) {
            problems->append(QStringLiteral("%1: broken tag at offset %2").arg(path).arg(reader.pos));
            break;
        }
        const int number = int(tag >> 3);
        const int wireType = int(tag & 7);
        uint64_t varint = 0;
        QByteArray raw;
        bool read = false;
        switch (wireType) {
        case 0:
            read = reader.varint(&varint);
            break;
        case 1:
            read = reader.bytes(8, &raw);
            if (read)
                memcpy(&varint, raw.constData(), 8); // wire order is little-endian, as here
            break;
        case 2: {
            uint64_t length;
            read =
                reader.varint(&length) && length <= uint64_t(bytes.size()) && reader.bytes(int(length), &raw);
            break;
        }
        case 5:
            read = reader.bytes(4, &raw);
            if (read)
                memcpy(&varint, raw.constData(), 4);
            break;
        default:
            break;
        }
        if (!read || number == 0) {
            problems->append(
                QStringLiteral("%1: broken field %2 (wire type %3)").arg(path).arg(number).arg(wireType));
            break;
        }

        const FieldDef *field = nullptr;
        for (const FieldDef &candidate : def.fields) {
            if (candidate.number == number)
                field = &candidate;
        }
        if (!field) {
            const QString key = QStringLiteral("#%1").arg(number);
            object.insert(key, wireType == 2 ? QJsonValue(QString::fromLatin1(raw.toHex()))
                                             : QJsonValue(double(varint)));
            continue;
        }
        const QString fieldPath = path + QLatin1Char('.') + QLatin1String(field->name);
        if (wireType != expectedWireType(field->kind)) {
            problems->append(QStringLiteral("%1: wire type %2 where %3 belongs")
                                 .arg(fieldPath)
                                 .arg(wireType)
                                 .arg(expectedWireType(field->kind)));
            continue;
        }
        const QString name = QLatin1String(field->name);
        if (field->repeated) {
            QJsonArray array = object.value(name).toArray();
            const QString itemPath = fieldPath + QStringLiteral("[%1]").arg(array.size());
            array.append(fieldValue(*field, varint, raw, itemPath, problems));
            object.insert(name, array);
        } else {
            // A later occurrence of a singular field replaces the earlier one, as protobuf does.
            object.insert(name, fieldValue(*field, varint, raw, fieldPath, problems));
        }
    }
    for (const FieldDef &field : def.fields) {
        if (field.required && !object.contains(QLatin1String(field.name)))
            problems->append(
                QStringLiteral("%1.%2: required field missing").arg(path, QLatin1String(field.name)));
    }
    return object;
}

} // namespace

Decoded decode(Message message, const QByteArray &bytes)
{
    Decoded result;
    const MessageDef &def = message == Message::RequestDataReport ? kRequestDataReport
                            : message == Message::YeltUnityCSPkg  ? kYeltUnityCSPkg
                                                                  : kYeltBaseAPIProto;
    result.json = decodeMessage(def, bytes, QLatin1String(def.name), &result.problems);
    return result;
}

} // namespace ProtoWire
