#pragma once

#include "playerstate.h"

#include <QAbstractTableModel>
#include <QList>
#include <QString>

#include <functional>

namespace OrvMulti {

// The instance list: one record and one state context per row. Carries out the row operations that
// run in the background (delete, backup, restore) on the global thread pool and shows their results.
// Every change of the rows happens in the GUI thread; a background result finds its row again by the
// row's context and is dropped when that row is gone.
class OrvPlayerModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    static constexpr int ColumnCount = 4;
    // The first instance: it is never deleted.
    static const char *const FirstVm;
    // Settings of the manager itself and the keys of the last backup and restore folders.
    static const char *const SettingsName;
    static const char *const BackupFolderKey;
    static const char *const RestoreFolderKey;
    static const char *const BackupFilter;

    explicit OrvPlayerModel(QObject *parent = nullptr);
    ~OrvPlayerModel() override;

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role) override;

    const QList<PlayerRecord *> &playerRecords() const { return records; }
    // The row's context, or null for a row that does not exist.
    PlayerContext *contextAt(int row) const;
    // The row of `context`, or -1 when no row has it (any more).
    int rowOf(const PlayerContext *context) const;
    // The first row whose title is `title`, or -1.
    int rowOfTitle(const QString &title) const;
    // The first row whose machine name is `vm`, or -1.
    int rowOfVm(const QString &vm) const;

    // Takes ownership of the records (and their contexts).
    void addRecords(const QList<PlayerRecord *> &list);
    void removeRecord(int row);
    void setAllSelected(bool selected);
    void setRowVm(int row, const QString &vm);
    // Replaces the state of `row` and announces the row changed.
    void setRowState(int row, PlayerStateKind kind);
    // Announces that the cells of `row` changed.
    void announceRow(int row);

    int busyCount() const { return m_busyCount; }
    // Deletes under way; their rows must stay until they have reported.
    int deletingCount() const { return m_deletingCount; }
    QString lastBackupFolder() const { return lastBackuupFolder; }
    QString lastRestoreFolder() const { return lastRestoreFolder_; }

    // The file dialogs of backup and restore; a test may replace them. They get the parent widget, the
    // caption, the folder or proposed file, and the filter, and return the chosen path or an empty one.
    using FileChooser = std::function<QString(QWidget *, const QString &, const QString &, const QString &)>;
    FileChooser openFileChooser;
    FileChooser saveFileChooser;

public slots:
    void DataChangedSlot(int top, int left, int bottom, int right);
    void startOrCloseSlot(const QModelIndex &index);
    void createLinkSlot(const QModelIndex &index);
    void StartPlayerNowSlot(int row);
    void WaitToStartSlot(int row);
    void deleteDataSlot(const QModelIndex &index);
    void backupOrRestoreDataSlot(const QModelIndex &index);
    void SendRemovePlayerSlot(OrvMulti::PlayerContext *context, bool ok);
    void BackOrRestorePlayerSignalSlot(OrvMulti::PlayerContext *context, bool ok);

signals:
    void backOrRestorePlayerSignal(OrvMulti::PlayerContext *context, bool bIsSucceed);
    void SendRemovePlayerSignal(OrvMulti::PlayerContext *context, bool bIsSucceed);
    // Sent before a deleted row leaves the list.
    void removeSignal(int nRowNum);

private:
    QWidget *dialogParent() const;
    void runBackupOrRestore(PlayerContext *context, const QString &path);

    QList<PlayerRecord *> records;
    QString lastBackuupFolder;
    QString lastRestoreFolder_;
    int m_busyCount = 0;
    int m_deletingCount = 0;
};

} // namespace OrvMulti
