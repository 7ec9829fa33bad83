#pragma once

#include "YeltDataReport.pb.h"

#include <QByteArray>
#include <QList>
#include <QString>

// One stored usage event as read back from the table DataReport.
struct DataReportRecord
{
    int id = 0;
    int types = 0; // 1: message is a CommonEventObject, 2: a CommonEventObjectEx
    QString datatime;
    QByteArray message;
    YeltProto::CommonEventObject event;     // parsed when types is 1
    YeltProto::CommonEventObjectEx eventEx; // parsed when types is 2
};

// The rows of the table DataReport in the instance database. Every operation does nothing while the
// database is not open. Each thread works on its own connection to the database file.
class DataReportDao
{
public:
    static constexpr int kTypeEvent = 1;
    static constexpr int kTypeEventEx = 2;

    // Stores one row; false when the database is closed or the insert failed (read-only, locked by
    // another writer beyond the busy time-out), with the reason in `error` when given.
    bool add(uint datatime, int types, const QByteArray &message, QString *error = nullptr);
    QList<DataReportRecord> findAll();
    // Drops the table and creates it again with its creation statement.
    void clearTable();
};
