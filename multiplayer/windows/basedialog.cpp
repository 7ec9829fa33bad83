#include "basedialog.h"

#include <QMouseEvent>
#include <QPainter>

#include <cmath>

namespace OrvMulti {

BaseDialog::BaseDialog(QWidget *parent) : QDialog(parent)
{
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint);
    setAttribute(Qt::WA_TranslucentBackground);
}

int BaseDialog::shadowAlpha(int ring)
{
    return static_cast<int>(150 - 50 * std::sqrt(static_cast<double>(ring)));
}

void BaseDialog::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton && event->pos().y() <= DragBandHeight) {
        pressPos = event->globalPos();
        dragging = true;
    }
    event->ignore();
}

void BaseDialog::mouseMoveEvent(QMouseEvent *event)
{
    if (dragging) {
        currentPos = event->globalPos();
        move(pos() + (currentPos - pressPos));
        pressPos = currentPos;
    }
    event->ignore();
}

void BaseDialog::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton)
        dragging = false;
    event->ignore();
}

void BaseDialog::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing, true);
    const int w = width();
    const int h = height();
    painter.fillRect(QRect(ShadowWidth, ShadowWidth, w - 2 * ShadowWidth, h - 2 * ShadowWidth), Qt::white);
    for (int i = 0; i < ShadowWidth; ++i) {
        QColor colour(0, 0, 0, shadowAlpha(i));
        painter.setPen(QPen(colour, 1));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(QRect(ShadowWidth - i, ShadowWidth - i, w - 2 * ShadowWidth + 2 * i,
                               h - 2 * ShadowWidth + 2 * i));
    }
}

} // namespace OrvMulti
