#include "datareportengine.h"

#include "global.h"
#include "logtags.h"
#include "reportbuilder.h"
#include "serverconfig.h"
#include "sqlitetool.h"
#include "uploadbody.h"
#include "uploadrequest.h"

#include <QDebug>

#include <QEventLoop>
#include <QMutexLocker>
#include <QNetworkReply>
#include <QSet>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>
#include <QTimer>
#include <algorithm>

namespace {

// Rows that an upload waiting for its reply carries. An upload that starts meanwhile (the timer
// during a slow reply, the quit upload) sends only the other rows, so no row travels twice and each
// reply decides only about the rows of its own request. GUI thread only.
QSet<int> rowsInFlight;

// Rows the server accepted but that could not be deleted (read-only file or folder, full disk). They
// are never sent again by this process; each upload tries to delete them once more. GUI thread only.
QSet<int> rowsAccepted;

// The longest wait of the quit's upload for events still being stored.
constexpr int kQuitStoreWaitMs = 2000;

// Deletes exactly the given rows; rows stored since the report was built stay for the next upload.
bool removeRows(const QList<int> &ids)
{
    if (ids.isEmpty() || !SQLiteTool::instance().ensureOpen())
        return true;
    QStringList numbers;
    for (int id : ids)
        numbers << QString::number(id);
    QMutexLocker locker(&SQLiteTool::lock());
    QSqlQuery query(SQLiteTool::database());
    if (!query.exec(
            QStringLiteral("delete from DataReport where id in (%1)").arg(numbers.join(QLatin1Char(','))))) {
        qWarning().noquote() << ORV_LOG_DATAREPORTDAO "remove sent rows failed " << query.lastError().text();
        return false;
    }
    qDebug() << ORV_LOG_DATAREPORTDAO "removed sent rows " << query.numRowsAffected();
    return true;
}

} // namespace

void DataReportEngine::uploadData()
{
    DataReportEngine *engine = instance();
    if (!SQLiteTool::instance().ensureOpen() || !engine->m_enabled)
        return;
    if (!engine->m_started) {
        qWarning() << ORV_LOG_DATAREPORT "upload before init, events kept";
        return;
    }

    if (!rowsAccepted.isEmpty() && removeRows(rowsAccepted.values()))
        rowsAccepted.clear();

    QList<DataReportRecord> records = engine->m_dao.findAll();
    records.erase(std::remove_if(records.begin(), records.end(),
                                 [](const DataReportRecord &record) {
                                     return rowsInFlight.contains(record.id) ||
                                            rowsAccepted.contains(record.id);
                                 }),
                  records.end());
    if (records.isEmpty())
        return;
    const BuiltReport built = ReportBuilder::build(records, ReportIdentity::current());
    if (built.isEmpty())
        return; // only unreadable rows: nothing to send

    const QList<int> carried = built.sentIds + built.unreadableIds;
    for (int id : carried)
        rowsInFlight.insert(id);
    const QByteArray body =
        UploadBody::encode(ReportBuilder::serialise(built.report), UploadBody::kReportKey);
    // The quit sequence waits for this upload; it gets the shorter bound.
    const int timeoutMs = appQuittingFlag
                              ? qMin(ServerConfig::replyTimeoutMs(), ServerConfig::quitReplyTimeoutMs())
                              : ServerConfig::replyTimeoutMs();
    const UploadReply reply = UploadRequest::post(engine->networkManager(), ServerConfig::reportUrl(), body,
                                                  timeoutMs, &engine->m_currentReply);
    for (int id : carried)
        rowsInFlight.remove(id);

    if (reply.accepted) {
        qInfo() << ORV_LOG_DATAREPORT "upload success";
        // Unreadable rows can never be sent; they go with the accepted report instead of lingering.
        if (!removeRows(carried)) {
            for (int id : carried)
                rowsAccepted.insert(id);
            qWarning() << ORV_LOG_DATAREPORT "accepted rows stay in the database; they are not sent again:"
                       << carried.size();
        }
    } else {
        qInfo() << ORV_LOG_DATAREPORT "upload failed";
        if (!reply.transferOk)
            qDebug().noquote() << ORV_LOG_DATAREPORT "upload error " << reply.error;
    }
}

void DataReportEngine::uploadNow()
{
    DataReportEngine *engine = instance();
    // The quit's own events (its running time) are still on their way to the table.
    waitForPendingStores(kQuitStoreWaitMs);
    // An upload that still waits for its reply (the timer's) is let finish: cut off by the end of the
    // event loop, its rows would stay although the server has them, and arrive a second time.
    QNetworkReply *inFlight = engine->m_currentReply.data();
    if (inFlight && !inFlight->isFinished()) {
        qDebug() << ORV_LOG_DATAREPORT "waiting for the upload in flight";
        QEventLoop loop;
        QTimer bound;
        bound.setSingleShot(true);
        QObject::connect(inFlight, &QNetworkReply::finished, &loop, &QEventLoop::quit);
        QObject::connect(&bound, &QTimer::timeout, &loop, &QEventLoop::quit);
        bound.start(qMin(ServerConfig::replyTimeoutMs(), ServerConfig::quitReplyTimeoutMs()));
        loop.exec();
    }
    engine->uploadData();
}

void DataReportEngine::uploadCrashLog(const QString &kind, const QString &text)
{
    DataReportEngine *engine = instance();
    if (!engine->m_started) {
        qInfo() << ORV_LOG_DATAREPORT "upload failed";
        qDebug() << ORV_LOG_DATAREPORT "log upload before init";
        return;
    }
    const QUrl url =
        kind == QLatin1String("CRASHLOG") ? ServerConfig::crashLogUrl() : ServerConfig::runLogUrl();
    const QByteArray body = UploadBody::encode(UploadBody::logPayload(text), UploadBody::kLogKey);
    const UploadReply reply = UploadRequest::post(engine->networkManager(), url, body,
                                                  ServerConfig::replyTimeoutMs(), &engine->m_currentReply);
    qDebug().noquote() << ORV_LOG_DATAREPORTENGINE "upload crash " << QString::fromUtf8(reply.body);
    if (reply.accepted)
        qInfo() << ORV_LOG_DATAREPORT "upload success";
    else
        qInfo() << ORV_LOG_DATAREPORT "upload failed";
}
