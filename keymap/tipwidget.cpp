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
    adjustSize();
}

void TipWidget::showFor(const QPoint &globalPos, int msec)
{
    move(globalPos);
    show();
    // Bound to the tip: a timer whose tip is gone never fires.
    QTimer::singleShot(msec, this, [this] { close(); });
}
