#pragma once

// Finding a program's picture in a screenshot by its shape: every pixel the picture covers fully
// (alpha 255) must be on the screen as it is in the picture, and where the picture is fully clear the
// screen must not show the picture's own main colour (so that a bar is not found inside a larger mark of
// the same colour); anti-aliased edges, which take the window's colours, are not compared. Pictures
// drawn at their own size only.

#include <QHash>
#include <QImage>
#include <QPoint>
#include <QRect>
#include <QVector>

namespace PicturesOnScreen {

struct Opaque
{
    QPoint at;
    QRgb colour;
};

inline QVector<Opaque> pixelsOfAlpha(const QImage &picture, int alpha)
{
    const QImage image = picture.convertToFormat(QImage::Format_ARGB32);
    QVector<Opaque> pixels;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (qAlpha(image.pixel(x, y)) == alpha)
                pixels.push_back({QPoint(x, y), image.pixel(x, y)});
    return pixels;
}

inline QVector<Opaque> opaquePixels(const QImage &picture)
{
    return pixelsOfAlpha(picture, 255);
}

inline bool near(QRgb a, QRgb b, int tolerance)
{
    return qAbs(qRed(a) - qRed(b)) <= tolerance && qAbs(qGreen(a) - qGreen(b)) <= tolerance &&
           qAbs(qBlue(a) - qBlue(b)) <= tolerance;
}

// The colour most of the picture's fully covered pixels have (a button face's fill), or 0.
inline QRgb mainColour(const QImage &picture)
{
    QHash<QRgb, int> counts;
    for (const Opaque &pixel : opaquePixels(picture))
        ++counts[pixel.colour | 0xff000000u];
    QRgb best = 0;
    int most = 0;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it)
        if (it.value() > most || (it.value() == most && it.key() < best)) {
            best = it.key();
            most = it.value();
        }
    return best;
}

struct Shape
{
    QVector<Opaque> opaque;
    QVector<QPoint> clear;
    QRgb main = 0;
};

inline Shape shapeOf(const QImage &picture)
{
    Shape shape;
    shape.opaque = opaquePixels(picture);
    for (const Opaque &pixel : pixelsOfAlpha(picture, 0))
        shape.clear.push_back(pixel.at);
    shape.main = mainColour(picture);
    return shape;
}

// Whether the picture's top-left corner lies at `topLeft` of `shot`: all but `share` of its fully covered
// pixels are there as they are, and as many of its clear pixels are not in its main colour.
inline bool drawnAt(const QImage &shot, const QPoint &topLeft, const Shape &shape, int tolerance,
                    double share = 1.0)
{
    int spare = int(shape.opaque.size() * (1.0 - share));
    for (const Opaque &pixel : shape.opaque) {
        const QPoint p = topLeft + pixel.at;
        if ((!shot.rect().contains(p) || !near(shot.pixel(p), pixel.colour, tolerance)) && --spare < 0)
            return false;
    }
    spare = int(shape.clear.size() * (1.0 - share));
    for (const QPoint &at : shape.clear) {
        const QPoint p = topLeft + at;
        if (shot.rect().contains(p) && near(shot.pixel(p), shape.main, tolerance) && --spare < 0)
            return false;
    }
    return true;
}

// The centre of the picture where it is drawn with its top-left corner inside `corners`, or a null point.
// `share` of its pixels must be seen (less than 1 where a tip or a pointer may cover a part). A picture
// with fewer than 8 fully covered pixels is never found (it could match anywhere).
inline QPoint findPicture(const QImage &shot, const QRect &corners, const QImage &picture, int tolerance = 6,
                          double share = 1.0)
{
    const Shape shape = shapeOf(picture);
    if (picture.isNull() || shape.opaque.size() < 8)
        return QPoint();
    const QImage screen = shot.convertToFormat(QImage::Format_RGB32);
    for (int y = corners.top(); y <= corners.bottom(); ++y)
        for (int x = corners.left(); x <= corners.right(); ++x)
            if (drawnAt(screen, QPoint(x, y), shape, tolerance, share))
                return QPoint(x, y) + QPoint(picture.width() / 2, picture.height() / 2);
    return QPoint();
}

// The centre of the picture drawn anywhere in `area` of `shot` (wholly inside it), or a null point.
inline QPoint findPictureIn(const QImage &shot, const QRect &area, const QImage &picture, int tolerance = 6,
                            double share = 1.0)
{
    const QRect corners(area.topLeft(), area.size() - picture.size() + QSize(1, 1));
    return findPicture(shot, corners, picture, tolerance, share);
}

// Whether the picture is drawn so that it covers `probe`.
inline bool coversPoint(const QImage &shot, const QPoint &probe, const QImage &picture, int tolerance = 6)
{
    const QRect corners(probe - QPoint(picture.width() - 1, picture.height() - 1), picture.size());
    return !findPicture(shot, corners, picture, tolerance).isNull();
}

// Whether `probe` shows the picture: drawn at its size over the point, or, where a control scales it (a
// button's face), the point has the colour that fills most of the picture.
inline bool showsPicture(const QImage &shot, const QPoint &probe, const QImage &picture, int tolerance = 6)
{
    if (picture.isNull() || !shot.rect().contains(probe))
        return false;
    return coversPoint(shot, probe, picture, tolerance) ||
           near(shot.pixel(probe) | 0xff000000u, mainColour(picture), tolerance);
}

} // namespace PicturesOnScreen
