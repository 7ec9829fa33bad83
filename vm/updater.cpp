#include "updater.h"

#include <QCoreApplication>

namespace Updater {

QString programPath()
{
    return QCoreApplication::applicationDirPath() + QLatin1Char('/') + QLatin1String(kProgramName);
}

StartCheckDecision decideStartCheck(int code, const QString &productVersion)
{
    StartCheckDecision decision;
    if (code == -1)
        return decision;
    if (productVersion >= QLatin1String("1.4.0")) {
        if (code & NewVersion) {
            decision.prompt = StartCheckDecision::UpdatePrompt;
        } else if (code & NewVersionClearData) {
            decision.prompt = StartCheckDecision::UpdatePromptClearData;
        } else if (code & FilesMissing) {
            decision.prompt = StartCheckDecision::FileMissing;
            decision.goOn = false;
            return decision;
        }
    }
    decision.reinstallVBox = (code & ReinstallVBox) != 0;
    return decision;
}

} // namespace Updater
