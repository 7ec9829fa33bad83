// OrvCrashNotice: shows the crash notice of an emulator process that has crashed. The crashed process
// starts it and waits until it ends, so the notice never runs inside the damaged process.

#include "commondialog.h"
#include "dialogtype.h"
#include "translations.h"

#include <QApplication>
#include <QDir>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Halvora"));
    QApplication::setApplicationName(QStringLiteral("Orvanta"));

    // The emulator's translation file, beside the programs in <version>/player/language, over the
    // emulator's English texts.
    Translations::install(QStringLiteral(":/translations/orvanta_en.qm"),
                          QCoreApplication::applicationDirPath() +
                              QStringLiteral("/language/Orvanta_zh_CN.qm"));

    CommonDialog notice(QCoreApplication::translate("CrashHandler", "Crash_Message"),
                        static_cast<int>(DialogType::Message), nullptr);
    notice.exec();
    return 0;
}
