#include "shortlineedit.h"

#include "keytext.h"

#include <QKeyEvent>
#include <QToolTip>

ShortLineEdit::ShortLineEdit(QWidget *parent) : QLineEdit(parent) {}

ShortLineEdit::~ShortLineEdit() = default;

const QStringList &ShortLineEdit::systemShortcuts()
{
    static const QStringList texts{QStringLiteral("Ctrl + C"), QStringLiteral("Ctrl + V"),
                                   QStringLiteral("Ctrl + Z"), QStringLiteral("F3"), QStringLiteral("F11")};
    return texts;
}

void ShortLineEdit::setText(const QString &text)
{
    if (!m_hasCommittedText) {
        m_committedText = text;
        m_hasCommittedText = true;
    }
    QLineEdit::setText(text);
}

void ShortLineEdit::commitText(const QString &text)
{
    m_committedText = text;
    m_hasCommittedText = true;
    QLineEdit::setText(text);
}

bool ShortLineEdit::event(QEvent *event)
{
    if (event->type() == QEvent::KeyPress) {
        auto *key = static_cast<QKeyEvent *>(event);
        const QString text = KeyText::shortcutText(key);
        // A key other than Ctrl, Shift and Alt that adds no name of its own (Delete, Insert, Pause,
        // Super): the recording would name another key than the one pressed, or none.
        const bool modifier =
            key->key() == Qt::Key_Control || key->key() == Qt::Key_Shift || key->key() == Qt::Key_Alt;
        m_nameless =
            text.isEmpty() || (!modifier && text == KeyText::shortcutText(0, key->modifiers(), QString()));
        if (!m_hasCommittedText) {
            m_committedText = text;
            m_hasCommittedText = true;
        }
        QLineEdit::setText(text);
        // Every key is recorded, Tab and Escape included: the line edit never acts on one.
        return true;
    }
    if (event->type() == QEvent::KeyRelease) {
        auto *key = static_cast<QKeyEvent *>(event);
        if (key->isAutoRepeat())
            return true;
        // Nothing is checked while a modifier of the combination is still held.
        if ((key->modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier)
            return QLineEdit::event(event);
        checkRecording();
        return true;
    }
    return QLineEdit::event(event);
}

void ShortLineEdit::checkRecording()
{
    const QString shown = QLineEdit::text();
    if (m_nameless) {
        m_nameless = false;
        if (!m_hasCommittedText) {
            m_committedText.clear();
            m_hasCommittedText = true;
        }
        refuse(shown, tr("This key cannot be a shortcut!"));
        return;
    }
    if (systemShortcuts().contains(shown)) {
        if (!m_hasCommittedText) {
            m_committedText.clear();
            m_hasCommittedText = true;
        }
        refuse(shown, tr("与系统快捷键冲突!"));
        return;
    }
    if (m_keyList && m_keyList->contains(shown) && shown != m_committedText) {
        refuse(shown, tr("与当前设置快捷键冲突!"));
        return;
    }
    if (m_keyList) {
        m_keyList->removeOne(m_committedText);
        m_keyList->append(shown);
    }
    m_committedText = shown;
    m_hasCommittedText = true;
    emit recordingAccepted(shown);
}

void ShortLineEdit::refuse(const QString &shown, const QString &reason)
{
    // Shown where the field's own position within its parent lands when taken as a point of the field.
    QToolTip::showText(mapToGlobal(pos()), reason, this);
    setText(m_committedText);
    emit recordingRefused(shown, reason);
}
