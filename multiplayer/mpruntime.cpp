#include "mpruntime.h"

#include "paths.h"

#include <QFile>

#include <sys/un.h>

namespace OrvMulti {

QString channelPath(const QString &key, QString *problem)
{
    const QString dir = Platform::privateRuntimeDir(problem);
    if (dir.isEmpty())
        return QString();
    const QString path = dir + QLatin1Char('/') + key;
    if (QFile::encodeName(path).size() >= static_cast<int>(sizeof(sockaddr_un::sun_path))) {
        if (problem)
            *problem = QStringLiteral("the manager channel path %1 is too long for a local socket").arg(path);
        return QString();
    }
    return path;
}

} // namespace OrvMulti
