#include "keymapfile.h"

#include "machinename.h"
#include "paths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <QtEndian>

#include <cmath>

namespace KeyMapFile {

namespace {

// A file name may hold at most 255 bytes; the package name takes all but ".json".
constexpr int kMaxPackageLength = 250;
// Proportions that differ by more than this are another screen shape.
constexpr double kShapeTolerance = 0.01;
constexpr quint32 kNullLength = 0xFFFFFFFFu;

void putInt(QByteArray &out, qint32 value)
{
    char bytes[4];
    qToBigEndian<qint32>(value, bytes);
    out.append(bytes, 4);
}

// Reads big-endian integers from a byte array; reading past the end fails and leaves the value 0.
class Reader
{
public:
    explicit Reader(const QByteArray &bytes) : m_bytes(bytes) {}

    bool readU32(quint32 *value)
    {
        *value = 0;
        if (remaining() < 4)
            return false;
        *value = qFromBigEndian<quint32>(m_bytes.constData() + m_pos);
        m_pos += 4;
        return true;
    }
    qint32 readI32OrZero()
    {
        quint32 v = 0;
        if (!readU32(&v))
            m_pos = m_bytes.size();
        return static_cast<qint32>(v);
    }
    bool readBytes(quint32 length, QByteArray *out)
    {
        if (length > static_cast<quint32>(remaining()))
            return false;
        *out = m_bytes.mid(m_pos, static_cast<int>(length));
        m_pos += static_cast<int>(length);
        return true;
    }
    int remaining() const { return m_bytes.size() - m_pos; }

private:
    const QByteArray &m_bytes;
    int m_pos = 0;
};

QString organisationName()
{
    const QString name = QCoreApplication::organizationName();
    return name.isEmpty() ? QStringLiteral("Halvora") : name;
}

QByteArray fromBase64Text(const QJsonValue &value)
{
    // The member's text as Latin-1 bytes, decoded with characters outside the alphabet skipped.
    return QByteArray::fromBase64(value.toString().toLatin1());
}

} // namespace

QByteArray encodeMap(const KeyMap &map)
{
    QByteArray out;
    putInt(out, map.size());
    // QDataStream writes a QMap from its greatest key to its smallest.
    for (auto it = map.constEnd(); it != map.constBegin();) {
        --it;
        const QString &key = it.key();
        putInt(out, key.size() * 2);
        for (const QChar c : key) {
            const char unit[2] = {static_cast<char>(c.unicode() >> 8), static_cast<char>(c.unicode() & 0xFF)};
            out.append(unit, 2);
        }
        putInt(out, 12);
        putInt(out, it.value().type);
        putInt(out, it.value().pos.x());
        putInt(out, it.value().pos.y());
    }
    return out;
}

KeyMap decodeMap(const QByteArray &payload, bool *ok)
{
    KeyMap map;
    if (ok)
        *ok = false;
    Reader reader(payload);
    quint32 count = 0;
    if (!reader.readU32(&count))
        return {};
    // Every entry takes at least 8 bytes (two lengths), so a count beyond that is a damaged payload and
    // fails below without allocating anything for it.
    for (quint32 i = 0; i < count; ++i) {
        quint32 keyLength = 0;
        if (!reader.readU32(&keyLength))
            return {};
        QString key;
        if (keyLength != kNullLength) {
            QByteArray raw;
            if ((keyLength & 1u) || !reader.readBytes(keyLength, &raw))
                return {};
            key.resize(static_cast<int>(keyLength / 2));
            for (int c = 0; c < key.size(); ++c)
                key[c] = QChar(static_cast<ushort>((static_cast<uchar>(raw.at(2 * c)) << 8) |
                                                   static_cast<uchar>(raw.at(2 * c + 1))));
        }
        quint32 valueLength = 0;
        if (!reader.readU32(&valueLength))
            return {};
        QByteArray value;
        if (valueLength != kNullLength && !reader.readBytes(valueLength, &value))
            return {};
        Reader fields(value);
        KeyMapItem item;
        item.type = fields.readI32OrZero();
        const qint32 x = fields.readI32OrZero();
        const qint32 y = fields.readI32OrZero();
        item.pos = QPoint(x, y);
        map.insert(key, item);
    }
    if (ok)
        *ok = true;
    return map;
}

QByteArray encodeRect(const QRect &rect)
{
    QByteArray out;
    putInt(out, rect.left());
    putInt(out, rect.top());
    putInt(out, rect.right());
    putInt(out, rect.bottom());
    return out;
}

QRect decodeRect(const QByteArray &payload)
{
    Reader reader(payload);
    const qint32 left = reader.readI32OrZero();
    const qint32 top = reader.readI32OrZero();
    const qint32 right = reader.readI32OrZero();
    const qint32 bottom = reader.readI32OrZero();
    return QRect(QPoint(left, top), QPoint(right, bottom));
}

QByteArray toJson(const KeyMap &map, const QRect &rect, int rotation)
{
    QJsonObject object;
    object.insert(QStringLiteral("keyMap"), QString::fromLatin1(encodeMap(map).toBase64()));
    object.insert(QStringLiteral("rotation"), rotation);
    object.insert(QStringLiteral("rect"), QString::fromLatin1(encodeRect(rect).toBase64()));
    return QJsonDocument(object).toJson(QJsonDocument::Indented);
}

bool parse(const QByteArray &json, Contents *out)
{
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError)
        return false;
    const QJsonObject object = document.object();
    out->rotation = object.value(QStringLiteral("rotation")).toInt(0);
    out->rect = decodeRect(fromBase64Text(object.value(QStringLiteral("rect"))));
    out->map = decodeMap(fromBase64Text(object.value(QStringLiteral("keyMap"))));
    return true;
}

