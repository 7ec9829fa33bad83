#include "feedbackrequest.h"

#include "YeltBaseAPI.pb.h"
#include "YeltPBBase.pb.h"
#include "reportbuilder.h"
#include "uploadbody.h"

#include <QRegularExpression>

namespace FeedbackRequest {

namespace {
const char *const kEmail = "[a-zA-Z0-9\\-_\\+\\.]+@[a-zA-Z0-9]+(\\.[a-zA-Z0-9]+)+";
const char *const kQQ = "[1-9][0-9]{4,10}";
// 11 digits; 7 or 8 digits; area code of 3 or 4 digits, "-", 7 or 8 digits and an optional "-" with an
// extension of 1 to 4 digits; 7 or 8 digits, "-" and an extension.
const char *const kPhone = "[0-9]{11}|[0-9]{7,8}|[0-9]{3,4}-[0-9]{7,8}(-[0-9]{1,4})?|[0-9]{7,8}-[0-9]{1,4}";

bool matchesWhole(const char *pattern, const QString &text)
{
    const QRegularExpression re(QStringLiteral("^(?:%1)$").arg(QLatin1String(pattern)));
    return re.match(text).hasMatch();
}
} // namespace

ContactKind contactKind(const QString &contact)
{
    if (matchesWhole(kEmail, contact))
        return Email;
    if (matchesWhole(kQQ, contact))
        return QQ;
    if (matchesWhole(kPhone, contact))
        return Phone;
    return NoContact;
}

QString validatorPattern()
{
    return QStringLiteral("^(?:%1|%2|%3)$")
        .arg(QLatin1String(kEmail), QLatin1String(kQQ), QLatin1String(kPhone));
}

QByteArray payload(const QString &text, const QString &contact, ContactKind kind,
                   const ReportIdentity &identity)
{
    YeltProto::YeltBaseAPIProto proto;
    proto.set_result(0);
    proto.set_subcmd(YeltProto::SUBCMD_YeltBaseAPIProto_FEEDBACKREQ);
    YeltProto::YeltBaseAPIReq *request = proto.mutable_baseapi_req();
    ReportBuilder::fillUserInfo(request->mutable_user_info(), identity);
    request->set_details(text.toStdString());
    const std::string contactBytes = contact.toStdString();
    switch (kind) {
    case Phone:
        request->set_phonenumber(contactBytes);
        break;
    case QQ:
        request->set_qqnumber(contactBytes);
        break;
    case Email:
        request->set_emailaddress(contactBytes);
        break;
    case NoContact:
        break;
    }

    YeltProto::YeltUnityCSPkg package;
    package.set_result(0);
    YeltProto::YeltUnityCSPkgHead *head = package.mutable_head();
    head->set_cmd(YeltProto::CMD_YeltBaseAPIProto);
    head->set_uin(0);
    head->set_requesttype(YeltProto::RT_User);
    ReportBuilder::fillUserInfo(head->mutable_user_info(), identity);
    package.set_body(proto.SerializeAsString());
    const std::string bytes = package.SerializeAsString();
    return QByteArray(bytes.data(), static_cast<int>(bytes.size()));
}

QByteArray body(const QString &text, const QString &contact, ContactKind kind, const ReportIdentity &identity)
{
    return UploadBody::encode(payload(text, contact, kind, identity), QByteArray(UploadBody::kReportKey));
}

} // namespace FeedbackRequest
