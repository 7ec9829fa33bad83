#pragma once

#include <QByteArray>
#include <QMap>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>

// The key map of one Android package: which keys act where on the Android screen. The record in memory
// (`currentKeyMap`), one entry type (`KeyMapItem`) and the key-map file that keeps a record between runs
// live here, below the features, because the player (the touch layer), the editor and the downloader
// all use them.

// What an entry does; the values are stored in key-map files.
enum KeyMapType : qint32
{
    KeyMapKey = 0,
    KeyMapFire = 1,
    KeyMapAim = 2,
    KeyMapPosCenter = 3,
    KeyMapPosUp = 4,
    KeyMapPosDown = 5,
    KeyMapPosLeft = 6,
    KeyMapPosRight = 7,
    KeyMapSenCenter = 8,
    KeyMapSenUp = 9,
    KeyMapSenDown = 10,
    KeyMapSenLeft = 11,
    KeyMapSenRight = 12,
    KeyMapSlideUp = 13,
    KeyMapSlideDown = 14,
    KeyMapSlideLeft = 15,
    KeyMapSlideRight = 16,
};

// One entry: its kind and a point in pixels of the Android screen area (the touch layer).
struct KeyMapItem
{
    qint32 type = KeyMapKey;
    QPoint pos;

    bool operator==(const KeyMapItem &other) const { return type == other.type && pos == other.pos; }
    bool operator!=(const KeyMapItem &other) const { return !(*this == other); }
};

// Map key (a key name, or "FIRE", "AIM", "POSCENTER", "SENCENTER") to entry, in QString order.
using KeyMap = QMap<QString, KeyMapItem>;

namespace KeyMapNames {
constexpr const char *kFire = "FIRE";
constexpr const char *kAim = "AIM";
constexpr const char *kPosCenter = "POSCENTER";
constexpr const char *kSenCenter = "SENCENTER";
// Distance of the direction pad's four points from its centre.
constexpr int kPadRadius = 46;
} // namespace KeyMapNames

// The key map of the package in the foreground. Read on the GUI thread; replaced as a whole only, and
// only through replaceCurrentKeyMap, which holds Global::keyMapMutex while it swaps.
extern KeyMap currentKeyMap;
void replaceCurrentKeyMap(const KeyMap &map);
// A copy taken under the mutex (for readers off the GUI thread and for the editor).
KeyMap currentKeyMapCopy();

namespace KeyMapFile {

// The payloads inside a key-map file: exactly the bytes of Qt's QDataStream (big-endian) for a
// QMap<QString, QByteArray> whose values are an int followed by a QPoint, and for a QRect.
QByteArray encodeMap(const KeyMap &map);
// A payload that ends early, holds an odd key length or is otherwise unreadable gives an empty map and
// *ok = false; a value shorter than 12 bytes reads its missing fields as 0.
KeyMap decodeMap(const QByteArray &payload, bool *ok = nullptr);
QByteArray encodeRect(const QRect &rect);
// Coordinates the payload does not hold read as 0, so an empty payload is (0, 0, 0, 0): 1 x 1.
QRect decodeRect(const QByteArray &payload);

// The whole file: a JSON object {"keyMap", "rect", "rotation"} in Qt's indented form.
QByteArray toJson(const KeyMap &map, const QRect &rect, int rotation);

struct Contents
{
    KeyMap map; // as stored, not scaled
    QRect rect; // the screen area the map was made on
    int rotation = 0;
};
// False on a JSON syntax error. A document that is not an object reads as an empty object.
bool parse(const QByteArray &json, Contents *out);
// Whether bytes from elsewhere (the key-map service) are a key-map file worth keeping: a JSON object
// whose "rect" is the Base64 of exactly one rectangle of positive size and whose "keyMap" is the Base64
// of a map payload that reads whole.
bool isKeyMapFile(const QByteArray &json);

// The most buttons a key map may show; a map with more is refused (no game has that many controls).
constexpr int kMaxButtons = 256;
// The buttons a map shows: one per key, slide, fire and aim entry, one per pad whose centre exists.
int buttonCount(const KeyMap &map);

enum class LoadStatus
{
    NoFile,        // the file could not be opened
    ParseError,    // it is not JSON
    ShapeMismatch, // it was made on a screen of another shape (or a degenerate one)
    Loaded,        // `map` holds the entries scaled to the current screen
};
struct LoadResult
{
    LoadStatus status = LoadStatus::NoFile;
    KeyMap map;
    int rotation = 0;
    QRect rect;
};
// Reads a file and scales it to a screen area of `current` size: the proportions must agree within
// 0.01 (width / height), every point is multiplied by current width / saved width and truncated.
LoadResult load(const QString &path, const QSize &current);
LoadResult loadBytes(const QByteArray &json, const QSize &current);
// The proportion test alone: false for a rectangle or screen with a width or height of 0 or less.
bool shapeFits(const QRect &saved, const QSize &current);

// Writes the file through a temporary file renamed into place, creating the folder with its parents.
// False (and the old file untouched) when it cannot be written.
bool write(const QString &path, const KeyMap &map, const QRect &rect, int rotation);

// Android package names are the only ones that reach a file path: letters, digits and "_" in non-empty
// parts joined by ".".
bool isValidPackageName(const QString &package);
// A machine name that names a key-map folder: a valid machine name without "/", "\" or "..".
bool isValidMachineName(const QString &vm);

// <appdata>/<organisation>/keyMap/<vm>: the one folder of a machine's key maps and setting.ini. Empty
// for a machine name that is refused.
QString folder(const QString &vm);
// <folder>/<package>.json; empty when the machine name or the package name is refused.
QString filePath(const QString &vm, const QString &package);
// <folder>/setting.ini; empty when the machine name is refused.
QString settingsPath(const QString &vm);

} // namespace KeyMapFile
