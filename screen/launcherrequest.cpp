#include "launcherrequest.h"

#include "pavixconnection.h"

namespace LauncherRequest {

QByteArray encode(int action, const QString &data)
{
    return PavixConnection::requestBytes(action, data);
}

void send(int action, const QString &data)
{
    PavixConnection::instance().sendMsgToPavixSync(static_cast<PavixConnection::Action>(action), data);
}

} // namespace LauncherRequest
