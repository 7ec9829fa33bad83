#pragma once

#include "playerstate.h"
#include "vmrecord.h"

#include <QList>
#include <QTableView>

#include <functional>

namespace OrvMulti {

class OrvPlayerItemDelegate;
class OrvPlayerModel;

// The instance list of the main window. Loads the instances on the global thread pool and shows them
// through OrvPlayerModel and OrvPlayerItemDelegate.
class OrvPlayerTableView : public QTableView
{
    Q_OBJECT

public:
    static constexpr int RowHeight = 64;
    // Above this many rows the vertical scroll bar shows and the right margin shrinks.
    static constexpr int RowsWithoutScrollBar = 6;
    static const char *const NarrowMargin;
    static const char *const WideMargin;

    // What the list load fetches from the VM tool; a test may replace it. Runs on a pool thread.
    using Loader = std::function<VmRecordMap()>;

    explicit OrvPlayerTableView(QWidget *parent = nullptr, Loader loader = Loader());
    ~OrvPlayerTableView() override;

    OrvPlayerModel *playerModel() const { return model; }
    OrvPlayerItemDelegate *playerDelegate() const { return delegate; }
    const QList<PlayerRecord *> &playerRecords() const;
    bool isLoaded() const { return loaded; }

    void appendRecords(const QList<PlayerRecord *> &list);
    void removeRow(int row);
    void selectAll(bool selected);
    void setRowVm(int row, const QString &vm);

    // The list load's work: the VM tool's records, asked up to four times until it answers.
    static VmRecordMap initVMList();

signals:
    void removePlayerSignal(int row);
    void setViewPadding(bool narrow);
    // The list load has finished and its rows are in the model.
    void loadFinished();

public slots:
    void removeSlot(int row);
    void setViewPaddingSlot(bool narrow);

private:
    void addLoadedRecords(const VmRecordMap &map);

    OrvPlayerItemDelegate *delegate = nullptr;
    OrvPlayerModel *model = nullptr;
    bool loaded = false;
};

} // namespace OrvMulti
