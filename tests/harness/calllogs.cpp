#include "calllogs.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

QStringList strings(const QJsonArray &array)
{
    QStringList result;
    for (const QJsonValue &value : array)
        result << value.toString();
    return result;
}

QList<QByteArray> lines(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QList<QByteArray> result = file.readAll().split('\n');
    result.removeAll(QByteArray());
    return result;
}

} // namespace

QList<QStringList> readRecordedCalls(const QString &path)
{
    QList<QStringList> calls;
    for (const QByteArray &line : lines(path))
        calls << strings(QJsonDocument::fromJson(line).array());
    return calls;
}

QList<QStringList> readToolCalls(const QString &stateDir)
{
    QList<QStringList> calls;
    for (const QByteArray &line : lines(stateDir + QStringLiteral("/calls.log"))) {
        const QJsonObject call = QJsonDocument::fromJson(line).object();
        if (!call.isEmpty())
            calls << strings(call.value(QStringLiteral("args")).toArray());
    }
    return calls;
}

QList<ToolCallRecord> readToolCallRecords(const QString &stateDir)
{
    QList<ToolCallRecord> calls;
    for (const QByteArray &line : lines(stateDir + QStringLiteral("/calls.log"))) {
        const QJsonObject object = QJsonDocument::fromJson(line).object();
        if (object.isEmpty())
            continue;
        ToolCallRecord call;
        call.args = strings(object.value(QStringLiteral("args")).toArray());
        call.program = object.value(QStringLiteral("prog")).toString();
        call.pid = static_cast<qint64>(object.value(QStringLiteral("pid")).toDouble());
        call.start =
            QDateTime::fromString(object.value(QStringLiteral("time")).toString(), Qt::ISODateWithMs);
        call.end = QDateTime::fromString(object.value(QStringLiteral("end")).toString(), Qt::ISODateWithMs);
        calls << call;
    }
    return calls;
}

bool isReadOnlyToolCall(const QStringList &args)
{
    const QString command = args.value(0);
    const QString sub = args.value(1);
    return command == QLatin1String("list") || command == QLatin1String("showvminfo") ||
           command == QLatin1String("getextradata") ||
           (command == QLatin1String("guestproperty") &&
            (sub == QLatin1String("get") || sub == QLatin1String("enumerate")));
}
