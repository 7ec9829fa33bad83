#include "basebutton.h"

#include <QEvent>
#include <QGraphicsOpacityEffect>
#include <QMouseEvent>

BaseButton::BaseButton(QWidget *parent) : QWidget(parent) {}

BaseButton::~BaseButton()
{
    // Removing the installed effect deletes it, before any child is gone.
    setGraphicsEffect(nullptr);
    opacityEffect = nullptr;
}

void BaseButton::setOpacity(double value)
{
    m_opacity = value;
    if (m_opacityByWindow)
        return;
    // An effect paints the button through a pixmap of its own: made only when it changes something.
    if (!opacityEffect && value >= 1.0)
        return;
    if (!opacityEffect) {
        opacityEffect = new QGraphicsOpacityEffect();
        setGraphicsEffect(opacityEffect);
    }
    opacityEffect->setOpacity(value);
}

void BaseButton::setOpacityByWindow(bool on)
{
    m_opacityByWindow = on;
    if (on && opacityEffect) {
        setGraphicsEffect(nullptr);
        opacityEffect = nullptr;
    } else if (!on) {
        setOpacity(m_opacity);
    }
}

void BaseButton::moveCenter(int x, int y)
{
    move(x - centerOffset.x(), y - centerOffset.y());
    centerPoint = QPoint(x, y);
}

void BaseButton::moveTopLeft(int x, int y)
{
    move(x, y);
    centerPoint = QPoint(x + centerOffset.x(), y + centerOffset.y());
}

void BaseButton::hideTip()
{
    if (m_tip && m_tip->isVisible())
        m_tip->close();
}

TipWidget *BaseButton::tipWidget()
{
    // A top-level window with a style sheet of its own: too dear to make for every button of a map.
    if (!m_tip) {
        m_tip = std::make_unique<TipWidget>(nullptr);
        m_tip->setTipText(m_tipText);
    }
    return m_tip.get();
}

void BaseButton::setTipText(const QString &text)
{
    m_tipText = text;
    if (m_tip)
        m_tip->setTipText(text);
}

void BaseButton::setDisplayOnly(bool) {}

bool BaseButton::eventFilter(QObject *watched, QEvent *event)
{
    if (displayOnly)
        return false;
    return filterChildEvent(watched, event);
}

void BaseButton::enterEvent(QEvent *event)
{
    QWidget::enterEvent(event);
    if (displayOnly)
        return;
    // Centred under the button, 10 pixels below its bottom edge (integer halves toward zero).
    TipWidget *tip = tipWidget();
    tip->ensureSized();
    const QPoint local((width() - tip->width()) / 2, height() + 10);
    tip->move(mapToGlobal(local));
    tip->show();
}

void BaseButton::leaveEvent(QEvent *event)
{
    QWidget::leaveEvent(event);
    if (displayOnly)
        return;
    hideTip();
}

bool BaseButton::isLeftPress(QEvent *event) const
{
    return event->type() == QEvent::MouseButtonPress &&
           static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton;
}

bool BaseButton::isLeftDragMove(QEvent *event) const
{
    return event->type() == QEvent::MouseMove &&
           static_cast<QMouseEvent *>(event)->buttons() == Qt::MouseButtons(Qt::LeftButton);
}

bool BaseButton::isLeftRelease(QEvent *event) const
{
    return event->type() == QEvent::MouseButtonRelease &&
           static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton;
}

void BaseButton::startDrag(QEvent *event)
{
    hideTip();
    dragOffset = static_cast<QMouseEvent *>(event)->windowPos().toPoint() - pos();
}

void BaseButton::dragTo(QEvent *event)
{
    const QPoint topLeft = static_cast<QMouseEvent *>(event)->windowPos().toPoint() - dragOffset;
    moveTopLeft(topLeft.x(), topLeft.y());
}
