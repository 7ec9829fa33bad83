#include "shellwiring.h"

#include "androidwindow.h"
#include "checkaction.h"
#include "environmentcheckdialog.h"
#include "global.h"
#include "glutcontext.h"
#include "locationpagemodule.h"
#include "settingdialog.h"
#include "sharefolderdialog.h"
#include "vinputconnection.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDialog>
#include <QLibrary>

#include <memory>

// A program that has the location dialog built in (a test of the dialog) gives its maker here; the
// emulator does not, and loads the dialog's module instead.
extern "C" QDialog *orvMakeGeolocationDialog(QWidget *parent, OrvSendGps sendGps) __attribute__((weak));

namespace {

// The location dialog's maker: built in, or from its module beside the program, loaded (with QtWebKit)
// on the first call and kept for the rest of the run. Null when the module cannot be loaded.
OrvMakeGeolocationDialog geolocationDialogMaker()
{
    if (&orvMakeGeolocationDialog)
        return &orvMakeGeolocationDialog;
    static OrvMakeGeolocationDialog maker = [] {
        QLibrary module(QCoreApplication::applicationDirPath() + QStringLiteral("/OrvLocation"));
        // Everything the module needs is looked up now: a missing piece fails here, not later.
        module.setLoadHints(QLibrary::ResolveAllSymbolsHint);
        auto make = reinterpret_cast<OrvMakeGeolocationDialog>(module.resolve(ORV_MAKE_GEOLOCATION_DIALOG));
        if (!make)
            qWarning().noquote() << "GeolocationDialog : the location module did not load: " +
                                        module.errorString();
        return make;
    }();
    return maker;
}

} // namespace

namespace ShellWiring {

QDialog *makeGeolocationDialog(QWidget *parent)
{
    const OrvMakeGeolocationDialog make = geolocationDialogMaker();
    if (!make)
        return nullptr;
    return make(parent, [](double longitude, double latitude) {
        VInputConnection::instance().sendGps(longitude, latitude);
    });
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
