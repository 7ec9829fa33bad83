#include "guestscreen.h"

#include "simscreen.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFont>
#include <QPainter>
#include <QTransform>

#include <cstdio>

void GuestScreen::setSize(int width, int height)
{
    if (width > 0 && height > 0 && width <= 8192 && height <= 8192) {
        m_width = width;
        m_height = height;
    }
}

QImage GuestScreen::render() const
{
    if (!m_booted) {
        QImage image(m_width, m_height, QImage::Format_RGB32);
        QPainter painter(&image);
        QFont font = painter.font();
        font.setPixelSize(qMax(10, m_height / 40));
        painter.setFont(font);
        image.fill(QColor::fromRgba(kBootBackground));
        painter.setPen(Qt::white);
        painter.drawText(image.rect(), Qt::AlignCenter, QStringLiteral("android"));
        return image;
    }
    // The content is laid out upright in the screen's current orientation, then turned into the
    // portrait buffer by the rotation, as a landscape app's frames are: the host turns the buffer back
    // when it shows it, the same way as it turns a point of its window into a touch point.
    const int turn = ((m_rotation % 360) + 360) % 360;
    const bool sideways = turn == 90 || turn == 270;
    const int cw = sideways ? m_height : m_width;
    const int ch = sideways ? m_width : m_height;
    QImage content(cw, ch, QImage::Format_RGB32);
    {
        QPainter painter(&content);
        QFont font = painter.font();
        font.setPixelSize(qMax(10, ch / 40));
        painter.setFont(font);
        content.fill(QColor::fromRgba(kLauncherBackground));
        const int bar = qMax(8, ch / 25);
        painter.fillRect(0, 0, cw, bar, QColor::fromRgba(kStatusBar));
        painter.setPen(Qt::white);
        const int line = font.pixelSize() + 6;
        int y = bar + line;
        for (const QString &text :
             {QStringLiteral("package: ") + m_package, QStringLiteral("location: ") + m_location,
              QStringLiteral("text: ") + m_text}) {
            painter.drawText(12, y, text);
            y += line;
        }
    }
    QImage image = turn == 0 ? content : content.transformed(QTransform().rotate(turn));
    // Touch points are buffer points: drawn after the turn.
    QPainter painter(&image);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor::fromRgba(kTouchMark));
    const int radius = qMax(4, m_width / 60);
    for (const QPoint &p : m_touches)
        painter.drawEllipse(p, radius, radius);
    return image;
}

bool GuestScreen::publish(const QString &path)
{
    const QImage image = render();
    ++m_sequence;
    const QFileInfo info(path);
    QDir().mkpath(info.absolutePath());
    const QString temp =
        info.absolutePath() + QStringLiteral("/.") + info.fileName() + QStringLiteral(".tmp");
    QFile file(temp);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    const QByteArray header = QStringLiteral("%1 %2 %3 %4 %5\n")
                                  .arg(QLatin1String(SimScreen::kMagic))
                                  .arg(image.width())
                                  .arg(image.height())
                                  .arg(m_booted ? m_rotation : -1)
                                  .arg(m_sequence)
                                  .toLatin1();
    bool ok = file.write(header) == header.size();
    for (int row = 0; ok && row < image.height(); ++row) {
        const auto *bytes = reinterpret_cast<const char *>(image.constScanLine(row));
        ok = file.write(bytes, image.width() * 4) == image.width() * 4;
    }
    file.close();
    if (!ok) {
        QFile::remove(temp);
        return false;
    }
    // rename(2) replaces the old picture in one step: a reader sees the old or the new file, whole.
    return ::rename(QFile::encodeName(temp).constData(), QFile::encodeName(path).constData()) == 0;
}
