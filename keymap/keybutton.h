#pragma once

#include "basebutton.h"

#include <QString>

class KeyLineEdit;
class QFrame;
class QKeyEvent;
class QPushButton;

// A tap: one keyboard key that puts a finger on the button's centre while it is held. The key field
// (line_input) sits in a frame (edit_bkg) whose border ring is the drag handle.
//
// The display-only form (the play overlay's, where a map may hold hundreds of them) makes none of these
// widgets and parses no style sheet: it paints the picture the editable form shows in display-only form
// (rendered once per process) and its key text as the key field would, pixel for pixel. It is always
// display-only and disabled; keyEdit, closeButton and frame are null.
class KeyButton : public BaseButton
{
    Q_OBJECT

public:
    explicit KeyButton(QWidget *parent = nullptr, Form form = EditableForm);
    ~KeyButton() override;

    QString keyText() const;
    void setKeyText(const QString &key);
    // Gives the key field the keyboard focus (nothing in the display-only form).
    void focusKeyEdit();
    KeyLineEdit *keyEdit() const { return m_lineInput; }
    QPushButton *closeButton() const { return m_btnClose; }
    QFrame *frame() const { return m_editBkg; }

    bool filterChildEvent(QObject *watched, QEvent *event) override;
    void setDisplayOnly(bool on) override;

    // The key name of a Qt key code ("A", "Space", "PgUp"), empty for a key that cannot be mapped.
    static QString keyName(int key);
    // The shortcut text of a key event ("Ctrl + Shift + F5").
    static QString shortcutText(QKeyEvent *event);
    // The shortcut text, empty for Ctrl+V, which always pastes into Android.
    static QString hotKeyText(QKeyEvent *event);

protected:
    void paintEvent(QPaintEvent *event) override;

signals:
    void focusIn(KeyButton *button);
    void focusOut(KeyButton *button);
    void keyPress(KeyButton *button, QString key);
    void closeKeyButton(QString key);

private slots:
    void on_btn_close_clicked();

private:
    QPushButton *m_btnClose = nullptr;
    QFrame *m_editBkg = nullptr;
    KeyLineEdit *m_lineInput = nullptr;
    // The display-only form's key.
    QString m_keyText;
};
