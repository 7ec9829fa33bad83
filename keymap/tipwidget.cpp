#include "tipwidget.h"

#include <QTimer>

TipWidget::TipWidget(QWidget *parent) : QPushButton(parent)
{
    setWindowFlags(Qt::ToolTip | Qt::FramelessWindowHint);
    setAttribute(Qt::WA_TranslucentBackground);
    updateStyle();
}

void TipWidget::updateStyle()
{
    setStyleSheet(QStringLiteral("background: #428DC0CC; padding: %1px; color: white; font-family: "
                                 "\"Microsoft YaHei\"; font-size: %2px; border: none; border-radius: %3px;")
                      .arg(padding)
                      .arg(fontSize)
                      .arg(radius));
}

void TipWidget::setTipText(const QString &text)
{
    setText(text);
    m_sizeDirty = true;
    if (isVisible())
        ensureSized();
}

void TipWidget::ensureSized()
{
    if (!m_sizeDirty)
        return;
    m_sizeDirty = false;
    adjustSize();
}

void TipWidget::showEvent(QShowEvent *event)
{
    ensureSized();
    QPushButton::showEvent(event);
}

void TipWidget::showFor(const QPoint &globalPos, int msec)
{
    ensureSized();
    move(globalPos);
    show();
    // Bound to the tip: a timer whose tip is gone never fires.
    QTimer::singleShot(msec, this, [this] { close(); });
}
