#pragma once

#include <QElapsedTimer>
#include <QList>
#include <QMap>
#include <QObject>
#include <QString>
#include <QTimer>

// The key-map downloads of one emulator: each starts the downloader program on its own and watches
// for its end without holding a thread (a short poll of the process while any runs). At most one per package
// at a time and at most kMaxRunning at once; further requests wait in the order they came, and a request for
// a package that already runs or waits is merged into that one (a burst of package reports starts each
// package once). A downloader that outlives kLimitMs is killed.
class KeyMapDownloads : public QObject
{
    Q_OBJECT

public:
    static constexpr int kMaxRunning = 2;
    static constexpr int kLimitMs = 60 * 1000;

    explicit KeyMapDownloads(QString program, QObject *parent = nullptr);
    ~KeyMapDownloads() override;

    // Asks for a download of `package`'s key map for machine `vm`; false when merged into one that
    // runs or waits already.
    bool request(const QString &vm, const QString &package);
    int running() const { return m_running.size(); }
    int waiting() const { return m_waiting.size(); }
    // The most downloaders that ran at the same time in this object's life.
    int peakRunning() const { return m_peak; }

signals:
    // The downloader of a package was started (or could not be).
    void started(const QString &package, bool ok);
    // It has ended (or was killed, or never started): its file may be there now.
    void finished(const QString &package);

private:
    struct Job
    {
        QString vm;
        QString package;
    };
    struct Run
    {
        qint64 pid = 0;
        QElapsedTimer clock;
    };
    void pump();
    void start(const Job &job);
    void poll();

    QString m_program;
    QList<Job> m_waiting;
    QMap<QString, Run> m_running; // by package
    QTimer m_poll;
    int m_peak = 0;
};
