#pragma once

#include "playerstate.h"

#include <QAbstractTableModel>
#include <QList>
#include <QThreadPool>

namespace OrvMulti {

// The rows of the manager's instance list: one owned record and context per row, in the order of the
// tool's record map. This part holds the rows, routes the row actions and status words to the row
// states and runs the background delete, backup and restore; the view and the dialogs sit above it.
class OrvPlayerModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    static constexpr int kColumns = 4;
    // How long a "STOP" or "ERROR" waits before the row shows Stop.
    static constexpr int kDelayedStopMs = 2000;

    explicit OrvPlayerModel(QObject *parent = nullptr);
    ~OrvPlayerModel() override;

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role) override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

    QList<PlayerRecord *> playerRecords() const { return records; }
    // Appends a row per record, each with a new context in `initial` state, and resets the model.
    void addRecords(const QList<PlayerRecord> &list, PlayerStateKind initial);
    // Appends rows whose records already carry their contexts (the model takes them over).
    void addRecords(const QList<PlayerRecord> &list);
    void removeRecord(int row);
    void setAllSelected(bool selected);
    void setRowVm(int row, const QString &vm);

    int rowOfVm(const QString &vm) const;
    int rowOfTitle(const QString &title) const;
    int rowOfContext(const PlayerContext *context) const;
    PlayerContext *contextAt(int row) const;

    // A status word for the row of `vm`: applied at once, or for "STOP" and "ERROR" after the delay,
    // addressed by the machine name and dropped when the row is gone or a newer word came meanwhile.
    // A row whose delete, backup, restore or copy runs keeps its state. False when no row has `vm`.
    bool applyStatusWord(const QString &vm, const QString &word);
    // Marks the row titled `title` as the source of a copy; only a stopped row can be one.
    bool markCopySource(const QString &title);

    // Background operations. Each needs the row in Stop; the result arrives as deleteResult or
    // backupOrRestoreResult with the row's current number (the operation follows the row, not its
    // number at the start). False when the row's state does not allow it. The model's end waits for the
    // operations still running: they use its rows and report to it.
    bool startDelete(int row);
    bool startBackupOrRestore(int row, bool backup, const QString &path);
    int busyCount = 0;
    // What the last backup or restore that failed left the user with, in words (empty after a success).
    QString lastResultText() const { return m_lastResultText; }

signals:
    void removeSignal(int nRowNum);
    void deleteResult(int row, QString title, bool ok);
    void backupOrRestoreResult(int row, bool wasBackup, bool ok);
    void operationDone(quintptr context, int kind, bool ok, const QString &detail = QString());

public slots:
    void DataChangedSlot(int top, int left, int bottom, int right);
    void startOrCloseSlot(const QModelIndex &index);
    void createLinkSlot(const QModelIndex &index);
    void StartPlayerNowSlot(int row);
    void WaitToStartSlot(int row);

private slots:
    void onOperationDone(quintptr context, int kind, bool ok, const QString &detail);

private:
    void repaintRow(int row);

    QList<PlayerRecord *> records;
    QString m_lastResultText;
    // The threads of the background operations.
    QThreadPool operations;
};

} // namespace OrvMulti