bool isKeyMapFile(const QByteArray &json)
{
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return false;
    const QJsonObject object = document.object();
    const QJsonValue rectText = object.value(QStringLiteral("rect"));
    const QJsonValue mapText = object.value(QStringLiteral("keyMap"));
    if (!rectText.isString() || !mapText.isString())
        return false;
    const auto strictBase64 = [](const QJsonValue &value, QByteArray *out) {
        const QByteArray::FromBase64Result r = QByteArray::fromBase64Encoding(
            value.toString().toLatin1(),
            QByteArray::Base64Encoding | QByteArray::AbortOnBase64DecodingErrors);
        *out = r.decoded;
        return r.decodingStatus == QByteArray::Base64DecodingStatus::Ok;
    };
    QByteArray rectBytes;
    QByteArray mapBytes;
    if (!strictBase64(rectText, &rectBytes) || rectBytes.size() != 16 || !strictBase64(mapText, &mapBytes))
        return false;
    const QRect rect = decodeRect(rectBytes);
    const qint64 w = static_cast<qint64>(rect.right()) - rect.left() + 1;
    const qint64 h = static_cast<qint64>(rect.bottom()) - rect.top() + 1;
    if (w <= 0 || h <= 0)
        return false;
    bool ok = false;
    decodeMap(mapBytes, &ok);
    return ok;
}

int buttonCount(const KeyMap &map)
{
    int count = 0;
    for (auto it = map.constBegin(); it != map.constEnd(); ++it) {
        switch (it.value().type) {
        case KeyMapKey:
        case KeyMapFire:
        case KeyMapAim:
        case KeyMapPosCenter:
        case KeyMapSenCenter:
        case KeyMapSlideUp:
        case KeyMapSlideDown:
        case KeyMapSlideLeft:
        case KeyMapSlideRight:
            ++count;
            break;
        default:
            break;
        }
    }
    return count;
}

bool shapeFits(const QRect &saved, const QSize &current)
{
    // Width and height as 64-bit values: right - left + 1 of extreme stored coordinates overflows int.
    const qint64 w = static_cast<qint64>(saved.right()) - saved.left() + 1;
    const qint64 h = static_cast<qint64>(saved.bottom()) - saved.top() + 1;
    if (w <= 0 || h <= 0 || current.width() <= 0 || current.height() <= 0)
        return false;
    const double difference = static_cast<double>(current.width()) / current.height() -
                              static_cast<double>(w) / static_cast<double>(h);
    return std::fabs(difference) <= kShapeTolerance;
}

LoadResult loadBytes(const QByteArray &json, const QSize &current)
{
    LoadResult result;
    Contents contents;
    if (!parse(json, &contents)) {
        result.status = LoadStatus::ParseError;
        return result;
    }
    result.rotation = contents.rotation;
    result.rect = contents.rect;
    if (!shapeFits(contents.rect, current)) {
        result.status = LoadStatus::ShapeMismatch;
        return result;
    }
    const qint64 savedWidth = static_cast<qint64>(contents.rect.right()) - contents.rect.left() + 1;
    const double scale = static_cast<double>(current.width()) / static_cast<double>(savedWidth);
    const auto scaled = [scale](qint32 v) {
        const double s = std::trunc(v * scale);
        // Points far outside any screen are kept inside int's range rather than overflowing.
        return static_cast<int>(qBound(-2147483648.0, s, 2147483647.0));
    };
    for (auto it = contents.map.constBegin(); it != contents.map.constEnd(); ++it) {
        KeyMapItem item = it.value();
        item.pos = QPoint(scaled(item.pos.x()), scaled(item.pos.y()));
        result.map.insert(it.key(), item);
    }
    result.status = LoadStatus::Loaded;
    return result;
}

LoadResult load(const QString &path, const QSize &current)
{
    QFile file(path);
    if (path.isEmpty() || !file.open(QIODevice::ReadOnly))
        return {};
    return loadBytes(file.readAll(), current);
}

bool write(const QString &path, const KeyMap &map, const QRect &rect, int rotation)
{
    if (path.isEmpty())
        return false;
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        return false;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(toJson(map, rect, rotation));
    return file.commit();
}

bool isValidPackageName(const QString &package)
{
    if (package.isEmpty() || package.size() > kMaxPackageLength)
        return false;
    bool partEmpty = true;
    for (const QChar c : package) {
        const ushort u = c.unicode();
        if (u == '.') {
            if (partEmpty)
                return false;
            partEmpty = true;
            continue;
        }
        const bool word =
            (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9') || u == '_';
        if (!word)
            return false;
        partEmpty = false;
    }
    return !partEmpty;
}

bool isValidMachineName(const QString &vm)
{
    return ::isValidMachineName(vm) && !vm.contains(QLatin1Char('/')) && !vm.contains(QLatin1Char('\\')) &&
           !vm.contains(QLatin1String(".."));
}

QString folder(const QString &vm)
{
    if (!KeyMapFile::isValidMachineName(vm))
        return QString();
    return Platform::appDataRoot() + QLatin1Char('/') + organisationName() + QStringLiteral("/keyMap/") + vm;
}

QString filePath(const QString &vm, const QString &package)
{
    if (!isValidPackageName(package))
        return QString();
    const QString dir = folder(vm);
    return dir.isEmpty() ? QString() : dir + QLatin1Char('/') + package + QStringLiteral(".json");
}

QString settingsPath(const QString &vm)
{
    const QString dir = folder(vm);
    return dir.isEmpty() ? QString() : dir + QStringLiteral("/setting.ini");
}

} // namespace KeyMapFile
