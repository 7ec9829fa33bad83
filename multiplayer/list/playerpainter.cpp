#include "playerpainter.h"

#include <QApplication>
#include <QCheckBox>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionButton>

namespace OrvMulti {

namespace {

PlayerPainter *g_painter = nullptr;

const char *const kImageRoot = ":/Images/Resources/Images/";
const char *const kFontFamily = "微软雅黑";
constexpr int kFontPixels = 16;

QPushButton *carrier(const char *image)
{
    auto *button = new QPushButton;
    const QString base = QLatin1String(kImageRoot) + QLatin1String(image);
    button->setStyleSheet(QStringLiteral("QPushButton{border:none;background:transparent;image:url(%1.png);}"
                                         "QPushButton:hover{image:url(%1Hover.png);}"
                                         "QPushButton:pressed{image:url(%1Pressed.png);}"
                                         "QPushButton:disabled{image:url(%1Disabled.png);}")
                              .arg(base));
    return button;
}

QRect inclusive(int left, int top, int right, int bottom)
{
    return QRect(QPoint(left, top), QPoint(right, bottom));
}

} // namespace

PlayerPainter::PlayerPainter(QObject *parent)
    : QObject(parent), edit(carrier("editBtn")), start(carrier("btnstart")), close(carrier("closePlayerBtn")),
      backupOrRestore(carrier("backupOrRestoreBtn")), remove(carrier("delBtn")),
      shortcut(carrier("shortcutBtn"))
{
}

PlayerPainter::~PlayerPainter()
{
    if (g_painter == this)
        g_painter = nullptr;
}

PlayerPainter *PlayerPainter::instance()
{
    return g_painter;
}

void PlayerPainter::setInstance(PlayerPainter *painter)
{
    g_painter = painter;
}

QFont PlayerPainter::cellFont()
{
    QFont font(QString::fromUtf8(kFontFamily));
    font.setPixelSize(kFontPixels);
    return font;
}

QRect PlayerPainter::backupRect(const QRect &r)
{
    const int top = r.top() + (r.bottom() - r.top() - 19) / 2;
    return inclusive(r.left() + 53, top, r.left() + 74, top + 19);
}

QRect PlayerPainter::deleteRect(const QRect &r)
{
    const int top = r.top() + (r.bottom() - r.top() - 19) / 2;
    return inclusive(r.left() + 113, top, r.left() + 132, top + 19);
}

QRect PlayerPainter::shortcutRect(const QRect &r)
{
    const int top = r.top() + (r.bottom() - r.top() - 19) / 2;
    return inclusive(r.left() + 173, top, r.left() + 192, top + 19);
}

QRect PlayerPainter::buttonRect(const QRect &r)
{
    const int top = r.top() + (r.bottom() - r.top() - 30) / 2;
    return inclusive(r.left() + 233, top, r.left() + 304, top + 30);
}

QRect PlayerPainter::editRect(const QRect &r, int elidedTextWidth)
{
    const int left = r.left() + elidedTextWidth + 10;
    const int top = r.top() + (r.bottom() - r.top() - 15) / 2 + 1;
    return inclusive(left, top, left + 15, top + 15);
}

void PlayerPainter::drawButton(QPainter *painter, QPushButton *button, const QRect &rect, int state,
                               const QString &text, const QColor &textColour)
{
    QStyleOptionButton option;
    option.initFrom(button);
    option.rect = rect;
    option.state = QStyle::State_None;
    if (state == 1)
        option.state |= QStyle::State_Enabled | QStyle::State_Sunken;
    else if (state == 0)
        option.state |= QStyle::State_Enabled | QStyle::State_MouseOver;
    else if (state != Disabled)
        option.state |= QStyle::State_Enabled;
    button->style()->drawControl(QStyle::CE_PushButton, &option, painter, button);
    if (!text.isEmpty()) {
        painter->save();
        painter->setPen(textColour);
        painter->setFont(cellFont());
        painter->drawText(rect, Qt::AlignCenter, text);
        painter->restore();
    }
}

void PlayerPainter::drawCheckBox(QPainter *painter, const QRect &r, bool checked)
{
    QCheckBox box;
    QStyleOptionButton option;
    option.initFrom(&box);
    const int top = r.top() + (r.bottom() - r.top() - 21) / 2 + 1;
    option.rect = inclusive(r.left() + 14, top, r.left() + 35, top + 21);
    option.state = QStyle::State_Enabled | (checked ? QStyle::State_On : QStyle::State_Off);
    box.style()->drawPrimitive(QStyle::PE_IndicatorCheckBox, &option, painter, &box);
}

void PlayerPainter::drawTitle(QPainter *painter, const QRect &r, const QColor &colour, const QString &text,
                              int editState)
{
    painter->save();
    painter->setFont(cellFont());
    painter->setPen(colour);
    const QFontMetrics metrics(cellFont());
    const QString elided = metrics.elidedText(text, Qt::ElideRight, r.right() - r.left() - 49);
    painter->drawText(r, Qt::AlignLeft | Qt::AlignVCenter, elided);
    painter->restore();
    drawButton(painter, edit.get(), editRect(r, metrics.horizontalAdvance(elided)), editState);
}

void PlayerPainter::drawStateLabel(QPainter *painter, const QRect &r, const QColor &colour,
                                   const QString &text)
{
    painter->save();
    painter->setFont(cellFont());
    painter->setPen(colour);
    painter->drawText(r, Qt::AlignLeft | Qt::AlignVCenter, text);
    painter->restore();
}

void PlayerPainter::drawActions(QPainter *painter, const QRect &r, const QColor &colour, int backupState,
                                int deleteState, int shortcutState, bool showButton, int buttonState,
                                const QString &text)
{
    drawButton(painter, backupOrRestore.get(), backupRect(r), backupState);
    drawButton(painter, remove.get(), deleteRect(r), deleteState);
    drawButton(painter, shortcut.get(), shortcutRect(r), shortcutState);
    if (showButton) {
        QPushButton *button = text == tr("start") ? start.get() : close.get();
        drawButton(painter, button, buttonRect(r), buttonState, text, colour);
    }
}

void PlayerPainter::drawProgress(QPainter *painter, const QRect &r, int frame)
{
    const QPixmap image(QLatin1String(kImageRoot) + QStringLiteral("progressBar%1.png").arg(frame + 1));
    if (!image.isNull())
        painter->drawPixmap(r.right() - 210, r.top() + 25, image);
}

} // namespace OrvMulti
