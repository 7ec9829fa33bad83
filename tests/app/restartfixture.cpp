#include "commandline.h"
#include "entry.h"
#include "global.h"
#include "instancemessage.h"
#include "orvapplication.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

static void record(const QString &what, const QStringList &values)
{
    QFile file(qEnvironmentVariable("ORV_RECORD_DIR") + QStringLiteral("/restart-fixture.") + what);
    if (file.open(QIODevice::Append))
        file.write(QJsonDocument(QJsonArray::fromStringList(values)).toJson(QJsonDocument::Compact) + '\n');
}

int main(int argc, char *argv[])
{
    OrvApplication app(argc, argv);
    if (app.isRunning()) {
        InstanceMessage message{Global::vmName, CommandLine::pkgpath, CommandLine::pkgname,
                                CommandLine::stop};
        return app.sendMessage(QString::fromUtf8(message.toJson())) ? 0 : 3;
    }
    record(QStringLiteral("calls"), app.arguments().mid(1));
    QObject::connect(&app, &OrvApplication::messageAvailable, [&](const QString &text) {
        record(QStringLiteral("messages"), {text});
        const QJsonObject object = QJsonDocument::fromJson(text.toUtf8()).object();
        if (object.value(QStringLiteral("pkgname")).toString() == QLatin1String("restart"))
            app.exit(kRestartExitCode);
        else if (object.value(QStringLiteral("pkgname")).toString() == QLatin1String("quit"))
            app.exit(0);
    });
    return finishEventLoop(app, app.exec());
}
