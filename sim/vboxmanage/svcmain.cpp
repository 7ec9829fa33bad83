// Stand-in for VirtualBox's service program: records that it was started, then ends.
#include "simcalllog.h"

#include <QCoreApplication>
#include <QFileInfo>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QString name = QFileInfo(QCoreApplication::applicationFilePath()).fileName();
    const QString dir = SimCallLog::stateDir(QCoreApplication::applicationDirPath());
    return SimCallLog::append(dir, QStringLiteral("service.log"), name, app.arguments().mid(1)) ? 0 : 1;
}
