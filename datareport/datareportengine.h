#pragma once

#include "datareportdao.h"

#include <QMap>
#include <QMutex>
#include <QObject>
#include <QPointer>
#include <QString>

class QNetworkAccessManager;
class QNetworkReply;

// The process-wide usage reporting. Callers hand it an event identifier (ReportEvent), optionally with
// key/value data, and return at once; a task on the global thread pool stores the event as one row of
// the table DataReport. Stored rows are sent by uploadData every 300 seconds and at quit.
class DataReportEngine : public QObject
{
    Q_OBJECT

public:
    static DataReportEngine *instance();

    // Starts the engine: network access manager, the 300-second upload timer, the "systemVer" entry.
    static void init();

    static void report(int eventKey);
    static void report(int eventKey, const QString &dataKey, const QString &dataValue);
    static void report(int eventKey, const QMap<QString, QString> &maps);
    // Stores the event with the whole system-information map.
    static void reportSysMsg(int eventKey);
    // Sets one entry of the system-information map; the first value of a key stays.
    static void sysMsg(const QString &key, const QString &value);
    // A copy of the system-information map.
    static QMap<QString, QString> sysMsgMap();

    // The quit's upload: waits (bounded) for the events still being stored and for an upload that
    // still waits for its reply, then sends the stored events and returns when the request has finished.
    static void uploadNow();
    // Waits until every event handed to the pool is stored, at most `timeoutMs`; false on time-out.
    static bool waitForPendingStores(int timeoutMs);
    // Sends a log text: kind "CRASHLOG" to the crash-log endpoint, any other kind to the run-log one.
    static void uploadCrashLog(const QString &kind, const QString &text);

    bool isEnabled() const { return m_enabled; }
    // Whether init() has run: the uploads wait for it.
    bool isStarted() const { return m_started; }
    // The uploads' network access, made on the first upload: building it starts Qt's network
    // configuration thread and loads its plug-ins, which the start-up does not wait for.
    QNetworkAccessManager *networkManager();
    DataReportDao &dao() { return m_dao; }

    ~DataReportEngine() override;

public slots:
    // One upload attempt of the stored events.
    void uploadData();

protected:
    void timerEvent(QTimerEvent *event) override;

private:
    DataReportEngine();

    static void storeEvent(int eventKey);
    static void storeEventEx(int eventKey, const QMap<QString, QString> &maps);
    static void storeRow(int eventKey, uint time, int types, const QByteArray &message);
    static bool canReport();

    DataReportDao m_dao;
    bool m_enabled = true;
    bool m_started = false;
    QNetworkAccessManager *m_networkManager = nullptr;
    QPointer<QNetworkReply> m_currentReply;
    int m_uploadTimer = 0;
    QMap<QString, QString> m_sysMsg;
    QMutex m_sysMsgMutex;
};
