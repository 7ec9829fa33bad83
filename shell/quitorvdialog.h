#pragma once

#include <QDialog>

#include <memory>

namespace Ui {
class QuitOrvDialog;
}

// The close confirmation of the main windows, with a "no remind" box that switches the question off
// for good. exec() is non-zero when the user confirms.
class QuitOrvDialog : public QDialog
{
    Q_OBJECT

public:
    explicit QuitOrvDialog(QWidget *parent = nullptr);
    ~QuitOrvDialog() override;

private slots:
    void on_btn_confirm_clicked();

private:
    std::unique_ptr<Ui::QuitOrvDialog> ui;
};
