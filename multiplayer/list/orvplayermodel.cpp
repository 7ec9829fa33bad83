#include "orvplayermodel.h"

#include "managervboxtool.h"
#include "playerpainter.h"

#include <QColor>
#include <QFont>
#include <QThreadPool>
#include <QTimer>

namespace OrvMulti {

namespace {
const char *const kFirstVm = "Orvanta_0";
enum OperationKind
{
    DeleteOperation = 0,
    BackupOperation = 1,
    RestoreOperation = 2
};
} // namespace

OrvPlayerModel::OrvPlayerModel(QObject *parent) : QAbstractTableModel(parent)
{
    qRegisterMetaType<PlayerRecord>("PlayerRecord");
    connect(this, &OrvPlayerModel::operationDone, this, &OrvPlayerModel::onOperationDone,
            Qt::QueuedConnection);
}

OrvPlayerModel::~OrvPlayerModel()
{
    // A worker still running reads its row and reports to this model: both must outlive it.
    operations.waitForDone();
    for (PlayerRecord *record : records) {
        delete record->context;
        delete record;
    }
}

int OrvPlayerModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : records.size();
}

int OrvPlayerModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : kColumns;
}

QVariant OrvPlayerModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= records.size())
        return QVariant();
    const PlayerRecord *record = records.at(index.row());
    switch (role) {
    case Qt::DisplayRole:
        return QString(QLatin1String(""));
    case Qt::FontRole:
        return index.column() == 2 ? QVariant(PlayerPainter::cellFont()) : QVariant(QString());
    case Qt::TextAlignmentRole:
        return int(Qt::AlignLeft | Qt::AlignVCenter);
    case Qt::ForegroundRole:
        return QColor(Qt::white);
    case Qt::UserRole:
        return QVariant::fromValue(*record);
    default:
        return QVariant();
    }
}

bool OrvPlayerModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    if (!index.isValid() || index.row() >= records.size())
        return false;
    PlayerRecord *record = records.at(index.row());
    if (index.column() == 1 && (role == Qt::DisplayRole || role == Qt::EditRole)) {
        record->title = value.toString();
        if (record->context) {
            record->context->setRecordTitle(record->title);
            if (role == Qt::EditRole)
                record->context->recreateLinkIfPending();
        }
        emit dataChanged(index, index);
        return true;
    }
    if (index.column() == 0 && role == Qt::UserRole) {
        record->selected = value.toBool();
        if (record->context)
            record->context->setRecordSelected(record->selected);
        emit dataChanged(index, index);
        return true;
    }
    return false;
}

Qt::ItemFlags OrvPlayerModel::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return QAbstractTableModel::flags(index);
    if (index.column() == 1)
        return Qt::ItemIsSelectable | Qt::ItemIsEditable | Qt::ItemIsEnabled;
    return Qt::ItemIsSelectable | Qt::ItemIsEnabled;
}

void OrvPlayerModel::addRecords(const QList<PlayerRecord> &list, PlayerStateKind initial)
{
    QList<PlayerRecord> withContexts;
    for (PlayerRecord record : list) {
        record.context = new PlayerContext(makePlayerState(initial, PlayerPainter::instance()), record, this);
        withContexts << record;
    }
    addRecords(withContexts);
}

void OrvPlayerModel::addRecords(const QList<PlayerRecord> &list)
{
    beginResetModel();
    for (const PlayerRecord &record : list)
        records << new PlayerRecord(record);
    endResetModel();
}

void OrvPlayerModel::removeRecord(int row)
{
    if (row < 0 || row >= records.size())
        return;
    beginResetModel();
    PlayerRecord *record = records.takeAt(row);
    if (record->context) {
        record->context->clearState();
        delete record->context;
    }
    delete record;
    endResetModel();
}

void OrvPlayerModel::setAllSelected(bool selected)
{
    beginResetModel();
    for (PlayerRecord *record : records) {
        record->selected = selected;
        if (record->context)
            record->context->setRecordSelected(selected);
    }
    endResetModel();
}

void OrvPlayerModel::setRowVm(int row, const QString &vm)
{
    if (row < 0 || row >= records.size())
        return;
    records.at(row)->vm = vm;
    if (records.at(row)->context)
        records.at(row)->context->setRecordVm(vm);
}

int OrvPlayerModel::rowOfVm(const QString &vm) const
{
    for (int i = 0; i < records.size(); ++i) {
        if (records.at(i)->vm == vm)
            return i;
    }
    return -1;
}

int OrvPlayerModel::rowOfTitle(const QString &title) const
{
    for (int i = 0; i < records.size(); ++i) {
        if (records.at(i)->title == title)
            return i;
    }
    return -1;
}

