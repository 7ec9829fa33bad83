#include "keymaprules.h"

namespace KeyMapRules {

namespace {

bool padHolds(const QStringList &padKeys, const QString &key, int skipField)
{
    for (int i = 0; i < padKeys.size(); ++i) {
        if (i != skipField && !padKeys.at(i).isEmpty() && padKeys.at(i) == key)
            return true;
    }
    return false;
}

bool indexedElsewhere(const QMap<QString, QObject *> &index, const QString &key, const QObject *self)
{
    const auto it = index.constFind(key);
    return it != index.constEnd() && it.value() != self;
}

} // namespace

bool conflicts(const EditorKeys &keys, Asker asker, const QString &key, const QObject *self, int field)
{
    if (key.isEmpty())
        return false;
    switch (asker) {
    case Asker::Key:
        return (keys.padShown && padHolds(keys.padKeys, key, -1)) ||
               (keys.sensorShown && padHolds(keys.sensorKeys, key, -1)) || keys.slideButtons.contains(key) ||
               indexedElsewhere(keys.keyButtons, key, self);
    case Asker::Slide:
        return (keys.padShown && padHolds(keys.padKeys, key, -1)) ||
               (keys.sensorShown && padHolds(keys.sensorKeys, key, -1)) || keys.keyButtons.contains(key) ||
               indexedElsewhere(keys.slideButtons, key, self);
    case Asker::Pad:
        return padHolds(keys.padKeys, key, field) ||
               (keys.sensorShown && padHolds(keys.sensorKeys, key, -1)) || keys.keyButtons.contains(key) ||
               keys.slideButtons.contains(key);
    case Asker::Sensor:
        return padHolds(keys.sensorKeys, key, field) || (keys.padShown && padHolds(keys.padKeys, key, -1)) ||
               keys.keyButtons.contains(key) || keys.slideButtons.contains(key);
    }
    return false;
}

QString pressShortcutText(const QString &keyName)
{
    if (keyName == QLatin1String("PgUp"))
        return QStringLiteral("PaUp");
    if (keyName == QLatin1String("PgDn"))
        return QStringLiteral("PaDown");
    return keyName;
}

bool isHotKey(const QString &keyName, const QStringList &shortcutTexts)
{
    return !keyName.isEmpty() && shortcutTexts.contains(pressShortcutText(keyName));
}

} // namespace KeyMapRules
