// The simulated Android guest of a running machine (see README.md).

#include "guestservice.h"

#include <QCommandLineParser>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSocketNotifier>

#include <csignal>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int signalPipe[2] = {-1, -1};

void onSignal(int)
{
    const char byte = 1;
    (void)!write(signalPipe[1], &byte, 1);
}

// Fills what the machine file says into `config` where no option gave it.
void readMachineFile(const QString &path, GuestConfig *config)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return;
    const QJsonObject machine = QJsonDocument::fromJson(file.readAll()).object();
    for (const QJsonValue &value :
         machine.value(QStringLiteral("natRules")).toObject().value(QStringLiteral("1")).toArray()) {
        const QJsonObject rule = value.toObject();
        const QString name = rule.value(QStringLiteral("name")).toString();
        const int port = rule.value(QStringLiteral("hostPort")).toInt();
        if (name == QLatin1String("vinput") && config->vinputPort == 0)
            config->vinputPort = port;
        if (name == QLatin1String("pavix") && config->pavixPort == 0)
            config->pavixPort = port;
    }
    const QJsonObject properties = machine.value(QStringLiteral("guestProperties")).toObject();
    if (config->emuId.isEmpty())
        config->emuId =
            properties.value(QStringLiteral("emu_id")).toObject().value(QStringLiteral("value")).toString();
    const QString mode = properties.value(QStringLiteral("vbox_graph_mode"))
                             .toObject()
                             .value(QStringLiteral("value"))
                             .toString();
    const QStringList size = mode.section(QLatin1Char('-'), 0, 0).split(QLatin1Char('x'));
    if (size.size() == 2 && size.at(0).toInt() > 0 && size.at(1).toInt() > 0) {
        config->width = size.at(0).toInt();
        config->height = size.at(1).toInt();
    }
    for (const QJsonValue &value : machine.value(QStringLiteral("sharedFolders")).toArray()) {
        const QJsonObject share = value.toObject();
        const QString name = share.value(QStringLiteral("name")).toString();
        const QString hostPath = share.value(QStringLiteral("hostPath")).toString();
        if (name == QLatin1String("picture") && config->pictureShare.isEmpty())
            config->pictureShare = hostPath;
        if (name == QLatin1String("event") && config->eventShare.isEmpty())
            config->eventShare = hostPath;
        if (name == QLatin1String("game") && config->gameShare.isEmpty())
            config->gameShare = hostPath;
    }
    if (config->dir.isEmpty())
        config->dir = QFileInfo(path).absolutePath() + QStringLiteral("/guest");
}

} // namespace

int main(int argc, char *argv[])
{
    // The picture is drawn off screen; the guest needs no display.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addOptions(
        {{QStringLiteral("machine-file"), QStringLiteral("machine file"), QStringLiteral("path")},
         {QStringLiteral("vinput-port"), QStringLiteral("input service port"), QStringLiteral("port")},
         {QStringLiteral("pavix-port"), QStringLiteral("launcher port"), QStringLiteral("port")},
         {QStringLiteral("emu-id"), QStringLiteral("picture key"), QStringLiteral("key")},
         {QStringLiteral("size"), QStringLiteral("screen size WxH"), QStringLiteral("size")},
         {QStringLiteral("dir"), QStringLiteral("guest folder"), QStringLiteral("path")},
         {QStringLiteral("picture-share"), QStringLiteral("host folder of the picture share"),
          QStringLiteral("path")},
         {QStringLiteral("event-share"), QStringLiteral("host folder of the event share"),
          QStringLiteral("path")},
         {QStringLiteral("game-share"), QStringLiteral("host folder of the game share"),
          QStringLiteral("path")},
         {QStringLiteral("die-with-parent"), QStringLiteral("end when the starting process ends")},
         // As the machine process is started: its name and id, for whoever looks at its command line.
         {QStringLiteral("comment"), QStringLiteral("machine name"), QStringLiteral("name")},
         {QStringLiteral("startvm"), QStringLiteral("machine id"), QStringLiteral("uuid")}});
    parser.process(app);
    if (parser.isSet(QStringLiteral("die-with-parent")))
        prctl(PR_SET_PDEATHSIG, SIGTERM);

    GuestConfig config;
    config.vinputPort = parser.value(QStringLiteral("vinput-port")).toInt();
    config.pavixPort = parser.value(QStringLiteral("pavix-port")).toInt();
    config.emuId = parser.value(QStringLiteral("emu-id"));
    config.dir = parser.value(QStringLiteral("dir"));
    config.pictureShare = parser.value(QStringLiteral("picture-share"));
    config.eventShare = parser.value(QStringLiteral("event-share"));
    config.gameShare = parser.value(QStringLiteral("game-share"));
    const QStringList size = parser.value(QStringLiteral("size")).split(QLatin1Char('x'));
    if (size.size() == 2) {
        config.width = size.at(0).toInt();
        config.height = size.at(1).toInt();
    }
    if (parser.isSet(QStringLiteral("machine-file")))
        readMachineFile(parser.value(QStringLiteral("machine-file")), &config);
    if (config.dir.isEmpty()) {
        qWarning("orv-guest: no folder (--dir or --machine-file)");
        return 2;
    }

    if (parser.isSet(QStringLiteral("machine-file")) &&
        !QFileInfo::exists(parser.value(QStringLiteral("machine-file")))) {
        qWarning("orv-guest: the machine file is gone");
        return 3;
    }
    GuestService service(config);
    if (!service.prepareFolder()) {
        qWarning("orv-guest: the folder %s cannot be made (its parent is gone)", qPrintable(config.dir));
        return 3;
    }
    if (!service.start())
        qWarning("orv-guest: no input port; only the picture is served");

    if (pipe(signalPipe) == 0) {
        std::signal(SIGTERM, onSignal);
        std::signal(SIGINT, onSignal);
        auto *notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, &app);
        QObject::connect(notifier, &QSocketNotifier::activated, &app, [] { QCoreApplication::quit(); });
    }
    const int code = app.exec();
    service.shutDown();
    return code;
}
