#pragma once

#include <QDialog>
#include <QString>

#include <memory>

namespace Ui {
class CommonDialog;
}

// The program's one message box: a small frameless dialog with a text and the button row that
// belongs to its kind (a DialogType value). Callers create it on the stack, run it with exec() and
// read the result: 1 accepted, 0 rejected.
class CommonDialog : public QDialog
{
    Q_OBJECT

public:
    CommonDialog(QString msg, int type, QWidget *parent = nullptr);
    ~CommonDialog() override;

    int type() const { return m_type; }

private slots:
    void on_dlg_close_clicked();

private:
    std::unique_ptr<Ui::CommonDialog> ui;
    int m_type;
};
