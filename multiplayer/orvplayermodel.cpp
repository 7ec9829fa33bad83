#include "orvplayermodel.h"

#include "backuporrestoreselectdialog.h"
#include "datareportengine.h"
#include "managervboxtool.h"
#include "msgdialog.h"
#include "playerpainter.h"
#include "reportevents.h"

#include <QDateTime>
#include <QDebug>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QSettings>
#include <QThreadPool>

namespace OrvMulti {

const char *const OrvPlayerModel::FirstVm = "Orvanta_0";
const char *const OrvPlayerModel::SettingsName = "OrvMultiPlayerSettings";
const char *const OrvPlayerModel::BackupFolderKey = "lastBackuupFolder";
const char *const OrvPlayerModel::RestoreFolderKey = "lastRestoreFolder";
const char *const OrvPlayerModel::BackupFilter = "backup file (*.ova)";

namespace {

const QString kDefaultFolder = QStringLiteral("c:\\");

QSettings managerSettings()
{
    return QSettings(QSettings::IniFormat, QSettings::UserScope, QCoreApplication::organizationName(),
                     QString::fromLatin1(OrvPlayerModel::SettingsName));
}

bool isIn(const PlayerContext *context, PlayerStateKind kind)
{
    return context && context->currentState() && context->currentKind() == kind;
}

} // namespace

OrvPlayerModel::OrvPlayerModel(QObject *parent) : QAbstractTableModel(parent)
{
    qRegisterMetaType<OrvMulti::PlayerContext *>("OrvMulti::PlayerContext*");
    QSettings settings = managerSettings();
    lastBackuupFolder = settings.value(QLatin1String(BackupFolderKey), kDefaultFolder).toString();
    lastRestoreFolder_ = settings.value(QLatin1String(RestoreFolderKey), kDefaultFolder).toString();
    openFileChooser = [](QWidget *parent, const QString &caption, const QString &folder, const QString &filter) {
        return QFileDialog::getOpenFileName(parent, caption, folder, filter);
    };
    saveFileChooser = [](QWidget *parent, const QString &caption, const QString &file, const QString &filter) {
        return QFileDialog::getSaveFileName(parent, caption, file, filter);
    };
    connect(this, &OrvPlayerModel::backOrRestorePlayerSignal, this, &OrvPlayerModel::BackOrRestorePlayerSignalSlot,
            Qt::QueuedConnection);
    connect(this, &OrvPlayerModel::SendRemovePlayerSignal, this, &OrvPlayerModel::SendRemovePlayerSlot,
            Qt::QueuedConnection);
}

OrvPlayerModel::~OrvPlayerModel()
{
    qInfo() << "begine release model data";
    for (PlayerRecord *record : qAsConst(records)) {
        if (record->context) {
            record->context->clearState();
            delete record->context;
            record->context = nullptr;
        }
    }
    qInfo() << "begine release model data";
    QSettings settings = managerSettings();
    settings.setValue(QLatin1String(BackupFolderKey), lastBackuupFolder);
    settings.setValue(QLatin1String(RestoreFolderKey), lastRestoreFolder_);
    qDeleteAll(records);
    records.clear();
}

int OrvPlayerModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : records.size();
}

int OrvPlayerModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

Qt::ItemFlags OrvPlayerModel::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return QAbstractTableModel::flags(index);
    if (index.column() == 1)
        return Qt::ItemIsSelectable | Qt::ItemIsEditable | Qt::ItemIsEnabled;
    return Qt::ItemIsSelectable | Qt::ItemIsEnabled;
}

QVariant OrvPlayerModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() < 0 || index.row() >= records.size())
        return QVariant();
    const PlayerRecord *record = records.at(index.row());
    switch (role) {
    case Qt::DisplayRole:
        return QString();
    case Qt::FontRole:
        if (index.column() == 2)
            return PlayerPainter::cellFont();
        return QString();
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
    if (!index.isValid() || index.row() < 0 || index.row() >= records.size())
        return false;
    PlayerRecord *record = records.at(index.row());
    if (index.column() == 1 && (role == Qt::DisplayRole || role == Qt::EditRole)) {
        record->title = value.toString();
        if (record->context)
            record->context->setRecordTitle(record->title);
        if (role == Qt::EditRole && record->context)
            record->context->recreateLinkIfPending();
    } else if (index.column() == 0 && role == Qt::UserRole) {
        record->selected = value.toBool();
        if (record->context)
            record->context->setRecordSelected(record->selected);
    } else {
        return false;
    }
    emit dataChanged(index, index);
    return true;
}

PlayerContext *OrvPlayerModel::contextAt(int row) const
{
    return row >= 0 && row < records.size() ? records.at(row)->context : nullptr;
}

int OrvPlayerModel::rowOf(const PlayerContext *context) const
{
    if (!context)
        return -1;
    for (int row = 0; row < records.size(); ++row)
        if (records.at(row)->context == context)
            return row;
    return -1;
}

int OrvPlayerModel::rowOfTitle(const QString &title) const
{
    for (int row = 0; row < records.size(); ++row)
        if (records.at(row)->title == title)
            return row;
    return -1;
}

int OrvPlayerModel::rowOfVm(const QString &vm) const
{
    for (int row = 0; row < records.size(); ++row)
        if (records.at(row)->vm == vm)
            return row;
    return -1;
}

