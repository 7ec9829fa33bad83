#include "playerstate.h"

#include "desktopshortcut.h"
#include "managervboxtool.h"
#include "orvplayermodel.h"
#include "playerpainter.h"
#include "playertool.h"
#include "sharedsegment.h"

#include <QCoreApplication>
#include <QDebug>
#include <QPainter>

namespace OrvMulti {

bool linkPending = false;

namespace {

using K = PlayerStateKind;
using T = PlayerTrigger;

const char *const kFirstVm = "Orvanta_0";
const char *const kBusyWord = "RUNNING";
const char *const kFreeWord = "STOP";
constexpr int kBusySegmentSize = 255;

// States whose background operation must not be disturbed: status words and copy requests leave
// them alone (the state object has to outlive the operation, and its busy mark has to hold).
bool runsOperation(K kind)
{
    return kind == K::Deleting || kind == K::Backuping || kind == K::Restoring || kind == K::BeingCopied;
}

struct Transition
{
    K from;
    T trigger;
    K to;
};

// Triggers that apply from every state but the ones running an operation.
struct AnyTransition
{
    T trigger;
    K to;
};

const Transition kTransitions[] = {
    {K::Stop, T::StartClicked, K::Starting},
    {K::Running, T::CloseClicked, K::ClosingDown},
    {K::Stop, T::WaitToStart, K::WaittingStart},
    {K::WaittingStart, T::StartPlayerNow, K::Starting},
    {K::Stop, T::DeleteConfirmed, K::Deleting},
    {K::Deleting, T::DeleteFailed, K::Stop},
    {K::Stop, T::BackupChosen, K::Backuping},
    {K::Stop, T::RestoreChosen, K::Restoring},
    {K::Backuping, T::BackupRestoreEnded, K::Stop},
    {K::Restoring, T::BackupRestoreEnded, K::Stop},
    {K::Stop, T::CopyRequested, K::BeingCopied},
    {K::BeingCopied, T::CopyFinished, K::Stop},
    {K::WaittingforCreating, T::BeginToCreate, K::Creating},
    {K::Creating, T::FinishSucceed, K::Stop},
};

const AnyTransition kStatusTransitions[] = {
    {T::StatusRunning, K::Running},     {T::StatusStarting, K::Starting},
    {T::StatusExiting, K::ClosingDown}, {T::StatusWaiting, K::WaittingStart},
    {T::DelayedStop, K::Stop},
};

QColor grey()
{
    return QColor(140, 140, 140);
}
QColor blue()
{
    return QColor(0, 144, 255);
}

QColor wordColour(K kind)
{
    switch (kind) {
    case K::Stop:
    case K::BeingCopied:
    case K::WaittingStart:
    case K::Backuping:
    case K::Restoring:
        return grey();
    default:
        return blue();
    }
}

} // namespace

const char *PlayerState::word() const
{
    switch (kind()) {
    case K::Stop:
    case K::BeingCopied:
        return QT_TRANSLATE_NOOP("QObject", "stop");
    case K::Running:
        return QT_TRANSLATE_NOOP("QObject", "running");
    case K::Starting:
    case K::WaittingStart:
        return QT_TRANSLATE_NOOP("QObject", "starting");
    case K::ClosingDown:
        return QT_TRANSLATE_NOOP("QObject", "closing");
    case K::WaittingforCreating:
        return QT_TRANSLATE_NOOP("QObject", "waitting");
    case K::Creating:
        return QT_TRANSLATE_NOOP("QObject", "creating");
    case K::Deleting:
        return QT_TRANSLATE_NOOP("QObject", "deleting");
    case K::Backuping:
        return QT_TRANSLATE_NOOP("QObject", "backuping");
    case K::Restoring:
        return QT_TRANSLATE_NOOP("QObject", "restoring");
    }
    return "";
}

bool nextPlayerState(PlayerStateKind from, PlayerTrigger trigger, PlayerStateKind *to)
{
    for (const Transition &t : kTransitions) {
        if (t.from == from && t.trigger == trigger) {
            *to = t.to;
            return true;
        }
    }
    if (runsOperation(from))
        return false;
    for (const AnyTransition &t : kStatusTransitions) {
        if (t.trigger == trigger) {
            *to = t.to;
            return true;
        }
    }
    return false;
}

bool statusTrigger(const QString &word, PlayerTrigger *trigger)
{
    static const struct
    {
        const char *word;
        PlayerTrigger trigger;
    } words[] = {
        {"RUNNING", T::StatusRunning}, {"STARTING", T::StatusStarting}, {"EXITING", T::StatusExiting},
        {"WAITING", T::StatusWaiting}, {"STOP", T::DelayedStop},        {"ERROR", T::DelayedStop},
    };
    for (const auto &entry : words) {
        if (word == QLatin1String(entry.word)) {
            *trigger = entry.trigger;
            return true;
        }
    }
    return false;
}

// ---- RefreshAction ----

RefreshAction::RefreshAction()
{
    connect(&timer, &QTimer::timeout, this, &RefreshAction::changeValue);
    timer.start(kIntervalMs);
}

void RefreshAction::changeValue()
{
    if (counter)
        *counter = (*counter + 1) % kFrames;
    emit DataChanged(row, 0, row, 3);
}

// ---- the busy mark ----

BusyMark::BusyMark(const QString &vm) : segment(new SharedSegment)
{
    if (vm.isEmpty())
        return;
    segment->setKey(vm);
    // Another user's segment is neither written nor removed.
    const QString foreign = SharedSegment::foreignSegmentProblem(vm);
    if (!foreign.isEmpty()) {
        qInfo().noquote() << QStringLiteral("busy mark of ") + vm + QStringLiteral(" not set: ") + foreign;
        return;
    }
    // Hold the owner lock as the emulator does, so that its start sees a live owner, not a leftover.
    const bool owner = segment->takeOwnership();
    if (segment->attach() || (owner && segment->create(kBusySegmentSize)))
        segment->writeText(QLatin1String(kBusyWord));
}

BusyMark::~BusyMark()
{
    if (segment->isAttached())
        segment->writeText(QLatin1String(kFreeWord));
    segment->detach();
    segment->releaseOwnership();
}

// ---- PlayerState ----

PlayerState::PlayerState(PlayerPainter *painter) : painter(painter) {}

PlayerState::~PlayerState() = default;

void PlayerState::attach(PlayerContext *owner)
{
    context = owner;
}

void PlayerState::paintCheckBox(QPainter *p, const QRect &rect)
{
    if (painter && context)
        painter->drawCheckBox(p, rect, context->playerRecord().selected);
}

void PlayerState::paintTitle(QPainter *p, const QRect &rect, int editState)
{
    if (painter && context)
        painter->drawTitle(p, rect, QColor(255, 255, 255), context->playerRecord().title,
                           editIconLive() ? editState : PlayerPainter::Disabled);
}

void PlayerState::paintStateLabel(QPainter *p, const QRect &rect)
{
    if (painter)
        painter->drawStateLabel(p, rect, wordColour(kind()), QCoreApplication::translate("QObject", word()));
}

void PlayerState::createDesktopLink()
{
    if (!context)
        return;
    const PlayerRecord &record = context->playerRecord();
    createDesktopShortcut(record.title, PlayerTool::instance().emulatorPath(), QString(),
                          {QStringLiteral("-vm=") + record.vm, QStringLiteral("-title=") + record.title},
                          record.title);
}

void PlayerState::recreateLinkIfPending()
{
    if (!linkPending)
        return;
    linkPending = false;
    createDesktopLink();
}

bool PlayerState::runBackupOrRestore(const QString &)
{
    return false;
}

// ---- Stop, Running, BeingCopied ----

void PlayerStopState::paintAction(QPainter *p, const QRect &rect, int backupState, int deleteState,
                                  int shortcutState, int buttonState)
{
    if (!painter || !context)
        return;
    const bool first = context->playerRecord().vm == QLatin1String(kFirstVm);
    painter->drawActions(p, rect, QColor(255, 255, 255), backupState,
                         first ? PlayerPainter::Disabled : deleteState, shortcutState, true, buttonState,
                         QCoreApplication::translate("QObject", "start"));
}

void PlayerStopState::queueForStart()
{
    context->fire(T::WaitToStart);
}

namespace {
// Starts the emulator for the row's own machine. The row carries its machine name: a lookup by title
// would start another row's machine when two rows share a title.
bool startRowMachine(const PlayerRecord &record)
{
    return !record.vm.isEmpty() && PlayerTool::instance().startPlayer(record.vm, record.title);
}
} // namespace

void PlayerStopState::onActionClicked()
{
    if (startRowMachine(context->playerRecord()))
        context->fire(T::StartClicked);
}

void PlayerRunningState::paintAction(QPainter *p, const QRect &rect, int, int, int shortcutState,
                                     int buttonState)
{
    if (painter)
        painter->drawActions(p, rect, blue(), PlayerPainter::Disabled, PlayerPainter::Disabled, shortcutState,
                             true, buttonState, QCoreApplication::translate("QObject", "close"));
}

void PlayerRunningState::onActionClicked()
{
    if (PlayerTool::instance().stopPlayer(context->playerRecord().vm))
        context->fire(T::CloseClicked);
}

void PlayerBeingCopiedState::paintAction(QPainter *p, const QRect &rect, int, int, int shortcutState, int)
{
    if (painter)
        painter->drawActions(p, rect, QColor(190, 190, 190), PlayerPainter::Disabled, PlayerPainter::Disabled,
                             shortcutState, true, PlayerPainter::Disabled,
                             QCoreApplication::translate("QObject", "start"));
}

void PlayerBeingCopiedState::attach(PlayerContext *owner)
{
    PlayerState::attach(owner);
    mark.reset(new BusyMark(owner->playerRecord().vm));
}

// ---- the busy states ----

void PlayerWaittingState::paintAction(QPainter *p, const QRect &rect, int, int, int, int)
{
    if (!context)
        return;
    // The row is found by its context: titles may repeat, and new rows have no machine name yet.
    OrvPlayerModel *model = context->playerModel();
    const int row = model ? model->rowOfContext(context) : -1;
    action.row = row < 0 ? 0 : row;
    action.counter = &context->playerRecord().progress;
    if (painter)
        painter->drawProgress(p, rect, context->playerRecord().progress);
}

void PlayerWaittingState::onEnter()
{
    if (context && context->playerModel())
        QObject::connect(&action, &RefreshAction::DataChanged, context->playerModel(),
                         &OrvPlayerModel::DataChangedSlot);
}

void PlayerWaittingStartState::startNow()
{
    if (startRowMachine(context->playerRecord()))
        context->fire(T::StartPlayerNow);
}

bool PlayerDeletingState::runDelete()
{
    const PlayerRecord record = context->playerRecord();
    if (record.vm == QLatin1String(kFirstVm) || record.vm.isEmpty())
        return false;
    removeDesktopShortcut(record.title);
    return VBoxTool::instance().deleteVm(record.vm, record.title, true) != VBoxTool::DeleteFailed;
}

void PlayerBackupRestoreState::recreateLinkIfPending()
{
    linkPending = false;
}

void PlayerBackupRestoreState::attach(PlayerContext *owner)
{
    PlayerState::attach(owner);
    mark.reset(new BusyMark(owner->playerRecord().vm));
}

bool PlayerBackupingState::runBackupOrRestore(const QString &path)
{
    return VBoxTool::instance().exportVm(path, context->playerRecord().vm) == VBoxTool::Success;
}

bool PlayerRestoringState::runBackupOrRestore(const QString &path)
{
    const PlayerRecord record = context->playerRecord();
    return VBoxTool::instance().restoreVm(path, record.vm, record.title) == VBoxTool::Success;
}

PlayerState *makePlayerState(PlayerStateKind kind, PlayerPainter *painter)
{
    switch (kind) {
    case K::Stop:
        return new PlayerStopState(painter);
    case K::Running:
        return new PlayerRunningState(painter);
    case K::BeingCopied:
        return new PlayerBeingCopiedState(painter);
    case K::Starting:
        return new PlayerStartingState(painter);
    case K::WaittingStart:
        return new PlayerWaittingStartState(painter);
    case K::ClosingDown:
        return new PlayerClosingDownState(painter);
    case K::WaittingforCreating:
        return new PlayerWaittingforCreatingState(painter);
    case K::Creating:
        return new PlayerCreatingState(painter);
    case K::Deleting:
        return new PlayerDeletingState(painter);
    case K::Backuping:
        return new PlayerBackupingState(painter);
    case K::Restoring:
        return new PlayerRestoringState(painter);
    }
    return nullptr;
}

// ---- PlayerContext ----

PlayerContext::PlayerContext(PlayerState *initial, const PlayerRecord &copy, OrvPlayerModel *owner)
    : state(initial), record(copy), model(owner)
{
    record.context = nullptr;
    if (state) {
        state->attach(this);
        state->onEnter();
    }
}

PlayerContext::~PlayerContext()
{
    clearState();
}

void PlayerContext::setState(PlayerState *next)
{
    delete state;
    state = next;
    if (state) {
        state->attach(this);
        state->onEnter();
    }
}

void PlayerContext::clearState()
{
    delete state;
    state = nullptr;
}

PlayerStateKind PlayerContext::currentKind() const
{
    return state ? state->kind() : PlayerStateKind::Stop;
}

bool PlayerContext::fire(PlayerTrigger trigger)
{
    if (!state)
        return false;
    PlayerStateKind to;
    if (!nextPlayerState(state->kind(), trigger, &to))
        return false;
    if (trigger == T::DeleteConfirmed && record.vm == QLatin1String(kFirstVm))
        return false;
    setState(makePlayerState(to, PlayerPainter::instance()));
    return true;
}

quint64 PlayerContext::onStatusWord(const QString &word, bool *delayedStop)
{
    *delayedStop = false;
    ++serial;
    PlayerTrigger trigger;
    if (!statusTrigger(word, &trigger))
        return serial;
    if (trigger == T::DelayedStop)
        *delayedStop = true;
    else
        fire(trigger);
    return serial;
}

bool PlayerContext::applyDelayedStop(quint64 expected)
{
    if (expected != serial)
        return false;
    return fire(T::DelayedStop);
}

bool PlayerContext::isBusyWithOperation() const
{
    return state && runsOperation(state->kind());
}

void PlayerContext::paintCheckBox(QPainter *p, const QRect &r)
{
    if (state)
        state->paintCheckBox(p, r);
}

void PlayerContext::paintTitle(QPainter *p, const QRect &r, int editState)
{
    if (state)
        state->paintTitle(p, r, editState);
}

void PlayerContext::paintStateLabel(QPainter *p, const QRect &r)
{
    if (state)
        state->paintStateLabel(p, r);
}

void PlayerContext::paintAction(QPainter *p, const QRect &r, int backupState, int deleteState,
                                int shortcutState, int buttonState)
{
    if (state)
        state->paintAction(p, r, backupState, deleteState, shortcutState, buttonState);
}

bool PlayerContext::runDelete()
{
    return state ? state->runDelete() : false;
}

void PlayerContext::createDesktopLink()
{
    if (state)
        state->createDesktopLink();
}

void PlayerContext::recreateLinkIfPending()
{
    if (state)
        state->recreateLinkIfPending();
}

void PlayerContext::queueForStart()
{
    if (state)
        state->queueForStart();
}

void PlayerContext::startNow()
{
    if (state)
        state->startNow();
}

void PlayerContext::onActionClicked()
{
    if (state)
        state->onActionClicked();
}

bool PlayerContext::runBackupOrRestore(const QString &path)
{
    return state ? state->runBackupOrRestore(path) : false;
}

} // namespace OrvMulti
