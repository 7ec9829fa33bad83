#pragma once

#include <QString>

class QKeyEvent;

// The two vocabularies that turn a key into text: the key name of one key without modifiers ("A",
// "Space", "PgUp"), by which key maps are looked up, and the shortcut text of a key with its modifiers
// ("Ctrl + Alt + X"), by which the hot keys are stored and found.
namespace KeyText {

// The key name of a Qt key code, or an empty text for a key that cannot be mapped.
QString keyName(int key);
// "Ctrl + ", "Shift + ", "Alt + " for the modifiers held, in this order, then the key's part; a
// trailing " + " is cut, so Ctrl alone gives "Ctrl".
QString shortcutText(int key, Qt::KeyboardModifiers modifiers, const QString &eventText);
QString shortcutText(const QKeyEvent *event);
// The shortcut text, except that Ctrl+V (the paste into Android) gives an empty text and so is never a
// hot key.
QString hotKeyText(const QKeyEvent *event);

} // namespace KeyText
