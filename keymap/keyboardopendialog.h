#pragma once

#include <QDialog>

// A notice of one and a half seconds that key control was switched on or off: a translucent box with
// the on or off picture and its text, centred on the screen when run without a parent. It accepts
// itself when the time is up.
class KeyBoardOpenDialog : public QDialog
{
    Q_OBJECT

public:
    KeyBoardOpenDialog(bool on, QWidget *parent = nullptr);
    ~KeyBoardOpenDialog() override;

    static constexpr int kShowMs = 1500;
};
