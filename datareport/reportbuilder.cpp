#include "reportbuilder.h"

#include "global.h"
#include "logtags.h"

#include <QDebug>

ReportIdentity ReportIdentity::current()
{
    ReportIdentity identity;
    identity.uuid = Global::systemInfo.installUuid;
    identity.version = Global::systemInfo.productVersion.isEmpty() ? Global::installInfo.productVersion
                                                                   : Global::systemInfo.productVersion;
    identity.channelId = Global::installInfo.channelId;
    identity.subPlatform = Global::subPlatform;
    return identity;
}

namespace ReportBuilder {

namespace {

constexpr int kRequestId = 101;
constexpr int kServerId = 1;

bool parses(google::protobuf::MessageLite &message, const QByteArray &bytes)
{
    // The stored event must parse completely; an empty or partial one lacks required fields.
    return !bytes.isEmpty() && message.ParseFromArray(bytes.constData(), bytes.size()) &&
           message.IsInitialized();
}

} // namespace

void fillUserInfo(YeltProto::UserInfo *user, const ReportIdentity &identity)
{
    user->set_uuid(identity.uuid.toStdString());
    user->set_productid(YeltProto::PI_ORVANTA);
    user->set_version(identity.version.toStdString());
    bool numeric = false;
    const int channel = identity.channelId.trimmed().toInt(&numeric, 10);
    user->set_channelid(numeric ? channel : 0);
    user->set_platformtype(YeltProto::PT_win);
    // A code the schema does not know goes out as "none".
    user->set_subplatform(YeltProto::SubPlatform_IsValid(identity.subPlatform)
                              ? static_cast<YeltProto::SubPlatform>(identity.subPlatform)
                              : YeltProto::SPT_None);
}

BuiltReport build(const QList<DataReportRecord> &records, const ReportIdentity &identity)
{
    BuiltReport built;
    YeltProto::RequestDataReport &report = built.report;

    fillUserInfo(report.mutable_userinfo(), identity);

    YeltProto::RequestBase *base = report.mutable_requestbase();
    base->set_requestid(kRequestId);
    base->set_serverid(kServerId);
    base->set_requestfunction(GlobalText::kReportRequestName);

    for (const DataReportRecord &record : records) {
        bool added = false;
        if (record.types == DataReportDao::kTypeEvent) {
            YeltProto::CommonEventObject event;
            if (parses(event, record.message)) {
                *report.add_commonevents() = event;
                added = true;
            }
        } else if (record.types == DataReportDao::kTypeEventEx) {
            YeltProto::CommonEventObjectEx event;
            if (parses(event, record.message)) {
                *report.add_commonexevents() = event;
                added = true;
            }
        }
        if (added) {
            built.sentIds.append(record.id);
        } else {
            qWarning().noquote() << ORV_LOG_DATAREPORT "unreadable row" << record.id << "of kind"
                                 << record.types << "left out of the report";
            built.unreadableIds.append(record.id);
        }
    }
    return built;
}

QByteArray serialise(const YeltProto::RequestDataReport &report)
{
    const std::string bytes = report.SerializeAsString();
    return QByteArray(bytes.data(), static_cast<int>(bytes.size()));
}

} // namespace ReportBuilder
