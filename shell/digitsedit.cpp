#include "digitsedit.h"

#include <QEvent>
#include <QIntValidator>
#include <QRegularExpression>
#include <QRegularExpressionValidator>
#include <QToolTip>

DigitsEdit::DigitsEdit(QWidget *parent) : QLineEdit(parent)
{
    setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]+$")), this));
}

void DigitsEdit::setRange(int min, int max)
{
    m_min = min;
    m_max = max;
    const QValidator *previous = validator();
    setValidator(new QIntValidator(min, max, this));
    // The field owns its validators; the one replaced is of no further use.
    if (previous && previous->parent() == this)
        delete previous;
}

int DigitsEdit::clampText()
{
    bool ok = false;
    int value = text().toInt(&ok, 10);
    if (!ok) {
        // Digits only, so a text that is no int is empty or too long for one: the longest texts are
        // above every range.
        value = text().isEmpty() ? 0 : m_max;
    }
    if (value < m_min)
        value = m_min;
    else if (value > m_max)
        value = m_max;
    setText(QString::number(value));
    return text().toInt();
}

bool DigitsEdit::event(QEvent *e)
{
    if (e->type() == QEvent::KeyPress) {
        const int x = parentWidget() ? parentWidget()->pos().x() : 0;
        const QPoint local(x, pos().y() + 10);
        QToolTip::showText(mapToGlobal(local), QStringLiteral("%1 ~ %2").arg(m_min).arg(m_max), this);
    } else if (e->type() == QEvent::FocusOut) {
        emit text_changed(clampText());
    }
    return QLineEdit::event(e);
}
