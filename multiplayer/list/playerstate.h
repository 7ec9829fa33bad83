#pragma once

#include <QMetaType>
#include <QObject>
#include <QRect>
#include <QString>
#include <QTimer>

#include <memory>

class QPainter;
class SharedSegment;

namespace OrvMulti {

class PlayerContext;
class PlayerPainter;
class OrvPlayerModel;

// One row of the manager's instance list.
struct PlayerRecord
{
    PlayerRecord() = default;
    PlayerRecord(const QString &vm, const QString &title, bool selected)
        : vm(vm), title(title), selected(selected)
    {
    }

    QString vm;                       // empty while the row's machine is still being made
    QString title;                    // display name, unique in the list
    PlayerContext *context = nullptr; // owned by the model
    bool selected = false;
    qint32 progress = 0; // frame of the progress animation, 0 to 3
};

// The states of a row.
enum class PlayerStateKind
{
    Stop,
    Running,
    BeingCopied,
    Starting,
    WaittingStart,
    ClosingDown,
    WaittingforCreating,
    Creating,
    Deleting,
    Backuping,
    Restoring,
};

// What can happen to a row.
enum class PlayerTrigger
{
    StartClicked,   // "start" pressed and the emulator was started
    CloseClicked,   // "close" pressed and the stop request was started
    WaitToStart,    // batch start queues the row
    StartPlayerNow, // batch start starts the row and the emulator was started
    StatusRunning,  // status words from the emulator
    StatusStarting,
    StatusExiting,
    StatusWaiting,
    DelayedStop, // 2000 ms after "STOP" or "ERROR", unless a newer word came
    DeleteConfirmed,
    DeleteFailed,
    BackupChosen,
    RestoreChosen,
    BackupRestoreEnded,
    CopyRequested, // the row is the source of a create request
    CopyFinished,  // the creation worker's thread ended
    BeginToCreate,
    FinishSucceed,
    FinishFailed,    // the row is removed
    DeleteSucceeded, // the row is removed
};

// The transition table: the state a trigger leads to from `from`; false when the row ignores it.
// Rows whose delete, backup, restore or copy runs ignore status words and further copy requests.
bool nextPlayerState(PlayerStateKind from, PlayerTrigger trigger, PlayerStateKind *to);
// The trigger of a status word; false for words that change no state (they still repaint the row).
// "STOP" and "ERROR" give DelayedStop, which the caller applies after its delay.
bool statusTrigger(const QString &word, PlayerTrigger *trigger);

// Animates a busy row: every 150 ms the row's progress frame advances and its four cells are announced.
class RefreshAction : public QObject
{
    Q_OBJECT

public:
    static constexpr int kIntervalMs = 150;
    static constexpr int kFrames = 4;

    RefreshAction();

    qint32 *counter = nullptr;
    qint32 row = 0;

signals:
    void DataChanged(int top, int left, int bottom, int right);

public slots:
    void changeValue();

private:
    QTimer timer;
};

// Set when a renamed instance's desktop link was removed and is to be made again under the new title.
extern bool linkPending;

// The state of one row. See the subclasses for what each one shows and does.
class PlayerState
{
public:
    explicit PlayerState(PlayerPainter *painter);
    virtual ~PlayerState();
    PlayerState(const PlayerState &) = delete;
    PlayerState &operator=(const PlayerState &) = delete;

    virtual PlayerStateKind kind() const = 0;
    // The state word of kind() (untranslated key, context "QObject").
    const char *word() const;

