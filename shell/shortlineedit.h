#pragma once

#include <QLineEdit>
#include <QString>
#include <QStringList>

// The field of the settings window that records a hot key: the user presses the combination and the
// field shows its shortcut text ("Ctrl + Alt + X"). When the last key is released the text is checked:
// a key without a name of its own (Delete, Insert, Pause, Super), a system shortcut or a text another
// field of the window holds is refused with a tool tip and the field falls back to its last accepted
// text. Typing never edits the text (the owner makes the field
// read-only); only key presses and setText do.
//
// The fields of one window share one list of the texts taken (keyList); an accepted recording replaces
// the field's old text in it by the new one.
class ShortLineEdit : public QLineEdit
{
    Q_OBJECT

public:
    explicit ShortLineEdit(QWidget *parent = nullptr);
    ~ShortLineEdit() override;

    // The window's list of shortcut texts, not owned; may stay null (no text then counts as taken).
    void setKeyList(QStringList *keyList) { m_keyList = keyList; }
    QStringList *keyList() const { return m_keyList; }

    // The last accepted text, which a refused recording falls back to.
    QString committedText() const { return m_committedText; }
    bool hasCommittedText() const { return m_hasCommittedText; }

    // The texts no hot key may have: Ctrl+C, Ctrl+V and Ctrl+Z, and the keys the Android window keeps
    // for itself (F3 stops a script, F11 switches full screen).
    static const QStringList &systemShortcuts();

public slots:
    // The first call commits the text; later calls only change what is shown.
    void setText(const QString &text);
    // Shows the text and makes it the committed one, whatever was committed before (the settings
    // window's fill and reset).
    void commitText(const QString &text);

signals:
    // A recording was checked on the release of its last key: accepted, or refused with the tool tip's
    // text. Nothing in the window needs them; tests and the log follow them.
    void recordingAccepted(const QString &text);
    void recordingRefused(const QString &text, const QString &reason);

protected:
    bool event(QEvent *event) override;

private:
    void checkRecording();
    void refuse(const QString &shown, const QString &reason);

    QString m_committedText;
    bool m_hasCommittedText = false;
    QStringList *m_keyList = nullptr;
    // The last key pressed has no name of its own: the recording is refused on release.
    bool m_nameless = false;
};
