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
