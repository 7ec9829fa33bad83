#include "traynotice.h"

#include <QDebug>

namespace {
TrayNotice *trayInstance = nullptr;
} // namespace

void TrayNotice::setInstance(TrayNotice *tray)
{
    trayInstance = tray;
}

TrayNotice *TrayNotice::instance()
{
    return trayInstance;
}

void TrayNotice::message(const QString &text)
{
    if (trayInstance)
        trayInstance->showMessage(text);
    else
        qInfo().noquote() << QStringLiteral("Tray       : no tray, balloon: ") + text;
}

void TrayNotice::keyboardChanged()
{
    if (trayInstance)
        trayInstance->updateKeyboardAction();
}

void TrayNotice::statusChanged(bool shown)
{
    if (trayInstance)
        trayInstance->updateStatusAction(shown);
}

void TrayNotice::hide()
{
    if (trayInstance)
        trayInstance->hideIcon();
}
