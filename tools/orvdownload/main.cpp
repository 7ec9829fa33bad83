// OrvDownload: started detached by the emulator with "-type=pkg", "-vm=<machine>" and "-pkg=<package>"
// when a package in the foreground has no key-map file; see KeyMapDownloader.

#include "keymapdownloader.h"
#include "keymapfile.h"
#include "utilitylog.h"

#include "paths.h"

#include <QCoreApplication>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Halvora"));
    QCoreApplication::setOrganizationDomain(QStringLiteral("halvora.example"));
    QCoreApplication::setApplicationName(QStringLiteral("Orvanta"));
    Platform::initSettingsPaths();
    UtilityLog::install(QStringLiteral("OrvDownload"));
    KeyMapDownloader downloader;
    downloader.parse(QCoreApplication::arguments());
    if (KeyMapFile::isValidMachineName(downloader.vm()))
        UtilityLog::setTag(downloader.vm());
    return downloader.run();
}
