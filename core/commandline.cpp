#include "commandline.h"

#include "global.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>

namespace CommandLine {
QString vm;
QString title;
QString pkgname;
QString pkgpath;
QString stream;
bool tcp = false;
bool debug = false;
bool stop = false;
bool vt_f = false;
bool reboot = false;
} // namespace CommandLine

void parseCommandLine()
{
    parseCommandLine(QCoreApplication::arguments());
}

void parseCommandLine(const QStringList &arguments)
{
    const QCommandLineOption vmOption(QStringLiteral("vm"), QString(), QStringLiteral("vm"),
                                      QStringLiteral("Orvanta_0"));
    const QCommandLineOption titleOption(QStringLiteral("title"), QString(), QStringLiteral("title"));
    const QCommandLineOption pkgnameOption(QStringLiteral("pkgname"), QString(), QStringLiteral("pkgname"));
    const QCommandLineOption pkgpathOption(QStringLiteral("pkgpath"), QString(), QStringLiteral("pkgpath"));
    const QCommandLineOption tcpOption(QStringLiteral("tcp"), QString());
    const QCommandLineOption stopOption(QStringLiteral("stop"), QString());
    const QCommandLineOption debugOption(QStringLiteral("debug"), QString());
    const QCommandLineOption vtfOption(QStringLiteral("vt_f"), QString());
    const QCommandLineOption rebootOption(QStringLiteral("reboot"), QString());
    const QCommandLineOption streamOption(QStringLiteral("stream"), QString(), QStringLiteral("stream"));

    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.addOption(vmOption);
    parser.addOption(titleOption);
    parser.addOption(pkgnameOption);
    parser.addOption(pkgpathOption);
    parser.addOption(tcpOption);
    parser.addOption(debugOption);
    parser.addOption(stopOption);
    parser.addOption(vtfOption);
    parser.addOption(rebootOption);
    parser.addOption(streamOption);
    // Reports an unknown option or a missing value and ends the process with exit code 1.
    parser.process(arguments);

    CommandLine::vm = parser.value(vmOption);
    CommandLine::title = parser.value(titleOption);
    CommandLine::pkgname = parser.value(pkgnameOption);
    CommandLine::pkgpath = parser.value(pkgpathOption);
    CommandLine::tcp = parser.isSet(tcpOption);
    CommandLine::debug = parser.isSet(debugOption);
    CommandLine::stop = parser.isSet(stopOption);
    CommandLine::vt_f = parser.isSet(vtfOption);
    CommandLine::reboot = parser.isSet(rebootOption);
    CommandLine::stream = parser.value(streamOption);
    Global::vmName = CommandLine::vm;
}

QString CommandLine::absolutePackagePaths(const QString &value, const QString &folder)
{
    QStringList paths = value.split(QLatin1Char(','));
    paths.removeAll(QString());
    const QDir base(folder);
    for (QString &path : paths) {
        if (QDir::isRelativePath(path))
            path = QDir::cleanPath(base.absoluteFilePath(path));
    }
    return paths.join(QLatin1Char(','));
}

QString CommandLine::queuePackagePath(const QString &queue, const QString &path)
{
    QString list = queue;
    if (!list.startsWith(QLatin1Char(',')))
        list.prepend(QLatin1Char(','));
    if (!list.endsWith(QLatin1Char(',')))
        list.append(QLatin1Char(','));
    QStringList paths = path.split(QLatin1Char(','));
    paths.removeAll(QString());
    for (const QString &one : qAsConst(paths)) {
        if (!list.contains(QLatin1Char(',') + one + QLatin1Char(',')))
            list += one + QLatin1Char(',');
    }
    return list;
}
