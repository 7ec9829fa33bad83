#include "updater.h"

#include "hostprobes.h"

#include <QCoreApplication>
#include <QDebug>

namespace Updater {

QString programPath()
{
    return QCoreApplication::applicationDirPath() + QLatin1Char('/') + QLatin1String(kProgramName);
}

int run(const QString &word, int timeoutMs)
{
    bool endedBySignal = false;
    const int code = runElevated(programPath(), {word}, QString(), timeoutMs, &endedBySignal);
    if (code == -1)
        qWarning() << "Updater    : no answer within" << timeoutMs << "ms, it runs on";
    if (endedBySignal) {
        qWarning() << "Updater    : ended by a signal, counted as no answer";
        return -1;
    }
    return code;
}

void start(const QString &word)
{
    runElevated(programPath(), {word}, QString(), 0);
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
