#include "operatorbutton.h"

#include <QMouseEvent>

OperatorButton::OperatorButton(QWidget *parent) : QPushButton(parent), tip(nullptr) {}

OperatorButton::~OperatorButton() = default;

void OperatorButton::setTipText(const QString &text)
{
    tip.setTipText(text);
}

void OperatorButton::enterEvent(QEvent *event)
{
    QPushButton::enterEvent(event);
    // Centred under the button, 10 pixels below its bottom edge, as the key-map buttons place theirs.
    tip.ensureSized();
    tip.move(mapToGlobal(QPoint((width() - tip.width()) / 2, height() + 10)));
    tip.show();
}

void OperatorButton::leaveEvent(QEvent *event)
{
    QPushButton::leaveEvent(event);
    if (tip.isVisible())
        tip.close();
}

void OperatorButton::mousePressEvent(QMouseEvent *event)
{
    if (tip.isVisible())
        tip.close();
    event->ignore();
}
