// OrvantaU: started by the uninstaller from the program folder. While an emulator runs it shows a
// notice and starts nothing; otherwise it starts a copy of the updater to uninstall and ends at once.

#include "orvantauninstall.h"
#include "translations.h"
#include "uninstallguard.h"
#include "utilitylog.h"

#include <QApplication>
#include <QDebug>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    UtilityLog::install(QStringLiteral("OrvantaU"));
    // No translation file is installed for this program: its own English texts.
    Translations::install(QStringLiteral(":/translations/orvantau_en.qm"));

    if (!UninstallGuard::findProcessThreads(QLatin1String(UninstallGuard::kEmulatorProgram)).isEmpty()) {
        qInfo() << "UnInstall : an emulator is running; showing the notice, no uninstall";
        OrvantaUnInstall notice;
        notice.show();
        return app.exec();
    }
    UninstallGuard::startUninstall(QCoreApplication::applicationDirPath());
    return 0;
}
