#include "instancemessage.h"

#include <QJsonDocument>
#include <QJsonObject>

QByteArray InstanceMessage::toJson() const
{
    QJsonObject object;
    object.insert(QStringLiteral("vmName"), vmName);
    object.insert(QStringLiteral("pkgpath"), pkgpath);
    object.insert(QStringLiteral("pkgname"), pkgname);
    if (isStop)
        object.insert(QStringLiteral("isStop"), true);
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

InstanceMessage InstanceMessage::fromJson(const QByteArray &json, bool *valid)
{
    InstanceMessage message;
    const QJsonDocument document = QJsonDocument::fromJson(json);
    if (valid)
        *valid = document.isObject();
    if (!document.isObject())
        return message;
    const QJsonObject object = document.object();
    message.vmName = object.value(QStringLiteral("vmName")).toString();
    message.pkgpath = object.value(QStringLiteral("pkgpath")).toString();
    message.pkgname = object.value(QStringLiteral("pkgname")).toString();
    message.isStop = object.contains(QStringLiteral("isStop"));
    return message;
}
