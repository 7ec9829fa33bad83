// Stand-in for the maker's web endpoints. Usage:
//   orv-webservice [--state <folder>] [--port <port>]
// The state folder defaults to $ORV_WEB_STATE and the port to $ORV_WEB_PORT (0 or unset: any free
// port). Once listening it writes the port to <state>/port and the base address to <state>/url.

#include "webservice.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QSaveFile>
#include <QTextStream>

static bool writeText(const QString &path, const QString &text)
{
    QSaveFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(text.toUtf8() + '\n') >= 0 && file.commit();
}

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    parser.addOption({QStringLiteral("state"), QStringLiteral("State folder."), QStringLiteral("folder"),
                      qEnvironmentVariable("ORV_WEB_STATE")});
    parser.addOption({QStringLiteral("port"), QStringLiteral("Port on 127.0.0.1 (0: any free port)."),
                      QStringLiteral("port"), qEnvironmentVariable("ORV_WEB_PORT", QStringLiteral("0"))});
    parser.process(app);

    const QString state = parser.value(QStringLiteral("state"));
    QTextStream err(stderr);
    if (state.isEmpty()) {
        err << "webservice: no state folder (--state or ORV_WEB_STATE)\n";
        return 2;
    }
    if (!QDir().mkpath(state)) {
        err << "webservice: cannot create the state folder " << state << '\n';
        return 2;
    }
    bool ok = false;
    const uint port = parser.value(QStringLiteral("port")).toUInt(&ok);
    if (!ok || port > 65535) {
        err << "webservice: bad port " << parser.value(QStringLiteral("port")) << '\n';
        return 2;
    }

    WebService service(QDir(state).absolutePath());
    if (!service.listen(quint16(port))) {
        err << "webservice: cannot listen on 127.0.0.1:" << port << ": " << service.errorString() << '\n';
        return 1;
    }
    writeText(state + QStringLiteral("/url"), QStringLiteral("http://127.0.0.1:%1").arg(service.port()));
    writeText(state + QStringLiteral("/port"), QString::number(service.port()));
    return app.exec();
}