int OrvPlayerModel::rowOfContext(const PlayerContext *context) const
{
    for (int i = 0; i < records.size(); ++i) {
        if (records.at(i)->context == context)
            return i;
    }
    return -1;
}

PlayerContext *OrvPlayerModel::contextAt(int row) const
{
    return row >= 0 && row < records.size() ? records.at(row)->context : nullptr;
}

void OrvPlayerModel::repaintRow(int row)
{
    if (row >= 0 && row < records.size())
        emit dataChanged(index(row, 0), index(row, kColumns - 1));
}

bool OrvPlayerModel::applyStatusWord(const QString &vm, const QString &word)
{
    if (vm.isEmpty())
        return false;
    const int row = rowOfVm(vm);
    PlayerContext *context = contextAt(row);
    if (!context)
        return false;
    bool delayedStop = false;
    const quint64 serial = context->onStatusWord(word, &delayedStop);
    repaintRow(row);
    if (delayedStop) {
        QTimer::singleShot(kDelayedStopMs, this, [this, vm, serial] {
            const int now = rowOfVm(vm);
            PlayerContext *current = contextAt(now);
            if (current && current->applyDelayedStop(serial))
                repaintRow(now);
        });
    }
    return true;
}

bool OrvPlayerModel::markCopySource(const QString &title)
{
    const int row = rowOfTitle(title);
    PlayerContext *context = contextAt(row);
    if (!context || !context->fire(PlayerTrigger::CopyRequested))
        return false;
    repaintRow(row);
    return true;
}

bool OrvPlayerModel::startDelete(int row)
{
    PlayerContext *context = contextAt(row);
    if (!context || context->currentKind() != PlayerStateKind::Stop ||
        context->playerRecord().vm == QLatin1String(kFirstVm))
        return false;
    if (!context->fire(PlayerTrigger::DeleteConfirmed))
        return false;
    repaintRow(row);
    // The row's state stays current until the result is back: status words leave it alone.
    operations.start([this, context] {
        const bool ok = context->runDelete();
        emit operationDone(reinterpret_cast<quintptr>(context), DeleteOperation, ok);
    });
    return true;
}

bool OrvPlayerModel::startBackupOrRestore(int row, bool backup, const QString &path)
{
    PlayerContext *context = contextAt(row);
    if (!context || context->currentKind() != PlayerStateKind::Stop)
        return false;
    if (!context->fire(backup ? PlayerTrigger::BackupChosen : PlayerTrigger::RestoreChosen))
        return false;
    ++busyCount;
    repaintRow(row);
    operations.start([this, context, path, backup] {
        const bool ok = context->runBackupOrRestore(path);
        // The tool's error text belongs to this thread: it travels with the result.
        emit operationDone(reinterpret_cast<quintptr>(context), backup ? BackupOperation : RestoreOperation,
                           ok, ok ? QString() : VBoxTool::instance().lastError());
    });
    return true;
}

void OrvPlayerModel::onOperationDone(quintptr contextId, int kind, bool ok, const QString &detail)
{
    const int row = rowOfContext(reinterpret_cast<const PlayerContext *>(contextId));
    PlayerContext *context = contextAt(row);
    if (kind != DeleteOperation)
        --busyCount;
    if (!context)
        return;
    if (kind == DeleteOperation) {
        const QString title = context->playerRecord().title;
        if (ok) {
            emit removeSignal(row);
            removeRecord(row);
        } else {
            context->fire(PlayerTrigger::DeleteFailed);
            repaintRow(row);
        }
        emit deleteResult(row, title, ok);
        return;
    }
    m_lastResultText = detail;
    context->fire(PlayerTrigger::BackupRestoreEnded);
    repaintRow(row);
    emit backupOrRestoreResult(row, kind == BackupOperation, ok);
}

void OrvPlayerModel::DataChangedSlot(int top, int left, int bottom, int right)
{
    if (top < 0 || top >= records.size())
        return;
    emit dataChanged(index(top, left), index(qMin(bottom, records.size() - 1), right));
}

void OrvPlayerModel::startOrCloseSlot(const QModelIndex &index)
{
    if (PlayerContext *context = contextAt(index.row())) {
        context->onActionClicked();
        repaintRow(index.row());
    }
}

void OrvPlayerModel::createLinkSlot(const QModelIndex &index)
{
    if (PlayerContext *context = contextAt(index.row()))
        context->createDesktopLink();
}

void OrvPlayerModel::StartPlayerNowSlot(int row)
{
    if (PlayerContext *context = contextAt(row)) {
        context->startNow();
        repaintRow(row);
    }
}

void OrvPlayerModel::WaitToStartSlot(int row)
{
    if (PlayerContext *context = contextAt(row)) {
        context->queueForStart();
        repaintRow(row);
    }
}

} // namespace OrvMulti