void OrvPlayerModel::addRecords(const QList<PlayerRecord *> &list)
{
    beginResetModel();
    records.append(list);
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
    for (PlayerRecord *record : qAsConst(records)) {
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

void OrvPlayerModel::setRowState(int row, PlayerStateKind kind)
{
    PlayerContext *context = contextAt(row);
    if (!context)
        return;
    context->setState(makePlayerState(kind, PlayerPainter::instance()));
    announceRow(row);
}

void OrvPlayerModel::announceRow(int row)
{
    if (row >= 0 && row < records.size())
        emit dataChanged(index(row, 0), index(row, ColumnCount - 1));
}

void OrvPlayerModel::DataChangedSlot(int top, int left, int bottom, int right)
{
    if (top < 0 || top >= records.size() || bottom >= records.size())
        return;
    emit dataChanged(index(top, left), index(bottom, right));
}

void OrvPlayerModel::startOrCloseSlot(const QModelIndex &index)
{
    if (PlayerContext *context = contextAt(index.row())) {
        context->onActionClicked();
        announceRow(rowOf(context));
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
        announceRow(row);
    }
}

void OrvPlayerModel::WaitToStartSlot(int row)
{
    if (PlayerContext *context = contextAt(row)) {
        context->queueForStart();
        announceRow(row);
    }
}

QWidget *OrvPlayerModel::dialogParent() const
{
    return qobject_cast<QWidget *>(QObject::parent());
}

void OrvPlayerModel::deleteDataSlot(const QModelIndex &index)
{
    PlayerContext *context = contextAt(index.row());
    if (!context)
        return;
    const PlayerRecord record = *records.at(index.row());
    if (record.vm == QLatin1String(FirstVm) || !isIn(context, PlayerStateKind::Stop))
        return;
    DataReportEngine::report(ReportEvent::ManagerDelete);
    if (MsgDialog::run(MsgDialog::Question, QObject::tr("is confirm to delete"), dialogParent()) != 1)
        return;
    // The question ran a nested event loop: the row may have moved or changed meanwhile.
    const int row = rowOf(context);
    if (row < 0 || !isIn(context, PlayerStateKind::Stop))
        return;
    setRowState(row, PlayerStateKind::Deleting);
    ++m_deletingCount;
    QThreadPool::globalInstance()->start([this, context] {
        const bool ok = context->runDelete();
        emit SendRemovePlayerSignal(context, ok);
    });
}

void OrvPlayerModel::SendRemovePlayerSlot(PlayerContext *context, bool ok)
{
    --m_deletingCount;
    const int row = rowOf(context);
    if (row < 0)
        return;
    if (ok) {
        emit removeSignal(row);
        removeRecord(rowOf(context));
        return;
    }
    const QString title = records.at(row)->title;
    MsgDialog::run(MsgDialog::Notice, QObject::tr("delete fail").arg(title), dialogParent());
    const int now = rowOf(context);
    if (now >= 0)
        setRowState(now, PlayerStateKind::Stop);
}

void OrvPlayerModel::backupOrRestoreDataSlot(const QModelIndex &index)
{
    PlayerContext *context = contextAt(index.row());
    if (!isIn(context, PlayerStateKind::Stop))
        return;
    DataReportEngine::report(ReportEvent::ManagerBackupOrRestore);
    BackupOrRestoreSelectdialog select(dialogParent());
    if (select.exec() != 1)
        return;
    if (select.choice() == BackupOrRestoreSelectdialog::Restore) {
        const QString path = openFileChooser(dialogParent(), QObject::tr("restore"), lastRestoreFolder_,
                                             QString::fromLatin1(BackupFilter));
        if (!path.isEmpty()) {
            lastRestoreFolder_ = path.left(path.lastIndexOf(QLatin1Char('/')));
            // The machine is deleted before the import: a file that cannot be imported must be refused
            // before that.
            const QFileInfo file(path);
            if (!file.isFile() || !file.isReadable() || file.size() == 0) {
                qInfo() << "OrvPlayerModel : restore file unusable" << path;
                MsgDialog::run(MsgDialog::Notice, tr("retore fail"), dialogParent());
            } else if (isIn(context, PlayerStateKind::Stop) && rowOf(context) >= 0) {
                ++m_busyCount;
                setRowState(rowOf(context), PlayerStateKind::Restoring);
                runBackupOrRestore(context, path);
            }
        }
        DataReportEngine::report(ReportEvent::ManagerRestore);
        return;
    }
    const QString proposed = lastBackuupFolder +
                             QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMddHHmmsszzz")) +
                             QStringLiteral(".ova");
    const QString path = saveFileChooser(dialogParent(), QObject::tr("backup"), proposed,
                                         QString::fromLatin1(BackupFilter));
    if (!path.isEmpty() && isIn(context, PlayerStateKind::Stop) && rowOf(context) >= 0) {
        if (QFile::exists(path))
            QFile::remove(path);
        ++m_busyCount;
        lastBackuupFolder = path.left(path.lastIndexOf(QLatin1Char('/')) + 1);
        setRowState(rowOf(context), PlayerStateKind::Backuping);
        runBackupOrRestore(context, path);
    }
    DataReportEngine::report(ReportEvent::ManagerBackup);
}

void OrvPlayerModel::runBackupOrRestore(PlayerContext *context, const QString &path)
{
    QThreadPool::globalInstance()->start([this, context, path] {
        const bool ok = context->runBackupOrRestore(path);
        emit backOrRestorePlayerSignal(context, ok);
    });
}

void OrvPlayerModel::BackOrRestorePlayerSignalSlot(PlayerContext *context, bool ok)
{
    --m_busyCount;
    const int row = rowOf(context);
    if (row < 0)
        return;
    QString message;
    if (isIn(context, PlayerStateKind::Backuping))
        message = ok ? tr("backup successful") : tr("backup fail");
    else
        message = ok ? tr("retore successful") : tr("retore fail");
    // The row returns to Stop first, so that the message never stands in front of a busy row.
    setRowState(row, PlayerStateKind::Stop);
    MsgDialog::run(MsgDialog::Notice, message, dialogParent());
}

} // namespace OrvMulti
