#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <QThread>
#include <QVector>

#include <atomic>

namespace OrvMulti {

// Makes a batch of new instances one after another on its own thread. The main window fills source
// and titles before start() and leaves them alone while the batch runs.
class CreatingActionThreadAction : public QObject
{
    Q_OBJECT

public:
    static constexpr int kAttemptsPerTitle = 5;

    CreatingActionThreadAction();
    ~CreatingActionThreadAction() override;

    QString source;
    QStringList titles;

    // Starts the batch; ignored while one runs.
    void start();
    bool isRunning() const { return running; }
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
    QThread thread;
    std::atomic_bool running{false};
    QThread *m_home = nullptr;
    QString m_failureText;
};

// Walks the rows selected for a batch start on its own thread and tells the window, row by row, to
// queue and then start each one.
class StartPlayersThreadAction : public QObject
{
    Q_OBJECT

public:
    StartPlayersThreadAction();
    ~StartPlayersThreadAction() override;

    QVector<int> indexes;

    void start();
    bool isRunning() const { return running; }

signals:
    void WaitToStart(int row);
    void StartPlayerNow(int row);
    void StartFinish();

public slots:
    void OnBeginToStart();
    void OnStartFinish();

private:
    QThread thread;
    std::atomic_bool running{false};
    QThread *m_home = nullptr;
};

} // namespace OrvMulti
