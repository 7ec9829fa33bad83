#pragma once

#include <QList>
#include <QObject>
#include <QSet>
#include <QString>

// The key-map downloads of one emulator: each runs the downloader program to its end on a pool thread.
// At most one per package at a time and at most kMaxRunning at once; further requests wait in the
// order they came, and a request for a package that already runs or waits is merged into that one (a
// burst of package reports starts each package once). A downloader that outlives kLimitMs is killed.
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
    void pump();
    void start(const Job &job);
    void onEnded(const QString &package, bool ok);

    QString m_program;
    QList<Job> m_waiting;
    QSet<QString> m_running;
    int m_peak = 0;
};