    virtual void paintCheckBox(QPainter *painter, const QRect &rect);
    virtual void paintTitle(QPainter *painter, const QRect &rect, int editState);
    virtual void paintStateLabel(QPainter *painter, const QRect &rect);
    virtual void paintAction(QPainter *painter, const QRect &rect, int backupState, int deleteState,
                             int shortcutState, int buttonState) = 0;
    virtual bool runDelete() { return false; }
    virtual void createDesktopLink();
    virtual void recreateLinkIfPending();
    virtual void queueForStart() {}
    virtual void startNow() {}
    virtual void onActionClicked() {}
    virtual bool runBackupOrRestore(const QString &path);
    virtual void onEnter() {}
    virtual void attach(PlayerContext *context);

protected:
    virtual bool editIconLive() const { return false; }
    PlayerPainter *painter = nullptr;
    PlayerContext *context = nullptr;
};

// Marks the row's machine busy in its instance segment ("RUNNING") while the state is current, and
// "STOP" when it ends. Holds the segment's owner lock meanwhile, so an emulator started for the
// machine finds it taken.
class BusyMark
{
public:
    explicit BusyMark(const QString &vm);
    ~BusyMark();

private:
    std::unique_ptr<SharedSegment> segment;
};

class PlayerStopState : public PlayerState
{
public:
    using PlayerState::PlayerState;
    PlayerStateKind kind() const override { return PlayerStateKind::Stop; }
    void paintAction(QPainter *, const QRect &, int, int, int, int) override;
    void queueForStart() override;
    void onActionClicked() override;

protected:
    bool editIconLive() const override { return true; }
};

class PlayerRunningState : public PlayerState
{
public:
    using PlayerState::PlayerState;
    PlayerStateKind kind() const override { return PlayerStateKind::Running; }
    void paintAction(QPainter *, const QRect &, int, int, int, int) override;
    void onActionClicked() override;

protected:
    bool editIconLive() const override { return true; }
};

class PlayerBeingCopiedState : public PlayerState
{
public:
    using PlayerState::PlayerState;
    PlayerStateKind kind() const override { return PlayerStateKind::BeingCopied; }
    void paintAction(QPainter *, const QRect &, int, int, int, int) override;
    void attach(PlayerContext *context) override;

protected:
    bool editIconLive() const override { return true; }

private:
    std::unique_ptr<BusyMark> mark;
};

// Base of the busy states: draws the progress animation instead of the row's buttons.
class PlayerWaittingState : public PlayerState
{
public:
    using PlayerState::PlayerState;
    void paintAction(QPainter *, const QRect &, int, int, int, int) override;
    void createDesktopLink() override {}
    void recreateLinkIfPending() override {}
    void onEnter() override;
    RefreshAction *refreshAction() { return &action; }

protected:
    RefreshAction action;
};

// A busy state of kind `Kind`.
template <PlayerStateKind Kind> class PlayerBusyState : public PlayerWaittingState
{
public:
    using PlayerWaittingState::PlayerWaittingState;
    PlayerStateKind kind() const override { return Kind; }
};

using PlayerStartingState = PlayerBusyState<PlayerStateKind::Starting>;
using PlayerClosingDownState = PlayerBusyState<PlayerStateKind::ClosingDown>;
using PlayerWaittingforCreatingState = PlayerBusyState<PlayerStateKind::WaittingforCreating>;
using PlayerCreatingState = PlayerBusyState<PlayerStateKind::Creating>;

class PlayerWaittingStartState : public PlayerBusyState<PlayerStateKind::WaittingStart>
{
public:
    using PlayerBusyState::PlayerBusyState;
    void startNow() override;
};

class PlayerDeletingState : public PlayerBusyState<PlayerStateKind::Deleting>
{
public:
    using PlayerBusyState::PlayerBusyState;
    bool runDelete() override;
};

// Base of backup and restore: the row's machine is marked busy while they run, the title stays
// editable, and a link pending from a rename is not made again.
class PlayerBackupRestoreState : public PlayerWaittingState
{
public:
    using PlayerWaittingState::PlayerWaittingState;
    void recreateLinkIfPending() override;
    void attach(PlayerContext *context) override;

protected:
    bool editIconLive() const override { return true; }

private:
    std::unique_ptr<BusyMark> mark;
};

class PlayerBackupingState : public PlayerBackupRestoreState
{
public:
    using PlayerBackupRestoreState::PlayerBackupRestoreState;
    PlayerStateKind kind() const override { return PlayerStateKind::Backuping; }
    bool runBackupOrRestore(const QString &path) override;
};

class PlayerRestoringState : public PlayerBackupRestoreState
{
public:
    using PlayerBackupRestoreState::PlayerBackupRestoreState;
    PlayerStateKind kind() const override { return PlayerStateKind::Restoring; }
    bool runBackupOrRestore(const QString &path) override;
};

// A new state object of `kind`.
PlayerState *makePlayerState(PlayerStateKind kind, PlayerPainter *painter);

// Holds one row's current state and its own copy of the row's record.
class PlayerContext
{
public:
    PlayerContext(PlayerState *state, const PlayerRecord &record, OrvPlayerModel *model);
    ~PlayerContext();
    PlayerContext(const PlayerContext &) = delete;
    PlayerContext &operator=(const PlayerContext &) = delete;

    void setState(PlayerState *state);
    void clearState();
    PlayerState *currentState() const { return state; }
    PlayerStateKind currentKind() const;

    // Moves to the state the transition table gives for `trigger`; false when the row ignores it.
    bool fire(PlayerTrigger trigger);

    // A status word from the emulator for this row's machine. Counts as the newest word (a pending
    // delayed stop is then void) and returns its serial; `delayedStop` tells whether the caller is to
    // apply a stop after the delay (with applyDelayedStop and that serial).
    quint64 onStatusWord(const QString &word, bool *delayedStop);
    // Applies a delayed stop unless a newer status word arrived since `serial`.
    bool applyDelayedStop(quint64 serial);
    quint64 statusSerial() const { return serial; }

    // True while a delete, backup, restore or copy of this row runs.
    bool isBusyWithOperation() const;

    const PlayerRecord &playerRecord() const { return record; }
    PlayerRecord &playerRecord() { return record; }
    OrvPlayerModel *playerModel() const { return model; }
    void setRecordTitle(const QString &title) { record.title = title; }
    void setRecordVm(const QString &vm) { record.vm = vm; }
    void setRecordSelected(bool selected) { record.selected = selected; }

    void paintCheckBox(QPainter *p, const QRect &r);
    void paintTitle(QPainter *p, const QRect &r, int editState);
    void paintStateLabel(QPainter *p, const QRect &r);
    void paintAction(QPainter *p, const QRect &r, int backupState, int deleteState, int shortcutState,
                     int buttonState);
    bool runDelete();
    void createDesktopLink();
    void recreateLinkIfPending();
    void queueForStart();
    void startNow();
    void onActionClicked();
    bool runBackupOrRestore(const QString &path);

private:
    PlayerState *state = nullptr;
    PlayerRecord record;
    OrvPlayerModel *model = nullptr;
    quint64 serial = 0;
};

} // namespace OrvMulti

Q_DECLARE_METATYPE(OrvMulti::PlayerRecord)
