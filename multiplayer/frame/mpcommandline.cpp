#include "mpcommandline.h"

#include <QCommandLineParser>
#include <QDebug>
#include <QJsonDocument>
#include <QJsonObject>

namespace OrvMulti {

QString vm;
QString status;
QString from;

namespace {
const char *const kDefaultFrom = "1";
} // namespace

void parseCommandLine(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption vmOption(QStringLiteral("vm"), QStringLiteral("="), QStringLiteral("vm"));
    const QCommandLineOption statusOption(QStringLiteral("status"), QStringLiteral("="),
                                          QStringLiteral("status"));
    const QCommandLineOption fromOption(QStringLiteral("from"), QStringLiteral("="), QStringLiteral("from"),
                                        QString::fromLatin1(kDefaultFrom));
    parser.addOption(vmOption);
    parser.addOption(statusOption);
    parser.addOption(fromOption);
    // process() prints the parser's own message and ends the process on an unknown option.
    parser.process(arguments);

    vm = parser.value(vmOption);
    status = parser.value(statusOption);
    from = parser.value(fromOption);
    if (from.isEmpty())
        from = QString::fromLatin1(kDefaultFrom);
    qInfo().noquote() << QStringLiteral("the commandLineParam is vm=") + vm + QStringLiteral(" status=") +
                             status;
}

QByteArray managerMessage(const QString &vmName, const QString &statusWord)
{
    QJsonObject object;
    object.insert(QStringLiteral("vm"), vmName);
    object.insert(QStringLiteral("status"), statusWord);
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

bool parseManagerMessage(const QByteArray &bytes, QString *vmName, QString *statusWord)
{
    vmName->clear();
    statusWord->clear();
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return false;
    const QJsonObject object = document.object();
    if (object.value(QStringLiteral("vm")).isString())
        *vmName = object.value(QStringLiteral("vm")).toString();
    if (object.value(QStringLiteral("status")).isString())
        *statusWord = object.value(QStringLiteral("status")).toString();
    return true;
}

} // namespace OrvMulti
