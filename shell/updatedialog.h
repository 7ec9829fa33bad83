#pragma once

#include <QDialog>

#include <memory>

namespace Ui {
class UpdateDialog;
}

// Offers the update that the updater has found, with the updater's notes. With the clear-data flag the
// update button first warns that the update clears the instance's data and offers a backup through the
// instance manager. exec() accepted = run the updater.
class UpdateDialog : public QDialog
{
    Q_OBJECT

public:
    UpdateDialog(bool clearData, QWidget *parent = nullptr);
    ~UpdateDialog() override;

    // The notes file the updater leaves for this dialog: <local app data>/<organisation>/OrvantaUpdate.
    static QString notesFilePath();

private slots:
    void on_btn_update_clicked();

protected:
    // The top band (outside the close button) moves the window.
    void mousePressEvent(QMouseEvent *event) override;

private:
    std::unique_ptr<Ui::UpdateDialog> ui;
    bool m_clearData;
};
