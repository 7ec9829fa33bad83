#pragma once

#include "basedialog.h"
#include "orvplayertableview.h"
#include "workers.h"

#include <QMap>
#include <QVector>

#include <memory>

namespace Ui {
class MultiPlayerManagerDialog;
}

namespace OrvMulti {

class PlayerContext;

// The instance manager's window: the instance list under a title bar, and a bottom bar with "select
// all", "crate now" (copy an instance into new ones) and "start now" (start the checked instances one
// after another). Turns the status messages of the emulator instances into row states, handles the
// results of the creation worker and the batch starter, and refuses to close while instances are
// being created, backed up, restored or deleted.
//
// Rows are followed by their contexts, never by remembered row numbers: a result that arrives after its
// row has gone is dropped.
class MultiPlayerManagerDialog : public BaseDialog
{
    Q_OBJECT

public:
    // The machine a copy of the base image is made from.
    static const char *const BaseVm;

    explicit MultiPlayerManagerDialog(QWidget *parent = nullptr,
                                      OrvPlayerTableView::Loader loader = OrvPlayerTableView::Loader());
    ~MultiPlayerManagerDialog() override;

    OrvPlayerTableView *playerView() const { return view; }
    bool isCreating() const { return !creationRows.isEmpty(); }
    bool isStarting() const { return !startRows.isEmpty(); }

public slots:
    void createPlayersrRcursively(const QString &titleSel, int creatCount);
    void createPlayers();
    void startPlayers();
    void selectAll(bool checked);
    void BeginToCreateSlot(int index);
    void FinishSucceedSlot(int index, const QString &vm);
    void FinishFailedSlot(int index);
    void StartFinishSlot();
    void CreatingFinishSlot();
    void StartNextPlayer(const QString &vm);
    void ChangeStatus(const QString &vm, const QString &status);
    void handleNewConnect(const QString &msg);
    void bringToFront();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    int rowOf(PlayerContext *context) const;

    std::unique_ptr<Ui::MultiPlayerManagerDialog> ui;
    OrvPlayerTableView *view = nullptr;
    // The row of each title of the creation under way, in the order of the titles.
    QVector<PlayerContext *> creationRows;
    // The rows handed to the batch starter by machine name (-1: already started).
    QMap<QString, int> startRows;
    // The row being copied while a creation runs.
    PlayerContext *copySource = nullptr;
    CreatingActionThreadAction creator;
    StartPlayersThreadAction starter;
};

} // namespace OrvMulti
