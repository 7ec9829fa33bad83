// OrvClear: started detached by a crashed emulator with its machine name, the VirtualBox tool's path,
// its process id and a number of seconds to wait; see ClearData.

#include "cleardata.h"
#include "machinename.h"
#include "utilitylog.h"

#include <QCoreApplication>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    UtilityLog::install(QStringLiteral("OrvClear"));
    ClearData clear;
    clear.parse(QCoreApplication::arguments());
    if (isValidMachineName(clear.vm()))
        UtilityLog::setTag(clear.vm());
    return clear.run();
}
