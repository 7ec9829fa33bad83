#pragma once

#include <QDialog>

#include <memory>

namespace Ui {
class MpVBoxErrorDialog;
}

namespace OrvMulti {

// Shown when creating an instance failed with an error text of the VM tool: the text, a link to the
// customer-support page and "confirm". Stays above other windows.
class VBoxErrorDialog : public QDialog
{
    Q_OBJECT

public:
    // The customer-support chat-group page.
    static const char *const SupportUrl;

    VBoxErrorDialog(const QString &text, QWidget *parent = nullptr);
    ~VBoxErrorDialog() override;

public slots:
    void contactToSupportStaff();

private:
    std::unique_ptr<Ui::MpVBoxErrorDialog> ui;
};

} // namespace OrvMulti
