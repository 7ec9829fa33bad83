#include "testartefacts.h"

#include <QDir>

namespace TestArtefacts {

QString dir()
{
    const QString folder = QStringLiteral(ORV_TEST_ARTIFACTS_DIR);
    QDir().mkpath(folder);
    return folder;
}

QString path(const QString &fileName)
{
    return dir() + QLatin1Char('/') + fileName;
}

} // namespace TestArtefacts
