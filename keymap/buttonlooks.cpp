#include "buttonlooks.h"

#include <QFontMetrics>
#include <QImage>
#include <QPainter>
#include <QPushButton>
#include <QTextLayout>

namespace ButtonLooks {

QString imageUrl(const QString &name)
{
    // Joined at run time: every picture the buttons name is listed in keymapimages.qrc.
    return QStringLiteral("url(:/images/") + name + QStringLiteral(".png)");
}

QString imageButton(const QString &picture)
{
    return QStringLiteral("QPushButton { background: transparent; border: none; border-image: %1; }"
                          "QPushButton:hover { border-image: %2; }")
        .arg(imageUrl(picture), imageUrl(picture + QStringLiteral("_over")));
}

QPushButton *makeImageButton(QWidget *parent, const QString &objectName, const QString &picture, int width,
                             int height)
{
    auto *button = new QPushButton(parent);
    button->setObjectName(objectName);
    button->setFixedSize(width, height);
    button->setFocusPolicy(Qt::NoFocus);
    button->setStyleSheet(imageButton(picture));
    return button;
}

QPushButton *makeCloseButton(QWidget *parent)
{
    return makeImageButton(parent, QStringLiteral("btn_close"), QStringLiteral("key_close"), 14, 14);
}

QVector<Layer> renderedLayers(QWidget *widget, qreal devicePixelRatio)
{
    QVector<Layer> layers;
    // Children paint in the order of the children list (raise moves one to its end).
    for (QObject *object : widget->children()) {
        auto *child = qobject_cast<QWidget *>(object);
        if (!child || child->isWindow() || child->isHidden())
            continue;
        QImage image(child->size() * devicePixelRatio, QImage::Format_ARGB32_Premultiplied);
        image.setDevicePixelRatio(devicePixelRatio);
        image.fill(Qt::transparent);
        child->render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
        layers.append({child->pos(), image});
    }
    return layers;
}

void drawLayers(QPainter *painter, const QVector<Layer> &layers)
{
    for (const Layer &layer : layers)
        painter->drawImage(layer.pos, layer.image);
}

void drawFieldText(QPainter *painter, const QRect &field, const QMargins &padding, const QFont &font,
                   const QString &text)
{
    if (text.isEmpty())
        return;
    // The field's own arithmetic: its contents rectangle (the padding off, no border), a line of the
    // font's height centred in it (rounded down), 2 pixels kept free left and right and the text
    // centred on that line.
    const int horizontalMargin = 2;
    const QRect contents = field.marginsRemoved(padding);
    const QFontMetrics metrics(font);
    const int top = contents.y() + (contents.height() - metrics.height() + 1) / 2;
    const QRect lineRect(contents.x() + horizontalMargin, top, contents.width() - 2 * horizontalMargin,
                         metrics.height());

    QTextLayout layout(text, font);
    QTextOption option = layout.textOption();
    option.setFlags(QTextOption::IncludeTrailingSpaces);
    layout.setTextOption(option);
    layout.beginLayout();
    QTextLine line = layout.createLine();
    layout.endLayout();

    const int widthUsed = qRound(line.naturalTextWidth()) + 1;
    const int cursorX = qRound(line.cursorToX(text.size()));
    int scroll = 0;
    if (widthUsed <= lineRect.width())
        scroll = (widthUsed - lineRect.width()) / 2;
    else if (cursorX >= lineRect.width())
        scroll = cursorX - lineRect.width() + 1;
    const QPoint topLeft = lineRect.topLeft() - QPoint(scroll, qRound(line.ascent()) - metrics.ascent());

    painter->save();
    painter->setClipRect(contents, Qt::IntersectClip);
    painter->setPen(Qt::white);
    layout.draw(painter, topLeft, {}, contents);
    painter->restore();
}

} // namespace ButtonLooks
