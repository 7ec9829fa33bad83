// The input channel's lines and the reading of the guest's screenshot answer: pure functions, kept
// apart from the connection so that they can be checked (and fuzzed) on their own.
#include "vinputconnection.h"

#include "base64.h"

#include <string>

const char *const VInputConnection::kScreenCapAnswer = "SCREENCAP:";

QByteArray VInputConnection::configLine(int width, int height)
{
    return QStringLiteral("CONFIG:%1:%2\n").arg(width).arg(height).toLatin1();
}

QByteArray VInputConnection::mouseOrKeyLine(int type, int a, int b, int c, int d)
{
    QString line;
    switch (type) {
    case VInputMouse:
        line = QStringLiteral("MOUSE:%1:%2\n").arg(a).arg(b);
        break;
    case VInputTouchDown:
        line = QStringLiteral("MSBPR:%1:%2\n").arg(a).arg(b);
        break;
    case VInputTouchUp:
        line = QStringLiteral("MSBRL:%1:%2\n").arg(a).arg(b);
        break;
    case VInputWheelUp:
        line = QStringLiteral("WHEEL:%1:%2:1:%3\n").arg(a).arg(b).arg(c);
        break;
    case VInputWheelDown:
        line = QStringLiteral("WHEEL:%1:%2:-1:%3\n").arg(a).arg(b).arg(c);
        break;
    case VInputKeyPress:
        line = QStringLiteral("KBDPR:%1:1\n").arg(a);
        break;
    case VInputKeyRelease:
        line = QStringLiteral("KBDRL:%1:0\n").arg(a);
        break;
    case VInputMultiPress:
        line = QStringLiteral("MSMTPR:%1:%2:%3:%4\n").arg(a).arg(b).arg(c).arg(d);
        break;
    case VInputMultiRelease:
        line = QStringLiteral("MSMTRL:%1:%2\n").arg(a).arg(b);
        break;
    case VInputSensor:
        line = QStringLiteral("SENSOR:%1:%2\n").arg(a).arg(b);
        break;
    default:
        break;
    }
    return line.toLatin1();
}

QByteArray VInputConnection::multiLine(int state, const QList<QPoint> &points)
{
    if (state < 0 || state > 2)
        return QByteArray();
    QByteArray line = "MULTI:" + QByteArray::number(points.size()) + ':' + QByteArray::number(state);
    for (const QPoint &p : points)
        line += ':' + QByteArray::number(p.x()) + ':' + QByteArray::number(p.y());
    return line + '\n';
}

QByteArray VInputConnection::inputTextLine(const QString &text)
{
    QString wrapped = text;
    wrapped.replace(QLatin1Char('\n'), QLatin1Char(' '));
    wrapped = QStringLiteral("<G>") + wrapped + QStringLiteral("<P>");
    const QByteArray utf8 = wrapped.toUtf8();
    const std::string encoded = base64Encode(std::string(utf8.constData(), static_cast<size_t>(utf8.size())));
    return QByteArrayLiteral("INPUTTEXT:str-") + QByteArray::fromStdString(encoded) + '\n';
}

QByteArray VInputConnection::gpsLine(double longitude, double latitude)
{
    // %g with 6 significant digits, never the locale's decimal sign.
    return QStringLiteral("GPS:str-%1|%2\n")
        .arg(QString::number(longitude, 'g', 6), QString::number(latitude, 'g', 6))
        .toLatin1();
}

QByteArray VInputConnection::shakeLine()
{
    return QByteArrayLiteral("SHAKE\n");
}

QByteArray VInputConnection::screenCapLine()
{
    return QByteArrayLiteral("SCREENCAP\n");
}

QByteArray VInputConnection::shellLine(const QString &command)
{
    if (command.contains(QLatin1Char('\n')) || command.contains(QLatin1Char('\r')))
        return QByteArray();
    return QByteArrayLiteral("SHELL_CMD:str-") + command.toUtf8() + '\n';
}

QString VInputConnection::screenCapName(const QByteArray &data)
{
    if (!data.startsWith(kScreenCapAnswer))
        return QString();
    // No name is longer than this (the path before it does not count): a flood is not decoded whole.
    const int last = data.lastIndexOf('/');
    if (data.size() - last > 4 * kMaxScreenCapNameBytes + 64)
        return QString();
    const QString text = QString::fromUtf8(data);
    const QString path = text.mid(int(qstrlen(kScreenCapAnswer)));
    // A guest that ends its answer with a line end still names the same file.
    QString name = path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
    while (!name.isEmpty() && name.back().isSpace())
        name.chop(1);
    if (name.toUtf8().size() > kMaxScreenCapNameBytes)
        return QString();
    return name;
}

int VInputConnection::screenCapAnswerLength(const QByteArray &data)
{
    if (!data.startsWith(kScreenCapAnswer))
        return 0;
    const int end = data.indexOf(".png", int(qstrlen(kScreenCapAnswer)));
    if (end < 0)
        return data.size();
    int length = end + 4;
    while (length < data.size() && (data.at(length) == '\n' || data.at(length) == '\r'))
        ++length;
    return length;
}
