#include "playerpainter.h"

#include <QCheckBox>
#include <QFontMetrics>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QStyleOptionButton>

namespace OrvMulti {

const char *const PlayerPainter::ImagePrefix = ":/Images/Resources/Images/";

namespace {

PlayerPainter *g_painter = nullptr;

// A hidden push button whose style sheet draws the picture `name` and its hover, pressed and disabled
// forms.
std::unique_ptr<QPushButton> makeCarrier(const QString &name)
{
    auto button = std::make_unique<QPushButton>();
    const QString prefix = QString::fromLatin1(PlayerPainter::ImagePrefix);
    button->setStyleSheet(
        QStringLiteral("QPushButton{border:none;background:transparent;border-image:url(%1%2.png);}"
                       "QPushButton:hover{border-image:url(%1%2Hover.png);}"
                       "QPushButton:pressed{border-image:url(%1%2Pressed.png);}"
                       "QPushButton:disabled{border-image:url(%1%2Disabled.png);}")
            .arg(prefix, name));
    button->ensurePolished();
    return button;
}

// A rectangle from its inclusive corners.
QRect corners(int left, int top, int right, int bottom)
{
    return QRect(QPoint(left, top), QPoint(right, bottom));
}

} // namespace

PlayerPainter::PlayerPainter(QObject *parent)
    : QObject(parent), edit(makeCarrier(QStringLiteral("editBtn"))),
      start(makeCarrier(QStringLiteral("btnstart"))), close(makeCarrier(QStringLiteral("closePlayerBtn"))),
      backupOrRestore(makeCarrier(QStringLiteral("backupOrRestoreBtn"))),
      remove(makeCarrier(QStringLiteral("delBtn"))), shortcut(makeCarrier(QStringLiteral("shortcutBtn")))
{
    g_painter = this;
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

QFont PlayerPainter::textFont()
{
    QFont font(QStringLiteral("微软雅黑"));
    font.setPixelSize(16);
    return font;
}

QStyle::State PlayerPainter::optionState(int pointerState)
{
    switch (pointerState) {
    case Disabled:
        return QStyle::State_None;
    case Pressed:
        return QStyle::State_Enabled | QStyle::State_Sunken;
    case Hovered:
        return QStyle::State_Enabled | QStyle::State_MouseOver;
    default:
        return QStyle::State_Enabled;
    }
}

QRect PlayerPainter::checkBoxRect(const QRect &r)
{
    const int top = r.top() + (r.bottom() - r.top() - 21) / 2 + 1;
    return corners(r.left() + 14, top, r.left() + 35, top + 21);
}

QString PlayerPainter::elidedTitle(const QRect &r, const QString &title)
{
    return QFontMetrics(textFont()).elidedText(title, Qt::ElideRight, r.right() - r.left() - 49);
}

QRect PlayerPainter::editButtonRect(const QRect &r, const QString &title)
{
    const int left = r.left() + QFontMetrics(textFont()).horizontalAdvance(elidedTitle(r, title)) + 10;
    const int top = r.top() + (r.bottom() - r.top() - 15) / 2 + 1;
    return corners(left, top, left + 15, top + 15);
}

static int iconTop(const QRect &r)
{
    return r.top() + (r.bottom() - r.top() - 19) / 2;
}

QRect PlayerPainter::backupIconRect(const QRect &r)
{
    return corners(r.left() + 53, iconTop(r), r.left() + 74, iconTop(r) + 19);
}

QRect PlayerPainter::deleteIconRect(const QRect &r)
{
    return corners(r.left() + 113, iconTop(r), r.left() + 132, iconTop(r) + 19);
}

QRect PlayerPainter::shortcutIconRect(const QRect &r)
{
    return corners(r.left() + 173, iconTop(r), r.left() + 192, iconTop(r) + 19);
}

QRect PlayerPainter::actionButtonRect(const QRect &r)
{
    const int top = r.top() + (r.bottom() - r.top() - 35) / 2;
    return corners(r.left() + 233, top, r.left() + 304, top + 35);
}

QPoint PlayerPainter::progressOrigin(const QRect &r)
{
    return QPoint(r.right() - 210, r.top() + 25);
}

void PlayerPainter::drawCarrier(QPainter *painter, QPushButton *carrier, const QRect &rect, int pointerState)
{
    QStyleOptionButton option;
    option.initFrom(carrier);
    option.rect = rect;
    option.state = optionState(pointerState);
    option.features = QStyleOptionButton::None;
    carrier->style()->drawControl(QStyle::CE_PushButton, &option, painter, carrier);
}

void PlayerPainter::drawCheckBox(QPainter *painter, const QRect &rect, bool checked)
{
    // A check box made for the call, so that the application style sheet's indicator pictures apply.
    QCheckBox box;
    box.ensurePolished();
    QStyleOptionButton option;
    option.initFrom(&box);
    option.rect = checkBoxRect(rect);
    option.state = QStyle::State_Enabled | (checked ? QStyle::State_On : QStyle::State_Off);
    box.style()->drawPrimitive(QStyle::PE_IndicatorCheckBox, &option, painter, &box);
}

void PlayerPainter::drawTitle(QPainter *painter, const QRect &rect, const QColor &colour, const QString &text,
                              int editState)
{
    painter->save();
    painter->setFont(textFont());
    painter->setPen(colour);
    painter->drawText(rect, Qt::AlignLeft | Qt::AlignVCenter, elidedTitle(rect, text));
    painter->restore();
    drawCarrier(painter, edit.get(), editButtonRect(rect, text), editState);
}

void PlayerPainter::drawStateLabel(QPainter *painter, const QRect &rect, const QColor &colour,
                                   const QString &text)
{
    painter->save();
    painter->setFont(textFont());
    painter->setPen(colour);
    painter->drawText(rect, Qt::AlignLeft | Qt::AlignVCenter, text);
    painter->restore();
}

void PlayerPainter::drawActions(QPainter *painter, const QRect &rect, const QColor &colour, int backupState,
                                int deleteState, int shortcutState, bool showButton, int buttonState,
                                const QString &text)
{
    drawCarrier(painter, backupOrRestore.get(), backupIconRect(rect), backupState);
    drawCarrier(painter, remove.get(), deleteIconRect(rect), deleteState);
    drawCarrier(painter, shortcut.get(), shortcutIconRect(rect), shortcutState);
    if (!showButton)
        return;
    const QRect buttonRect = actionButtonRect(rect);
    drawCarrier(painter, text == tr("start") ? start.get() : close.get(), buttonRect, buttonState);
    painter->save();
    painter->setFont(textFont());
    painter->setPen(colour);
    painter->drawText(buttonRect, Qt::AlignCenter, text);
    painter->restore();
}

void PlayerPainter::drawProgress(QPainter *painter, const QRect &rect, int frame)
{
    const QPixmap picture(QString::fromLatin1(ImagePrefix) +
                          QStringLiteral("progressBar%1.png").arg(frame + 1));
    painter->drawPixmap(progressOrigin(rect), picture);
}

} // namespace OrvMulti
