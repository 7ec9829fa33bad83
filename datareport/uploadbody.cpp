#include "uploadbody.h"

#include "base64.h"
#include "xxtea.h"

#include <string>

namespace UploadBody {

const char kReportKey[] = "k7@Lw!q2#Zp9&Rt4";
const char kLogKey[] = "Tq3$vN)8mE&xW2j";

QByteArray encode(const QByteArray &payload, const QByteArray &key)
{
    if (payload.isEmpty())
        return QByteArray();
    const std::string enciphered = encryptString(key.toStdString(), payload.toStdString());
    const std::string text = base64Encode(enciphered);
    return QByteArray(text.data(), static_cast<int>(text.size()));
}

QByteArray logPayload(const QString &text)
{
    const QByteArray bytes = text.toUtf8();
    const int zero = bytes.indexOf('\0');
    return zero < 0 ? bytes : bytes.left(zero);
}

bool isAccepted(bool transferOk, const QByteArray &replyBody)
{
    return transferOk && replyBody.contains('1');
}

} // namespace UploadBody
