#include "shellwiring.h"

#include "androidwindow.h"
#include "checkaction.h"
#include "environmentcheckdialog.h"
#include "geolocationdialog.h"
#include "global.h"
#include "glutcontext.h"
#include "settingdialog.h"
#include "sharefolderdialog.h"
#include "vinputconnection.h"

#include <memory>

namespace ShellWiring {

QDialog *makeGeolocationDialog(QWidget *parent)
{
    auto *dialog = new GeolocationDialog(parent);
    QObject::connect(dialog, &GeolocationDialog::sendGps, &VInputConnection::instance(),
                     &VInputConnection::sendGps);
    return dialog;
}

QDialog *makeShareFolderDialog()
{
    auto *dialog = new ShareFolderDialog();
    QObject::connect(dialog, &ShareFolderDialog::sendShellCmd, dialog,
                     [](const QString &command) { VInputConnection::instance().sendShellCmd(command); });
    return dialog;
}

void install()
{
    AndroidWindow::setShellDialogs({&makeGeolocationDialog, &makeShareFolderDialog});
    SettingDialog::setOptimizeRunner([](QWidget *parent) {
        bool passed = false;
        QString describe;
        {
            // The OpenGL check reads the version through this hidden window's context.
            GlutContext probeWindow;
            OptionalActionFactory factory;
            std::unique_ptr<ActionComposite> optional(factory.create());
            passed = optional->check();
            describe = optional->describe();
        }
        EnvironmentCheckDialog dialog(QString(), describe, true, passed, parent);
        dialog.exec();
    });
}

} // namespace ShellWiring
