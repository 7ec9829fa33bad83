#pragma once

#include <QDialog>

#include <memory>

namespace Ui {
class MsgDialog;
}

namespace OrvMulti {

// Every message and yes/no question of the manager: a frameless dialog that stays above other
// windows. exec() returns 1 for "ok", "yes" or "retry" and 0 for "no" or the close button.
class MsgDialog : public QDialog
{
    Q_OBJECT

public:
    // Kinds as passed to the constructor.
    enum Kind
    {
        Notice = 0,   // one "ok" button
        Question = 1, // "yes" and "no"
        Retry = 2,    // "retry" and "no"
    };

    MsgDialog(int kind, const QString &text, QWidget *parent = nullptr);
    ~MsgDialog() override;

    // Logs the text, runs a message of `kind` modally with `parent` and returns what exec() returned.
    static int run(int kind, const QString &text, QWidget *parent);

private:
    std::unique_ptr<Ui::MsgDialog> ui;
};

} // namespace OrvMulti
