#include "multiplayermanagerdialog.h"
#include "ui_multiplayermanagerdialog.h"

#include "datareportengine.h"
#include "machinename.h"
#include "managervboxtool.h"
#include "mpapplication.h"
#include "mpcommandline.h"
#include "mpvboxerrordialog.h"
#include "msgdialog.h"
#include "orvplayermodel.h"
#include "playercreatedialog.h"
#include "playerpainter.h"
#include "reportevents.h"

#include <QCloseEvent>
#include <QDebug>
#include <QTimer>

namespace OrvMulti {

const char *const MultiPlayerManagerDialog::BaseVm = "OrvantaBase";

MultiPlayerManagerDialog::MultiPlayerManagerDialog(QWidget *parent, OrvPlayerTableView::Loader loader)
    : BaseDialog(parent), ui(std::make_unique<Ui::MultiPlayerManagerDialog>())
{
    ui->setupUi(this);
    setWindowTitle(tr("OrvMultiPlayer"));
    view = new OrvPlayerTableView(ui->widget_tableView, std::move(loader));
    view->setGeometry(0, 0, ui->widget_tableView->width(), 560);

    connect(&creator, &CreatingActionThreadAction::CreatingFinish, this,
            &MultiPlayerManagerDialog::CreatingFinishSlot);
    connect(&creator, &CreatingActionThreadAction::BeginToCreate, this,
            &MultiPlayerManagerDialog::BeginToCreateSlot);
    connect(&creator, &CreatingActionThreadAction::FinishSucceed, this,
            &MultiPlayerManagerDialog::FinishSucceedSlot);
    // The worker waits while its failure is shown.
    connect(&creator, &CreatingActionThreadAction::FinishFailed, this,
            &MultiPlayerManagerDialog::FinishFailedSlot, Qt::BlockingQueuedConnection);
    connect(&starter, &StartPlayersThreadAction::WaitToStart, view->playerModel(),
            &OrvPlayerModel::WaitToStartSlot);
    connect(&starter, &StartPlayersThreadAction::StartPlayerNow, view->playerModel(),
            &OrvPlayerModel::StartPlayerNowSlot);
    connect(&starter, &StartPlayersThreadAction::StartFinish, this,
            &MultiPlayerManagerDialog::StartFinishSlot);
    if (auto *app = qobject_cast<OrvApplication *>(QCoreApplication::instance()))
        connect(app, &OrvApplication::messageAvailable, this, &MultiPlayerManagerDialog::handleNewConnect);

    connect(ui->pushButton_min, &QPushButton::clicked, this, &QWidget::showMinimized);
    connect(ui->pushButton_close, &QPushButton::clicked, this, &QWidget::close);
    connect(ui->checkBox, &QCheckBox::clicked, this, &MultiPlayerManagerDialog::selectAll);
    connect(ui->pushButton_new, &QPushButton::clicked, this, &MultiPlayerManagerDialog::createPlayers);
    connect(ui->pushButton_start, &QPushButton::clicked, this, &MultiPlayerManagerDialog::startPlayers);
}

MultiPlayerManagerDialog::~MultiPlayerManagerDialog()
{
    // The rows go before the painter that their states draw with.
    delete view;
    view = nullptr;
    ui.reset();
    delete PlayerPainter::instance();
}

int MultiPlayerManagerDialog::rowOf(PlayerContext *context) const
{
    return view->playerModel()->rowOfContext(context);
}

void MultiPlayerManagerDialog::handleNewConnect(const QString &msg)
{
    qInfo().noquote() << QStringLiteral("manager message ") + msg;
    QString vm;
    QString status;
    parseManagerMessage(msg.toLatin1(), &vm, &status);
    if (!vm.isEmpty() && !status.isEmpty()) {
        if (isValidMachineName(vm))
            ChangeStatus(vm, status);
        else
            qInfo() << "MultiPlayerManagerDialog : status for an unacceptable machine name dropped";
    } else
        bringToFront();
}

void MultiPlayerManagerDialog::ChangeStatus(const QString &vm, const QString &status)
{
    // The model applies the word, a "STOP" or "ERROR" after its delay, addressed by the machine name.
    view->playerModel()->applyStatusWord(vm, status);
}

void MultiPlayerManagerDialog::bringToFront()
{
    setWindowState((windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    showNormal();
    raise();
    activateWindow();
}

void MultiPlayerManagerDialog::createPlayers()
{
    if (!view->isLoaded())
        return;
    DataReportEngine::report(ReportEvent::ManagerCreate);
    const int busy = view->busyCount();
    if (isCreating()) {
        MsgDialog::run(MsgDialog::Notice,
                       busy ? tr("be backing player, can not do creatting")
                            : tr("be creating player, can not do creatting"),
                       this);
        return;
    }
    if (busy) {
        MsgDialog::run(MsgDialog::Notice, tr("be backing player, can not do creatting"), this);
        return;
    }
    QStringList sources{QObject::tr("the original palyer")};
    for (const PlayerRecord *record : view->playerRecords())
        sources << record->title;
    playerCreateDialog dialog(sources, this);
    if (dialog.exec() == 1)
        createPlayersrRcursively(dialog.source(), dialog.count());
}

void MultiPlayerManagerDialog::createPlayersrRcursively(const QString &titleSel, int creatCount)
{
    if (creatCount < 1 || isCreating() || creator.isRunning())
        return;
    OrvPlayerModel *model = view->playerModel();
    const bool fromImage = titleSel == QObject::tr("the original palyer");
    const QString base = fromImage ? tr("Orvanta") : titleSel;
    copySource = nullptr;
    PlayerContext *source = nullptr;
    if (!fromImage) {
        source = model->contextAt(model->rowOfTitle(titleSel));
        if (!source)
            return;
        // Only a stopped instance is copied: a running, starting or busy one would be copied half-way.
        if (source->currentKind() != PlayerStateKind::Stop) {
            if (MsgDialog::run(MsgDialog::Retry, tr("the object which is running can not be copied"), this) ==
                1)
                createPlayersrRcursively(titleSel, creatCount);
            else
                createPlayers();
            return;
        }
    }
    QStringList titles;
    QList<PlayerRecord> records;
    QVector<PlayerContext *> contexts;
    int k = 0;
    for (int j = 1; j <= creatCount; ++j) {
        QString name;
        do {
            ++k;
            name = base + QLatin1Char('_') + QString::number(k);
        } while (!VBoxTool::instance().findVmByTitle(name).isEmpty() || model->rowOfTitle(name) >= 0);
        titles << name;
        PlayerRecord record(QString(), name, false);
        record.context = new PlayerContext(
            makePlayerState(PlayerStateKind::WaittingforCreating, PlayerPainter::instance()), record, model);
        records << record;
        contexts << record.context;
    }
    if (source && model->markCopySource(titleSel))
        copySource = source;
    creationRows = contexts;
    view->appendRecords(records);
    creator.source = fromImage ? QString::fromLatin1(BaseVm) : VBoxTool::instance().findVmByTitle(titleSel);
    creator.titles = titles;
    creator.start();
}

void MultiPlayerManagerDialog::BeginToCreateSlot(int index)
{
    PlayerContext *context = creationRows.value(index);
    const int row = rowOf(context);
    if (row >= 0 && context->fire(PlayerTrigger::BeginToCreate))
        view->playerModel()->DataChangedSlot(row, 0, row, 3);
}

void MultiPlayerManagerDialog::FinishSucceedSlot(int index, const QString &vm)
{
    PlayerContext *context = creationRows.value(index);
    const int row = rowOf(context);
    if (row < 0)
        return;
    context->fire(PlayerTrigger::FinishSucceed);
    view->setRowVm(row, vm);
    view->playerModel()->DataChangedSlot(row, 0, row, 3);
}

void MultiPlayerManagerDialog::FinishFailedSlot(int index)
{
    // The failed title and every later one leave the list.
    for (int i = index; i < creationRows.size(); ++i) {
        const int row = rowOf(creationRows.at(i));
        if (row >= 0)
            view->removeRow(row);
    }
    const QString error = creator.failureText();
    if (!error.isEmpty()) {
        VBoxErrorDialog dialog(error, this);
        dialog.exec();
    } else {
        MsgDialog::run(MsgDialog::Notice, tr("creating is failed, please try again"), this);
    }
    qInfo() << "creat player Failed, the error is" << error;
}

void MultiPlayerManagerDialog::CreatingFinishSlot()
{
    if (creationRows.isEmpty())
        return;
    if (copySource && rowOf(copySource) >= 0 && copySource->fire(PlayerTrigger::CopyFinished)) {
        const int row = rowOf(copySource);
        view->playerModel()->DataChangedSlot(row, 0, row, 3);
    }
    copySource = nullptr;
    creationRows.clear();
}

void MultiPlayerManagerDialog::startPlayers()
{
    if (!view->isLoaded() || isStarting() || starter.isRunning())
        return;
    QVector<int> indexes;
    const QList<PlayerRecord *> &records = view->playerRecords();
    for (int row = 0; row < records.size(); ++row) {
        if (records.at(row)->selected) {
            indexes << row;
            startRows[records.at(row)->vm] = row;
        }
    }
    if (indexes.isEmpty())
        return;
    starter.indexes = indexes;
    starter.start();
}

void MultiPlayerManagerDialog::StartFinishSlot()
{
    startRows.clear();
}

void MultiPlayerManagerDialog::StartNextPlayer(const QString &vm)
{
    auto it = startRows.find(vm);
    if (it == startRows.end() || it.value() == -1)
        return;
    it.value() = -1;
    for (auto next = startRows.cbegin(); next != startRows.cend(); ++next) {
        if (next.value() != -1) {
            emit starter.StartPlayerNow(next.value());
            return;
        }
    }
    startRows.clear();
}

void MultiPlayerManagerDialog::selectAll(bool checked)
{
    view->selectAll(checked);
}

void MultiPlayerManagerDialog::closeEvent(QCloseEvent *event)
{
    qInfo() << "user close";
    if (view->busyCount() != 0) {
        MsgDialog::run(MsgDialog::Notice, tr("be backing player, can not exit"), this);
        event->ignore();
    } else if (view->deletingCount() != 0) {
        MsgDialog::run(MsgDialog::Notice, tr("be deleting player, can not exit"), this);
        event->ignore();
    } else if (isCreating() || creator.isRunning()) {
        MsgDialog::run(MsgDialog::Notice, tr("be creating player, can not exit"), this);
        event->ignore();
    } else {
        event->accept();
    }
}

} // namespace OrvMulti
