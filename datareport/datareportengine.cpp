#include "datareportengine.h"

#include "global.h"
#include "logtags.h"
#include "serverconfig.h"
#include "sqlitetool.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDebug>
#include <QElapsedTimer>
#include <QMutexLocker>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSslError>
#include <QThreadPool>
#include <QTimerEvent>
#include <QWaitCondition>

#include <atomic>

namespace {

std::atomic<DataReportEngine *> engineInstance{nullptr};
QMutex engineMutex;

// Store tasks handed to the pool and not finished yet; the quit's upload waits for them.
// pendingMutex guards pendingStores together with pendingDone.
QMutex pendingMutex;
QWaitCondition pendingDone;
int pendingStores = 0;

// Runs `store` on the global pool, counted as pending until it has finished.
template <typename Store> void startStore(Store store)
{
    {
        QMutexLocker locker(&pendingMutex);
        ++pendingStores;
    }
    QThreadPool::globalInstance()->start([store] {
        store();
        QMutexLocker locker(&pendingMutex);
        if (--pendingStores == 0)
            pendingDone.wakeAll();
    });
}

QByteArray serialise(const google::protobuf::MessageLite &message)
{
    const std::string bytes = message.SerializePartialAsString();
    return QByteArray(bytes.data(), static_cast<int>(bytes.size()));
}

} // namespace

DataReportEngine *DataReportEngine::instance()
{
    DataReportEngine *engine = engineInstance.load(std::memory_order_acquire);
    if (engine)
        return engine;
    QMutexLocker locker(&engineMutex);
    engine = engineInstance.load(std::memory_order_relaxed);
    if (!engine) {
        engine = new DataReportEngine;
        engineInstance.store(engine, std::memory_order_release);
        // Deleted when the application object goes away, after the global pool has finished its
        // pending store tasks.
        qAddPostRoutine([] { delete engineInstance.exchange(nullptr); });
    }
    return engine;
}

DataReportEngine::DataReportEngine()
{
    // The upload timer and the network access manager belong to the GUI thread, whichever thread
    // happens to use the engine first.
    if (QCoreApplication::instance() && thread() != QCoreApplication::instance()->thread())
        moveToThread(QCoreApplication::instance()->thread());
    qDebug() << ORV_LOG_DATAREPORTENGINE "is open " << m_enabled;
}

DataReportEngine::~DataReportEngine() = default;

void DataReportEngine::init()
{
    DataReportEngine *engine = instance();
    qInfo() << ORV_LOG_DATAREPORTENGINE "init ";
    if (!engine->m_enabled)
        return;
    if (engine->m_started)
        return;
    engine->m_started = true;
    engine->m_uploadTimer = engine->startTimer(ServerConfig::uploadIntervalMs(), Qt::CoarseTimer);
    // The host's report code is known only after the system information was gathered; before that it
    // is 0 and would, as the first value of "systemVer", shadow the start-up's own entry for good.
    if (Global::subPlatform != 0)
        sysMsg(QStringLiteral("systemVer"), QString::number(Global::subPlatform));
    qInfo() << ORV_LOG_DATAREPORTENGINE "init ok";
}

QNetworkAccessManager *DataReportEngine::networkManager()
{
    if (!m_networkManager) {
        m_networkManager = new QNetworkAccessManager(this);
        connect(m_networkManager, &QNetworkAccessManager::sslErrors, this,
                [](QNetworkReply *, const QList<QSslError> &errors) {
                    for (const QSslError &error : errors)
                        qWarning() << ORV_LOG_DATAREPORTENGINE "net manage error  " << error.errorString();
                });
    }
    return m_networkManager;
}

void DataReportEngine::timerEvent(QTimerEvent *event)
{
    if (event->timerId() == m_uploadTimer)
        uploadData();
    else
        QObject::timerEvent(event);
}

