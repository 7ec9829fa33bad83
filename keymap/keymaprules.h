#pragma once

#include <QMap>
#include <QString>
#include <QStringList>

class QObject;

// The key-map editor's rules on keys, apart from its widgets: which key a button may take, and which
// keys the hot keys of the settings forbid.
namespace KeyMapRules {

// The keys the editor holds when it checks one: the two pads (their four keys in the order up, down,
// left, right, and whether each is on the screen) and the indexes of key and swipe buttons by key.
struct EditorKeys
{
    bool padShown = false;
    QStringList padKeys;
    bool sensorShown = false;
    QStringList sensorKeys;
    QMap<QString, QObject *> keyButtons;
    QMap<QString, QObject *> slideButtons;
};

// Who asks: a key button, a swipe, or a field of the direction pad or the sensor pad.
enum class Asker
{
    Key,
    Slide,
    Pad,
    Sensor
};

// Whether `key` typed into the asker conflicts with a key another button holds. `self` is the asking
// key or swipe button (its own index entry is no conflict); `field` is the asking pad field's index in
// the pad's keys (0 up .. 3 down), whose own text is no conflict. An empty key never conflicts, and empty
// pad fields are never taken.
bool conflicts(const EditorKeys &keys, Asker asker, const QString &key, const QObject *self = nullptr,
               int field = -1);

// The shortcut text a press of the named key without modifiers gives: the key names that differ from
// their shortcut text ("PgUp" is "PaUp", "PgDn" is "PaDown") are turned into it, other names are
// their own text.
QString pressShortcutText(const QString &keyName);

// Whether a key-map key would be taken by a hot key: its press gives one of the shortcut texts. An
// empty name never is.
bool isHotKey(const QString &keyName, const QStringList &shortcutTexts);

} // namespace KeyMapRules
