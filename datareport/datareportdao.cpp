#include "datareportdao.h"

#include "logtags.h"
#include "sqlitetool.h"

#include <QDebug>
#include <QMutexLocker>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

bool DataReportDao::add(uint datatime, int types, const QByteArray &message, QString *error)
{
    if (!SQLiteTool::instance().ensureOpen()) {
        if (error)
            *error = QStringLiteral("the database is not open");
        return false;
    }
    QMutexLocker locker(&SQLiteTool::lock());
    QSqlQuery query(SQLiteTool::database());
    query.prepare(QStringLiteral("insert into DataReport(types, datatime, message) values (?, ?, ?)"));
    query.addBindValue(types);
    query.addBindValue(static_cast<qlonglong>(datatime));
    query.addBindValue(message);
    if (!query.exec()) {
        qDebug() << ORV_LOG_DATAREPORTDAO "add " << query.lastError().text();
        if (error)
            *error = query.lastError().text();
        return false;
    }
    qDebug() << ORV_LOG_DATAREPORTDAO "add ok ";
    return true;
}

QList<DataReportRecord> DataReportDao::findAll()
{
    QList<DataReportRecord> records;
    if (!SQLiteTool::instance().ensureOpen())
        return records;
    QMutexLocker locker(&SQLiteTool::lock());
    QSqlQuery query(SQLiteTool::database());
    if (!query.exec(QStringLiteral("select * from DataReport"))) {
        qDebug() << ORV_LOG_DATAREPORTDAO "findAll err " << query.lastError().text();
        return records;
    }
    while (query.next()) {
        DataReportRecord record;
        record.id = query.value(0).toInt();
        record.types = query.value(1).toInt();
        record.datatime = query.value(2).toString();
        record.message = query.value(3).toByteArray();
        if (!record.message.isEmpty()) {
            // A message that does not parse leaves the record's event empty or partly filled.
            if (record.types == kTypeEvent)
                record.event.ParseFromArray(record.message.constData(), record.message.size());
            else if (record.types == kTypeEventEx)
                record.eventEx.ParseFromArray(record.message.constData(), record.message.size());
        }
        records.append(record);
    }
    qDebug() << ORV_LOG_DATAREPORTDAO "findAll success, size " << records.size();
    return records;
}

void DataReportDao::clearTable()
{
    if (!SQLiteTool::instance().ensureOpen())
        return;
    QMutexLocker locker(&SQLiteTool::lock());
    QSqlQuery query(SQLiteTool::database());
    if (query.exec(QStringLiteral("drop table DataReport")))
        qDebug() << ORV_LOG_DATAREPORTDAO "drop table ok";
    if (query.exec(QString::fromLatin1(SQLiteTool::kDataReportTable)))
        qDebug() << ORV_LOG_DATAREPORTDAO "create table ok";
}
