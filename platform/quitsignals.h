#pragma once

#include <QObject>

class QSocketNotifier;

// Turns the signals that ask a program to end (SIGTERM, SIGINT, and SIGHUP when the desktop session
// ends) into a Qt signal on the thread that created the watcher. The handler only writes the signal
// number into a socket pair; the event loop reads it there. One watcher a process: a second one takes
// the handlers over.
class QuitSignals : public QObject
{
    Q_OBJECT

public:
    explicit QuitSignals(QObject *parent = nullptr);
    // Puts the default actions back.
    ~QuitSignals() override;

    bool isActive() const { return m_notifier != nullptr; }

signals:
    // Emitted once for every signal delivered (`signo` is SIGTERM, SIGINT or SIGHUP).
    void quitRequested(int signo);

private:
    void readPending();

    QSocketNotifier *m_notifier = nullptr;
};
