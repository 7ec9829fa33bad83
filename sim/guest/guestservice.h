#pragma once

#include "guestscreen.h"

#include <QDateTime>
#include <QFileSystemWatcher>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>

class QTcpServer;
class QTcpSocket;

// What the simulated guest is told at start.
struct GuestConfig
{
    int vinputPort = 0;
    int pavixPort = 0;
    QString emuId;
    QString dir;
    int width = 720;
    int height = 1280;
    // Host folder of the machine's "picture" share, where screenshots land; empty when not shared.
    QString pictureShare;
    // Host folders of the "event" share (where the launcher writes its reply files) and of the "game"
    // share (where the host puts packages to install); empty when not shared.
    QString eventShare;
    QString gameShare;
};

// The guest's services: the input service (one connection at a time, "\n"-terminated lines, shell
// commands answered at once in one write), the launcher port (connections accepted and logged), the
// boot, and the screen picture.
class GuestService : public QObject
{
    Q_OBJECT

public:
    static constexpr const char *kLauncherPackage = "com.corvel.pavixtop";

    explicit GuestService(const GuestConfig &config, QObject *parent = nullptr);
    ~GuestService() override;

    // Makes the guest's folder when only the folder itself is missing; false when its parent is gone.
    bool prepareFolder() const;
    bool start();
    // Removes the picture and the pid file.
    void shutDown();

    // The answer to one shell command, as the guest writes it.
    QString shellReply(const QString &command);

    // The launcher's reply action codes that the stand-in writes itself.
    static constexpr int kActionAPKInstall = 5;
    static constexpr int kActionLaunchApp = 7;
    static constexpr int kActionPackageChanged = 9;

private:
    int control(const QString &key, int fallback) const;
    bool takeRequest(const QString &name);
    void listenInput();
    // Takes a "ports" request ("vinput=<port>", "pavix=<port>" lines) and listens there instead.
    void takePortsRequest();
    void onInputConnection();
    void onInputData();
    void handleLine(const QByteArray &line);
    // Writes a screenshot into the picture share and answers with its path, or waits while a shell
    // command's reply is outstanding.
    void answerScreenCap(const QString &name);
    void refuseFor(int ms);
    void logLine(const QString &file, const QString &text);
    void checkRequests();
    void schedulePublish();
    QString framePath() const;
    // One launcher connection's bytes, read to its end.
    void handleLauncherRequest(const QByteArray &bytes);
    void setForeground(const QString &package);
    // Writes one reply file into the event share, atomically (a hidden temporary file renamed into
    // place); `name` empty: the next "res_<n>" name.
    bool writeReply(const QByteArray &bytes, const QString &name = QString());
    void writeLauncherState();
    // The test control "reply": a reply file of any content.
    void takeReplyRequest();

    GuestConfig m_config;
    QTcpServer *m_inputServer = nullptr;
    QTcpServer *m_launcherServer = nullptr;
    QPointer<QTcpSocket> m_input;
    QByteArray m_pending;
    bool m_booted = false;
    bool m_shellOutstanding = false;
    // Screenshot names asked for while a shell reply was outstanding, answered after it.
    QStringList m_screenCapsWaiting;
    int m_screenCapCount = 0;
    // Test aid: every line received is copied at once to a local port (control mirror_port).
    QTcpSocket *m_mirror = nullptr;
    int m_psCount = 0;
    QDateTime m_started;
    GuestScreen m_screen;
    QVector<QPoint> m_touches;
    QFileSystemWatcher m_watcher;
    bool m_publishPending = false;
    QString m_foreground;
    QStringList m_installed;
    int m_replyCount = 0;
};
