#include "keylineedit.h"

#include "keytext.h"

#include <QEvent>
#include <QKeyEvent>
#include <QKeySequence>

KeyLineEdit::KeyLineEdit(QWidget *parent) : QLineEdit(parent) {}

KeyLineEdit::~KeyLineEdit() = default;

bool KeyLineEdit::event(QEvent *event)
{
    switch (event->type()) {
    case QEvent::FocusIn:
        emit focusIn(this);
        return QLineEdit::event(event);
    case QEvent::FocusOut:
        emit focusOut(this);
        return QLineEdit::event(event);
    case QEvent::ShortcutOverride:
        // Take every key as a key press here, so that no window shortcut (Tab focus chain aside) eats
        // a key the user means to map.
        event->accept();
        return true;
    case QEvent::KeyPress: {
        auto *key = static_cast<QKeyEvent *>(event);
        event->accept();
        if (isReadOnly() || key->matches(QKeySequence::Paste))
            return true;
        // Shift+Insert pastes on Windows; it is refused the same way everywhere.
        if (key->key() == Qt::Key_Insert && key->modifiers() == Qt::ShiftModifier)
            return true;
        const QString name = KeyText::keyName(key->key());
        if (name.isEmpty())
            return true;
        if (name == QLatin1String("Back")) {
            setText(QString());
            return true;
        }
        setText(name);
        emit keyPress(this, name);
        return true;
    }
    default:
        return QLineEdit::event(event);
    }
}