bool DataReportEngine::canReport()
{
    // A database that could not be opened yet is tried again by the store task itself.
    return SQLiteTool::instance().wasRequested() && instance()->m_enabled;
}

void DataReportEngine::report(int eventKey)
{
    if (!canReport())
        return;
    qDebug() << ORV_LOG_DATAREPORT "report key : " << eventKey;
    startStore([eventKey] { storeEvent(eventKey); });
}

void DataReportEngine::report(int eventKey, const QString &dataKey, const QString &dataValue)
{
    if (!canReport())
        return;
    QMap<QString, QString> maps;
    maps.insert(dataKey, dataValue);
    qDebug() << ORV_LOG_DATAREPORT "report map : " << eventKey << " mapValue : " << dataValue;
    startStore([eventKey, maps] { storeEventEx(eventKey, maps); });
}

void DataReportEngine::report(int eventKey, const QMap<QString, QString> &maps)
{
    if (!canReport())
        return;
    for (auto it = maps.cbegin(); it != maps.cend(); ++it)
        qDebug() << ORV_LOG_DATAREPORT "report maps : " << it.key() << " mapValue : " << it.value();
    startStore([eventKey, maps] { storeEventEx(eventKey, maps); });
}

bool DataReportEngine::waitForPendingStores(int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    QMutexLocker locker(&pendingMutex);
    while (pendingStores > 0) {
        const qint64 left = timeoutMs - clock.elapsed();
        if (left <= 0 || !pendingDone.wait(&pendingMutex, static_cast<unsigned long>(left)))
            break;
    }
    if (pendingStores > 0) {
        qWarning() << ORV_LOG_DATAREPORT "events still being stored after" << timeoutMs
                   << "ms:" << pendingStores;
        return false;
    }
    return true;
}

void DataReportEngine::reportSysMsg(int eventKey)
{
    report(eventKey, sysMsgMap());
}

void DataReportEngine::sysMsg(const QString &key, const QString &value)
{
    DataReportEngine *engine = instance();
    QMutexLocker locker(&engine->m_sysMsgMutex);
    if (engine->m_sysMsg.contains(key))
        return;
    engine->m_sysMsg.insert(key, value);
    qDebug() << ORV_LOG_GLOBAL "sysMsg " << key << "    " << value;
}

QMap<QString, QString> DataReportEngine::sysMsgMap()
{
    DataReportEngine *engine = instance();
    QMutexLocker locker(&engine->m_sysMsgMutex);
    return engine->m_sysMsg;
}

void DataReportEngine::storeEvent(int eventKey)
{
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    YeltProto::CommonEventObject event;
    event.set_timestamp(static_cast<quint64>(now));
    event.set_eventkey(static_cast<quint32>(eventKey));
    storeRow(eventKey, static_cast<uint>(now), DataReportDao::kTypeEvent, serialise(event));
}

void DataReportEngine::storeEventEx(int eventKey, const QMap<QString, QString> &maps)
{
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    if (maps.isEmpty())
        return;
    YeltProto::CommonEventObjectEx event;
    event.set_timestamp(static_cast<quint64>(now));
    event.set_eventkey(static_cast<quint32>(eventKey));
    for (auto it = maps.cbegin(); it != maps.cend(); ++it) {
        YeltProto::BaseEventMap *entry = event.add_eventmaps();
        entry->set_datakey(it.key().toStdString());
        entry->set_datavalue(it.value().toStdString());
    }
    storeRow(eventKey, static_cast<uint>(now), DataReportDao::kTypeEventEx, serialise(event));
}

void DataReportEngine::storeRow(int eventKey, uint time, int types, const QByteArray &message)
{
    // An event that cannot be stored is lost for the report: the user sees which one and why.
    QString error;
    if (!instance()->m_dao.add(time, types, message, &error))
        qWarning().noquote()
            << QStringLiteral(ORV_LOG_DATAREPORT "event %1 not stored: %2").arg(eventKey).arg(error);
}
