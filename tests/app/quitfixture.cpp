// The emulator itself (the same entry, controller and dispatcher) with one extra wire: a later start
// that sends the package name "restart" makes the dispatcher emit the settings window's restart request.
// Each process that starts up records its arguments in $ORV_RECORD_DIR/quit-fixture.calls.

#include "dialogcontrol.h"
#include "entry.h"
#include "instancemessage.h"
#include "maincontrol.h"
#include "orvapplication.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>

int main(int argc, char *argv[])
{
    return runEmulator(argc, argv, [](MainControl &control) {
        QFile file(qEnvironmentVariable("ORV_RECORD_DIR") + QStringLiteral("/quit-fixture.calls"));
        if (file.open(QIODevice::Append))
            file.write(QJsonDocument(QJsonArray::fromStringList(QCoreApplication::arguments().mid(1)))
                           .toJson(QJsonDocument::Compact) +
                       '\n');
        auto *app = qobject_cast<OrvApplication *>(QCoreApplication::instance());
        DialogControl *dialogs = control.dialogControl();
        QObject::connect(app, &OrvApplication::messageAvailable, dialogs, [dialogs](const QString &text) {
            if (InstanceMessage::fromJson(text.toUtf8()).pkgname == QLatin1String("restart"))
                dialogs->requestRestart();
        });
    });
}
