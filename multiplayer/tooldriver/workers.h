#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <QThread>
#include <QVector>

#include <atomic>

namespace OrvMulti {

// Runs one batch at a time on a thread of its own. start() moves the object to that thread, whose
// started() runs the subclass's batch slot; the slot ends with finishBatch(), which brings the object
// back to the thread that started it, so that the next start can move it again. The thread's finished()
// reaches the subclass's finish slot, which announces the end when takeRunning() says a batch ran.
class BatchThreadAction : public QObject
{
    Q_OBJECT

public:
    ~BatchThreadAction() override;

    // Starts the batch; ignored while one runs.
    void start();
    bool isRunning() const { return running; }

protected:
    BatchThreadAction() = default;
    QThread *batchThread() { return &thread; }
    // Marks the batch running (on the batch thread, at its beginning).
    void beginBatch() { running = true; }
    // Moves the object back to the starting thread and ends the batch thread (on the batch thread).
    void finishBatch();
    // True, and the batch no longer running, when one was running (in the finish slot).
    bool takeRunning() { return running.exchange(false); }
    // Ends the batch thread once a running batch is through. A subclass calls it in its destructor,
    // while the members its batch reads are still there.
    void endBatchThread();

private:
    QThread thread;
    std::atomic_bool running{false};
    QThread *m_home = nullptr;
};

// Makes a batch of new instances one after another on its own thread. The main window fills source
// and titles before start() and leaves them alone while the batch runs.
class CreatingActionThreadAction : public BatchThreadAction
{
    Q_OBJECT

public:
    static constexpr int kAttemptsPerTitle = 5;

    CreatingActionThreadAction();
    ~CreatingActionThreadAction() override { endBatchThread(); }

    QString source;
    QStringList titles;

    // The error text of the last failed title, valid while FinishFailed is being handled and after.
    QString failureText() const;

signals:
    void BeginToCreate(int index);
    // The new machine's name travels with the success.
    void FinishSucceed(int index, QString vm);
    void FinishFailed(int index);
    void CreatingFinish();

public slots:
    void OnBeginToCreate();
    void OnCreatingFinish();

private:
    QString m_failureText;
};

// Walks the rows selected for a batch start on its own thread and tells the window, row by row, to
// queue and then start each one.
class StartPlayersThreadAction : public BatchThreadAction
{
    Q_OBJECT

public:
    StartPlayersThreadAction();
    ~StartPlayersThreadAction() override { endBatchThread(); }

    QVector<int> indexes;

signals:
    void WaitToStart(int row);
    void StartPlayerNow(int row);
    void StartFinish();

public slots:
    void OnBeginToStart();
    void OnStartFinish();
};

} // namespace OrvMulti
