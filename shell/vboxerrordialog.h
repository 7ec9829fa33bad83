#pragma once

#include <QDialog>

#include <memory>

namespace Ui {
class VBoxErrorDialog;
}

// Tells that the virtual machine failed to start, with the last error text of the VirtualBox tool, and
// offers the customer-service page and the log folder of this run. Accepted only by "confirm".
class VBoxErrorDialog : public QDialog
{
    Q_OBJECT

public:
    explicit VBoxErrorDialog(QWidget *parent = nullptr);
    ~VBoxErrorDialog() override;

    // The debug log of this run: <log root>/log/log/debug-<start date>.log.
    static QString logFilePath();
    static const char *const kServiceUrl;

private slots:
    void on_btn_curtom_clicked();
    void on_btn_getLog_clicked();

private:
    std::unique_ptr<Ui::VBoxErrorDialog> ui;
};
