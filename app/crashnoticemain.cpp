// OrvCrashNotice: shows the crash notice of an emulator process that has crashed. The crashed process
// starts it and waits until it ends, so the notice never runs inside the damaged process.

#include "commondialog.h"
#include "dialogtype.h"

#include <QApplication>
#include <QDir>
#include <QTranslator>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Halvora"));
    QApplication::setApplicationName(QStringLiteral("Orvanta"));

    // The emulator's translation file, beside the programs in <version>/player/language.
    QTranslator translator;
    translator.load(QCoreApplication::applicationDirPath() + QStringLiteral("/language/Orvanta_zh_CN.qm"));
    app.installTranslator(&translator);

    CommonDialog notice(QCoreApplication::translate("CrashHandler", "Crash_Message"),
                        static_cast<int>(DialogType::Message), nullptr);
    notice.exec();
    return 0;
}
