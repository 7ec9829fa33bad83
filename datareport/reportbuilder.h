#pragma once

#include "YeltDataReport.pb.h"
#include "datareportdao.h"

#include <QList>
#include <QString>

// Who sends the report: the values of the report's user record.
struct ReportIdentity
{
    QString uuid;      // the installation's identifier
    QString version;   // product version
    QString channelId; // installation channel as text; sent as a decimal number, 0 when it is none
    int subPlatform = 0;

    // The values of the running program (Global).
    static ReportIdentity current();
};

// A report built from stored rows, with the ids of the rows it carries and of those it cannot carry.
struct BuiltReport
{
    YeltProto::RequestDataReport report;
    QList<int> sentIds;       // rows whose events are in the report
    QList<int> unreadableIds; // rows of an unknown kind or with an event that does not parse
    bool isEmpty() const { return sentIds.isEmpty(); }
};

namespace ReportBuilder {

// The sender's user record, as every upload to the maker's servers fills it (the report, the feedback).
void fillUserInfo(YeltProto::UserInfo *user, const ReportIdentity &identity);

// One report with every readable row, in table order: events without data to commonEvents, events
// with data to commonExEvents. A row that cannot be read is left out (and logged), so that it never
// spoils the report of all the others.
BuiltReport build(const QList<DataReportRecord> &records, const ReportIdentity &identity);

// The report's bytes in the protobuf wire format.
QByteArray serialise(const YeltProto::RequestDataReport &report);

} // namespace ReportBuilder
