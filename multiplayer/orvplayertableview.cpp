#include "orvplayertableview.h"

#include "datareportengine.h"
#include "global.h"
#include "managervboxtool.h"
#include "mpcommandline.h"
#include "orvplayeritemdelegate.h"
#include "orvplayermodel.h"
#include "playerpainter.h"
#include "playertool.h"
#include "reportevents.h"
#include "sqlitetool.h"

#include <QDebug>
#include <QApplication>
#include <QHeaderView>
#include <QPointer>
#include <QThreadPool>

namespace OrvMulti {

const char *const OrvPlayerTableView::NarrowMargin = "QTableView{margin-right: 5}";
const char *const OrvPlayerTableView::WideMargin = "QTableView{margin-right: 20}";

namespace {
// Calls of the VM tool's listing before the list loads with whatever the last one gave.
constexpr int kListAttempts = 4;
} // namespace

OrvPlayerTableView::OrvPlayerTableView(QWidget *parent, Loader loader) : QTableView(parent)
{
    model = new OrvPlayerModel(this);
    delegate = new OrvPlayerItemDelegate(this);
    connect(delegate, &OrvPlayerItemDelegate::backupOrRestoreData, model, &OrvPlayerModel::backupOrRestoreDataSlot);
    connect(delegate, &OrvPlayerItemDelegate::deleteData, model, &OrvPlayerModel::deleteDataSlot);
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
    QList<PlayerRecord *> list;
    for (const auto &entry : map) {
        const VmRecord &vm = entry.second;
        auto *record = new PlayerRecord(vm.vm, vm.title, false);
        const PlayerStateKind kind =
            vm.state == QLatin1String("RUNNING") ? PlayerStateKind::Running : PlayerStateKind::Stop;
        record->context = new PlayerContext(makePlayerState(kind, PlayerPainter::instance()), *record, model);
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

const QList<PlayerRecord *> &OrvPlayerTableView::playerRecords() const
{
    return model->playerRecords();
}

void OrvPlayerTableView::setViewPaddingSlot(bool narrow)
{
    setStyleSheet(QLatin1String(narrow ? NarrowMargin : WideMargin));
    loaded = true;
}

void OrvPlayerTableView::appendRecords(const QList<PlayerRecord *> &list)
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

} // namespace OrvMulti
