#include "orvlineedit.h"

namespace OrvMulti {

OrvLineEdit::OrvLineEdit(QWidget *parent) : QLineEdit(parent)
{
    setStyleSheet(QStringLiteral("font: 16px \"微软雅黑\";"));
    connect(this, &QLineEdit::textChanged, this, &OrvLineEdit::textChangedSlot);
}

void OrvLineEdit::textChangedSlot()
{
    ++m_changeCount;
}

} // namespace OrvMulti
