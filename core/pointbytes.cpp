#include "pointbytes.h"

#include <QDataStream>

QByteArray toByteArray(const QPoint &position)
{
    QByteArray bytes;
    QDataStream stream(&bytes, QIODevice::WriteOnly);
    stream << position;
    return bytes;
}

QPoint fromByteArray(const QByteArray &bytes)
{
    QPoint position(0, 0);
    QDataStream stream(bytes);
    qint32 x = 0;
    qint32 y = 0;
    // QDataStream leaves a value at zero when its bytes run out, so a short array gives a half-read
    // position instead of garbage.
    stream >> x;
    if (stream.status() == QDataStream::Ok)
        position.setX(x);
    stream >> y;
    if (stream.status() == QDataStream::Ok)
        position.setY(y);
    return position;
}
