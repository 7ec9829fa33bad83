#pragma once

#include <QLineEdit>

// The key field of every key-map button: it takes one key press at a time, shows the key's name
// (KeyButton::keyName) and reports it; the user never types text into it. Backspace empties it, keys
// without a name and the paste keys do nothing. A read-only field (the play overlay's) takes no key.
class KeyLineEdit : public QLineEdit
{
    Q_OBJECT

public:
    explicit KeyLineEdit(QWidget *parent = nullptr);
    ~KeyLineEdit() override;

signals:
    void focusIn(KeyLineEdit *edit);
    void focusOut(KeyLineEdit *edit);
    // A key with a name was pressed; the field already shows the name.
    void keyPress(KeyLineEdit *edit, QString name);

protected:
    bool event(QEvent *event) override;
};
