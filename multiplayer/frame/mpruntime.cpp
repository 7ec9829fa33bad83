#include "mpruntime.h"

#include "localchannel.h"

namespace OrvMulti {

QString channelPath(const QString &key, QString *problem)
{
    return Platform::localChannelPath(key, QStringLiteral("manager channel"), problem);
}

} // namespace OrvMulti
