#pragma once

#include <QDialog>

#include <memory>

namespace Ui {
class BackupOrRestoreSelectdialog;
}

namespace OrvMulti {

// Lets the user choose between backing an instance up and restoring it from a backup file.
class BackupOrRestoreSelectdialog : public QDialog
{
    Q_OBJECT

public:
    enum Choice
    {
        Backup = 0,
        Restore = 1,
    };

    explicit BackupOrRestoreSelectdialog(QWidget *parent = nullptr);
    ~BackupOrRestoreSelectdialog() override;

    // Backup or Restore, after exec() returned 1.
    int choice() const { return m_choice; }

public slots:
    void OnBackup();
    void OnRestore();

private:
    std::unique_ptr<Ui::BackupOrRestoreSelectdialog> ui;
    int m_choice = Backup;
};

} // namespace OrvMulti
