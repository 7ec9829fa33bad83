#include "orvplayertableview.h"

#include "backuporrestoreselectdialog.h"
#include "datareportengine.h"
#include "global.h"
#include "managervboxtool.h"
#include "mpcommandline.h"
#include "msgdialog.h"
#include "orvplayeritemdelegate.h"
#include "orvplayermodel.h"
#include "playerpainter.h"
#include "playertool.h"
#include "reportevents.h"
#include "sqlitetool.h"

#include <QApplication>
#include <QDateTime>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QPointer>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryFile>
#include <QThreadPool>

namespace OrvMulti {

const char *const OrvPlayerTableView::NarrowMargin = "QTableView{margin-right: 5}";
const char *const OrvPlayerTableView::WideMargin = "QTableView{margin-right: 20}";
const char *const OrvPlayerTableView::FirstVm = "Orvanta_0";
const char *const OrvPlayerTableView::SettingsName = "OrvMultiPlayerSettings";
const char *const OrvPlayerTableView::BackupFolderKey = "lastBackuupFolder";
const char *const OrvPlayerTableView::RestoreFolderKey = "lastRestoreFolder";
const char *const OrvPlayerTableView::BackupFilter = "backup file (*.ova)";

namespace {
// Calls of the VM tool's listing before the list loads with whatever the last one gave.
constexpr int kListAttempts = 4;

// Where the backup and restore dialogs start when no usable folder is remembered: the user's documents
// folder, or the home folder when there is none.
QString defaultFolder()
{
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (!documents.isEmpty() && QFileInfo(documents).isDir())
        return documents;
    return QDir::homePath();
}

// True when a file can be made in `folder`: tried, since permission bits say nothing for a folder on a
// read-only or virtual file system, nor for a privileged user.
bool canMakeFilesIn(const QString &folder)
{
    QTemporaryFile probe(folder + QStringLiteral("/.orv-write-test-XXXXXX"));
    return probe.open();
}

// A remembered folder is used only while it is an existing absolute folder (older settings may hold a
// Windows path such as "c:\", which would send the dialogs to "/"). The backup's folder must also take
// the new file, and is never the root of the file system (where that old fault left it).
QString rememberedFolder(const QString &stored, bool forWriting)
{
    const QFileInfo folder(stored);
    if (stored.isEmpty() || !folder.isAbsolute() || !folder.isDir())
        return defaultFolder();
    const QString clean = QDir::cleanPath(stored);
    if (forWriting && (QDir(clean).isRoot() || !canMakeFilesIn(clean)))
        return defaultFolder();
    return clean;
}

QSettings managerSettings()
{
    return QSettings(QSettings::IniFormat, QSettings::UserScope, QCoreApplication::organizationName(),
                     QString::fromLatin1(OrvPlayerTableView::SettingsName));
}
} // namespace

OrvPlayerTableView::OrvPlayerTableView(QWidget *parent, Loader loader) : QTableView(parent)
{
    model = new OrvPlayerModel(this);
    delegate = new OrvPlayerItemDelegate(this);
    QSettings settings = managerSettings();
    // The backup folder ends with "/" (the proposed file name follows it), the restore folder does not.
    lastBackuupFolder = rememberedFolder(settings.value(QLatin1String(BackupFolderKey)).toString(), true);
    if (!lastBackuupFolder.endsWith(QLatin1Char('/')))
        lastBackuupFolder += QLatin1Char('/');
    lastRestoreFolder_ = rememberedFolder(settings.value(QLatin1String(RestoreFolderKey)).toString(), false);
    openFileChooser = [](QWidget *parent, const QString &caption, const QString &folder,
                         const QString &filter) {
        return QFileDialog::getOpenFileName(parent, caption, folder, filter);
    };
    saveFileChooser = [](QWidget *parent, const QString &caption, const QString &file,
                         const QString &filter) {
        return QFileDialog::getSaveFileName(parent, caption, file, filter);
    };
    connect(delegate, &OrvPlayerItemDelegate::backupOrRestoreData, this,
            &OrvPlayerTableView::backupOrRestoreDataSlot);
    connect(delegate, &OrvPlayerItemDelegate::deleteData, this, &OrvPlayerTableView::deleteDataSlot);
    connect(model, &OrvPlayerModel::deleteResult, this, &OrvPlayerTableView::deleteResultSlot);
    connect(model, &OrvPlayerModel::backupOrRestoreResult, this,
            &OrvPlayerTableView::backupOrRestoreResultSlot);
    connect(delegate, &OrvPlayerItemDelegate::startOrClose, model, &OrvPlayerModel::startOrCloseSlot);
    connect(delegate, &OrvPlayerItemDelegate::createLink, model, &OrvPlayerModel::createLinkSlot);
    connect(model, &OrvPlayerModel::removeSignal, this, &OrvPlayerTableView::removeSlot);
    connect(this, &OrvPlayerTableView::setViewPadding, this, &OrvPlayerTableView::setViewPaddingSlot);

    setMouseTracking(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectItems);
    horizontalHeader()->hide();
    verticalHeader()->hide();
    setShowGrid(false);
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    verticalHeader()->setDefaultSectionSize(RowHeight);
    setEditTriggers(QAbstractItemView::CurrentChanged | QAbstractItemView::DoubleClicked |
                    QAbstractItemView::SelectedClicked);
    setModel(model);
    setItemDelegate(delegate);
    setColumnWidth(0, 46);
    setColumnWidth(2, 65);
    setColumnWidth(3, 314);
    horizontalHeader()->setSectionResizeMode(1, QHeaderView::Stretch);

    DataReportEngine::init();

    if (!loader)
        loader = &OrvPlayerTableView::initVMList;
    // The rows reach the view in the GUI thread; a view that is gone by then takes nothing.
    QPointer<OrvPlayerTableView> view(this);
    QThreadPool::globalInstance()->start([view, loader] {
        const VmRecordMap map = loader();
        QMetaObject::invokeMethod(
            qApp,
            [view, map] {
                if (view)
                    view->addLoadedRecords(map);
            },
            Qt::QueuedConnection);
    });
}

OrvPlayerTableView::~OrvPlayerTableView()
{
    qInfo() << "begine ~OrvPlayerTableView";
    QSettings settings = managerSettings();
    settings.setValue(QLatin1String(BackupFolderKey), lastBackuupFolder);
    settings.setValue(QLatin1String(RestoreFolderKey), lastRestoreFolder_);
    delete model;
    model = nullptr;
    delete delegate;
    delegate = nullptr;
    qInfo() << "end ~OrvPlayerTableView";
}

VmRecordMap OrvPlayerTableView::initVMList()
{
    Global::loadInstallInfo();
    Global::initSystemInfo();
    // The manager's database is named after the program, not after a machine.
    Global::vmName = QCoreApplication::applicationName();
    SQLiteTool::instance().connect();
    DataReportEngine::report(ReportEvent::ManagerListBuilt, QStringLiteral("source"), OrvMulti::from);
    qInfo() << "begin player model data set";
    VmRecordMap map;
    int result = VBoxTool::instance().refreshVms(&map);
    for (int attempt = 1; result != VBoxTool::Success; ++attempt) {
        qInfo() << "initVMList try again";
        if (attempt >= kListAttempts)
            break;
        map.clear();
        result = VBoxTool::instance().refreshVms(&map);
    }
    PlayerTool::instance().initEmulatorPath();
    return map;
}

void OrvPlayerTableView::addLoadedRecords(const VmRecordMap &map)
{
    // Rows, contexts and their states are made here, in the GUI thread that owns them.
    QList<PlayerRecord> list;
    for (const auto &entry : map) {
        const VmRecord &vm = entry.second;
        PlayerRecord record(vm.vm, vm.title, false);
        const PlayerStateKind kind =
            vm.state == QLatin1String("RUNNING") ? PlayerStateKind::Running : PlayerStateKind::Stop;
        record.context = new PlayerContext(makePlayerState(kind, PlayerPainter::instance()), record, model);
        list << record;
    }
    if (list.isEmpty()) {
        loaded = true;
    } else {
        emit setViewPadding(list.size() > RowsWithoutScrollBar);
        model->addRecords(list);
    }
    qInfo() << "end player model data set";
    emit loadFinished();
}

void OrvPlayerTableView::paintEvent(QPaintEvent *event)
{
    QTableView::paintEvent(event);
    if (!rowsPainted && model->rowCount() > 0) {
        rowsPainted = true;
        // The moment in ms since the epoch: the log's own time stamps have whole seconds only.
        qInfo() << "player list painted" << model->rowCount() << "rows at"
                << QDateTime::currentMSecsSinceEpoch();
    }
}

QList<PlayerRecord *> OrvPlayerTableView::playerRecords() const
{
    return model->playerRecords();
}

void OrvPlayerTableView::setViewPaddingSlot(bool narrow)
{
    setStyleSheet(QLatin1String(narrow ? NarrowMargin : WideMargin));
    loaded = true;
}

void OrvPlayerTableView::appendRecords(const QList<PlayerRecord> &list)
{
    if (model->rowCount() + list.size() > RowsWithoutScrollBar)
        setStyleSheet(QLatin1String(NarrowMargin));
    model->addRecords(list);
}

void OrvPlayerTableView::removeRow(int row)
{
    model->removeRecord(row);
    if (model->rowCount() <= RowsWithoutScrollBar)
        setStyleSheet(QLatin1String(WideMargin));
}

void OrvPlayerTableView::removeSlot(int row)
{
    if (model->rowCount() == RowsWithoutScrollBar + 1)
        setStyleSheet(QLatin1String(WideMargin));
    emit removePlayerSignal(row);
}

void OrvPlayerTableView::selectAll(bool selected)
{
    if (loaded)
        model->setAllSelected(selected);
}

void OrvPlayerTableView::setRowVm(int row, const QString &vm)
{
    model->setRowVm(row, vm);
}

int OrvPlayerTableView::busyCount() const
{
    return model->busyCount;
}

void OrvPlayerTableView::deleteDataSlot(const QModelIndex &index)
{
    PlayerContext *context = model->contextAt(index.row());
    if (!context || !context->currentState())
        return;
    if (context->playerRecord().vm == QLatin1String(FirstVm) ||
        context->currentKind() != PlayerStateKind::Stop)
        return;
    DataReportEngine::report(ReportEvent::ManagerDelete);
    if (MsgDialog::run(MsgDialog::Question, QObject::tr("is confirm to delete"), this) != 1)
        return;
    // The question ran its own event loop: the row is looked up again, and it may be gone.
    const int row = model->rowOfContext(context);
    if (row < 0)
        return;
    const QString title = context->playerRecord().title;
    if (model->startDelete(row))
        pendingDeletes.insert(title);
}

void OrvPlayerTableView::deleteResultSlot(int, const QString &title, bool ok)
{
    pendingDeletes.remove(title);
    if (!ok)
        MsgDialog::run(MsgDialog::Notice, QObject::tr("delete fail").arg(title), this);
}

void OrvPlayerTableView::backupOrRestoreDataSlot(const QModelIndex &index)
{
    PlayerContext *context = model->contextAt(index.row());
    if (!context || !context->currentState() || context->currentKind() != PlayerStateKind::Stop)
        return;
    DataReportEngine::report(ReportEvent::ManagerBackupOrRestore);
    BackupOrRestoreSelectdialog select(this);
    if (select.exec() != 1)
        return;
    if (select.choice() == BackupOrRestoreSelectdialog::Restore) {
        const QString path = openFileChooser(this, QObject::tr("restore"), lastRestoreFolder_,
                                             QString::fromLatin1(BackupFilter));
        if (!path.isEmpty()) {
            lastRestoreFolder_ = path.left(path.lastIndexOf(QLatin1Char('/')));
            // A restore deletes the machine before it imports the file: a file that cannot be imported
            // is refused before anything is deleted.
            const QFileInfo file(path);
            if (!file.isFile() || !file.isReadable() || file.size() == 0) {
                qInfo() << "OrvPlayerTableView : restore file unusable" << path;
                MsgDialog::run(MsgDialog::Notice, OrvPlayerModel::tr("retore fail"), this);
            } else if (model->rowOfContext(context) >= 0) {
                // The dialogs ran their own event loops: the row is looked up again.
                model->startBackupOrRestore(model->rowOfContext(context), false, path);
            }
        }
        DataReportEngine::report(ReportEvent::ManagerRestore);
        return;
    }
    const QString proposed = lastBackuupFolder +
                             QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMddHHmmsszzz")) +
                             QStringLiteral(".ova");
    const QString path =
        saveFileChooser(this, QObject::tr("backup"), proposed, QString::fromLatin1(BackupFilter));
    if (!path.isEmpty()) {
        const int row = model->rowOfContext(context);
        if (row >= 0 && context->currentKind() == PlayerStateKind::Stop) {
            if (QFile::exists(path))
                QFile::remove(path);
            lastBackuupFolder = path.left(path.lastIndexOf(QLatin1Char('/')) + 1);
            model->startBackupOrRestore(row, true, path);
        }
    }
    DataReportEngine::report(ReportEvent::ManagerBackup);
}

void OrvPlayerTableView::backupOrRestoreResultSlot(int, bool wasBackup, bool ok)
{
    QString message;
    if (wasBackup)
        message = ok ? OrvPlayerModel::tr("backup successful") : OrvPlayerModel::tr("backup fail");
    else
        message = ok ? OrvPlayerModel::tr("retore successful") : OrvPlayerModel::tr("retore fail");
    // A failure says what became of the instance and why, in the tool's and the manager's words.
    if (!ok && !model->lastResultText().isEmpty())
        message += QLatin1Char('\n') + model->lastResultText();
    MsgDialog::run(MsgDialog::Notice, message, this);
}

} // namespace OrvMulti
