#pragma once

#include "playerstate.h"
#include "vmrecord.h"

#include <QList>
#include <QSet>
#include <QTableView>

#include <functional>

namespace OrvMulti {

class OrvPlayerItemDelegate;
class OrvPlayerModel;

// The instance list of the main window. Loads the instances on the global thread pool and shows them
// through OrvPlayerModel and OrvPlayerItemDelegate; asks the user before a row is deleted, backed up
// or restored, and tells the results. Keeps the folders of the last backup and restore files in the
// manager's own settings file.
class OrvPlayerTableView : public QTableView
{
    Q_OBJECT

public:
    static constexpr int RowHeight = 64;
    // Above this many rows the vertical scroll bar shows and the right margin shrinks.
    static constexpr int RowsWithoutScrollBar = 6;
    static const char *const NarrowMargin;
    static const char *const WideMargin;
    // The first instance: it is never deleted.
    static const char *const FirstVm;
    // The manager's own settings, and its keys of the last backup and restore folders.
    static const char *const SettingsName;
    static const char *const BackupFolderKey;
    static const char *const RestoreFolderKey;
    static const char *const BackupFilter;

    // What the list load fetches from the VM tool; a test may replace it. Runs on a pool thread.
    using Loader = std::function<VmRecordMap()>;
    // The file dialogs of backup and restore; a test may replace them. They get the parent widget, the
    // caption, the folder or proposed file, and the filter, and return the chosen path or an empty one.
    using FileChooser = std::function<QString(QWidget *, const QString &, const QString &, const QString &)>;

    explicit OrvPlayerTableView(QWidget *parent = nullptr, Loader loader = Loader());
    ~OrvPlayerTableView() override;

    OrvPlayerModel *playerModel() const { return model; }
    OrvPlayerItemDelegate *playerDelegate() const { return delegate; }
    QList<PlayerRecord *> playerRecords() const;
    bool isLoaded() const { return loaded; }

    // Appends rows whose records carry their contexts; the model takes them over.
    void appendRecords(const QList<PlayerRecord> &list);
    void removeRow(int row);
    void selectAll(bool selected);
    void setRowVm(int row, const QString &vm);

    // Backups and restores under way, and deletes under way.
    int busyCount() const;
    int deletingCount() const { return pendingDeletes.size(); }
    QString lastBackupFolder() const { return lastBackuupFolder; }
    QString lastRestoreFolder() const { return lastRestoreFolder_; }

    FileChooser openFileChooser;
    FileChooser saveFileChooser;

    // The list load's work: the VM tool's records, asked up to four times until it answers.
    static VmRecordMap initVMList();

signals:
    void removePlayerSignal(int row);
    void setViewPadding(bool narrow);
    // The list load has finished and its rows are in the model.
    void loadFinished();

public slots:
    void removeSlot(int row);
    void setViewPaddingSlot(bool narrow);
    void deleteDataSlot(const QModelIndex &index);
    void backupOrRestoreDataSlot(const QModelIndex &index);

private slots:
    void deleteResultSlot(int row, const QString &title, bool ok);
    void backupOrRestoreResultSlot(int row, bool wasBackup, bool ok);

private:
    void addLoadedRecords(const VmRecordMap &map);

    OrvPlayerItemDelegate *delegate = nullptr;
    OrvPlayerModel *model = nullptr;
    bool loaded = false;
    QString lastBackuupFolder;
    QString lastRestoreFolder_;
    // Titles of the rows whose delete runs.
    QSet<QString> pendingDeletes;
};

} // namespace OrvMulti
