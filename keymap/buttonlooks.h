#pragma once

#include <QImage>
#include <QMargins>
#include <QPoint>
#include <QString>
#include <QVector>

class QFont;
class QPainter;
class QPushButton;
class QRect;
class QWidget;

// Style sheets shared by the key-map buttons' forms; every picture is ":/images/<name>.png".
namespace ButtonLooks {

QString imageUrl(const QString &name);
// A flat push button showing `picture`, and `picture`_over while the mouse is over it.
QString imageButton(const QString &picture);
// A push button of the given size with that look, placed by the caller.
QPushButton *makeImageButton(QWidget *parent, const QString &objectName, const QString &picture, int width,
                             int height);
// The small close button at a button's top-right corner (key_close).
QPushButton *makeCloseButton(QWidget *parent);

// The display-only buttons of the play overlay have no child widgets: each paints a picture of its kind
// and its key text itself. What follows gives them what the editable form's widgets would have painted.
//
// What `widget`'s children paint, each visible child (with its own children) onto a clear image of its
// own at the given device pixel ratio, in painting order. Drawn one after another where the children
// lie, they give the very pixels the children would paint there: one picture of them all would blend
// overlapping children in another order and differ by a unit here and there.
struct Layer
{
    QPoint pos;
    QImage image;
};
QVector<Layer> renderedLayers(QWidget *widget, qreal devicePixelRatio);
void drawLayers(QPainter *painter, const QVector<Layer> &layers);
// Draws `text` where a key field (KeyLineEdit) whose rectangle is `field` in the painter's coordinates,
// with this style-sheet padding, this font and white text, would draw it: centred, clipped to the
// padded rectangle, and a text too wide for it showing its end (as the field does with its cursor after
// the last letter). The painter's state is kept.
void drawFieldText(QPainter *painter, const QRect &field, const QMargins &padding, const QFont &font,
                   const QString &text);

} // namespace ButtonLooks
