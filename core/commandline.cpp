#include "commandline.h"

#include "global.h"

#include <QCommandLineParser>
#include <QCoreApplication>

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
