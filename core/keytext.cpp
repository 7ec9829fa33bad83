#include "keytext.h"

#include <QKeyEvent>

namespace KeyText {

QString keyName(int key)
{
    switch (key) {
    case Qt::Key_Escape:
        return QStringLiteral("Esc");
    case Qt::Key_Backspace:
        return QStringLiteral("Back");
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return QStringLiteral("Enter");
    case Qt::Key_Insert:
        return QStringLiteral("Ins");
    case Qt::Key_Delete:
        return QStringLiteral("Del");
    case Qt::Key_Home:
        return QStringLiteral("Home");
    case Qt::Key_End:
        return QStringLiteral("End");
    case Qt::Key_Left:
        return QStringLiteral("Left");
    case Qt::Key_Up:
        return QStringLiteral("Up");
    case Qt::Key_Right:
        return QStringLiteral("Right");
    case Qt::Key_Down:
        return QStringLiteral("Down");
    case Qt::Key_PageUp:
        return QStringLiteral("PgUp");
    case Qt::Key_PageDown:
        return QStringLiteral("PgDn");
    case Qt::Key_Shift:
        return QStringLiteral("Shift");
    case Qt::Key_Alt:
        return QStringLiteral("Alt");
    case Qt::Key_CapsLock:
        return QStringLiteral("Cap");
    case Qt::Key_NumLock:
        return QStringLiteral("NLock");
    case Qt::Key_Space:
        return QStringLiteral("Space");
    case Qt::Key_Apostrophe:
    case Qt::Key_Asterisk:
    case Qt::Key_Plus:
    case Qt::Key_Comma:
    case Qt::Key_Minus:
    case Qt::Key_Period:
    case Qt::Key_Slash:
    case Qt::Key_Semicolon:
    case Qt::Key_Equal:
    case Qt::Key_BracketLeft:
    case Qt::Key_Backslash:
    case Qt::Key_BracketRight:
    case Qt::Key_QuoteLeft:
        return QString(QChar(key));
    default:
        break;
    }
    if (key >= Qt::Key_F1 && key <= Qt::Key_F12)
        return QStringLiteral("F%1").arg(key - Qt::Key_F1 + 1);
    if ((key >= Qt::Key_0 && key <= Qt::Key_9) || (key >= Qt::Key_A && key <= Qt::Key_Z))
        return QString(QChar(key));
    return QString();
}

namespace {

QString shortcutKeyPart(int key, const QString &eventText)
{
    if (key >= Qt::Key_F1 && key <= Qt::Key_F12)
        return QStringLiteral("F%1").arg(key - Qt::Key_F1 + 1);
    if ((key >= Qt::Key_0 && key <= Qt::Key_9) || (key >= Qt::Key_A && key <= Qt::Key_Z))
        return QString(QChar(key));
    switch (key) {
    case Qt::Key_Escape:
        return QStringLiteral("Esc");
    case Qt::Key_Tab:
        return QStringLiteral("Tab");
    case Qt::Key_Backspace:
        return QStringLiteral("Backspace");
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return QStringLiteral("Enter");
    case Qt::Key_Home:
        return QStringLiteral("Home");
    case Qt::Key_End:
        return QStringLiteral("End");
    case Qt::Key_Left:
        return QStringLiteral("Left");
    case Qt::Key_Up:
        return QStringLiteral("Up");
    case Qt::Key_Right:
        return QStringLiteral("Right");
    case Qt::Key_Down:
        return QStringLiteral("Down");
    case Qt::Key_PageUp:
        return QStringLiteral("PaUp");
    case Qt::Key_PageDown:
        return QStringLiteral("PaDown");
    case Qt::Key_Space:
        return QStringLiteral("Space");
    case Qt::Key_AsciiCircum:
        return QStringLiteral("^^");
    default:
        break;
    }
    // The printable characters of the main block (! " # ... _ { | }) are their own key codes.
    static const QString characters = QStringLiteral("!\"#$%&'()*+,-./:;<=>?@[\\]_{|}");
    if (key < 0x80 && characters.contains(QChar(key)))
        return QString(QChar(key));
    // Modifier keys, whose presses alone form "Ctrl" or "Ctrl + Shift", add nothing of their own.
    if (key == Qt::Key_Control || key == Qt::Key_Shift || key == Qt::Key_Alt || key == Qt::Key_Meta)
        return QString();
    // X reports control characters as the text of keys such as Delete or Ctrl+letter; on Windows those
    // keys carry no text, so a text that is not printable counts as none here.
    for (const QChar c : eventText) {
        if (!c.isPrint())
            return QString();
    }
    return eventText;
}

} // namespace

QString shortcutText(int key, Qt::KeyboardModifiers modifiers, const QString &eventText)
{
    QString text;
    if (modifiers & Qt::ControlModifier)
        text += QStringLiteral("Ctrl + ");
    if (modifiers & Qt::ShiftModifier)
        text += QStringLiteral("Shift + ");
    if (modifiers & Qt::AltModifier)
        text += QStringLiteral("Alt + ");
    text += shortcutKeyPart(key, eventText);
    const QString joint = QStringLiteral(" + ");
    if (text.endsWith(joint))
        text.chop(joint.size());
    return text;
}

QString shortcutText(const QKeyEvent *event)
{
    return shortcutText(event->key(), event->modifiers(), event->text());
}

QString hotKeyText(const QKeyEvent *event)
{
    const QString text = shortcutText(event);
    return text == QLatin1String("Ctrl + V") ? QString() : text;
}

} // namespace KeyText
