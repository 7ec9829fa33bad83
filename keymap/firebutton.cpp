#include "firebutton.h"

#include "buttonlooks.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QPushButton>

PointButton::PointButton(QWidget *parent, const QString &formName, const QString &imageName,
                         const QString &picture)
    : BaseButton(parent)
{
    setObjectName(formName);
    setAttribute(Qt::WA_TranslucentBackground);
    resize(80, 80);
    setMaximumSize(80, 80);
    setBaseSize(80, 80);
    auto *layout = new QHBoxLayout(this);
    layout->setObjectName(QStringLiteral("horizontalLayout"));
    layout->setSpacing(0);
    layout->setContentsMargins(0, 0, 0, 0);
    m_image = ButtonLooks::makeImageButton(this, imageName, picture, 66, 66);
    m_btnClose = ButtonLooks::makeCloseButton(this);
    layout->addWidget(m_image, 0, Qt::AlignLeft | Qt::AlignBottom);
    layout->addWidget(m_btnClose, 0, Qt::AlignRight | Qt::AlignTop);
    // The middle of the 66 x 66 image in the bottom-left corner.
    centerOffset = QPoint(33, 47);
    m_image->installEventFilter(this);
    connect(m_btnClose, &QPushButton::clicked, this, &PointButton::on_btn_close_clicked);
}

bool PointButton::filterChildEvent(QObject *watched, QEvent *event)
{
    if (watched != m_image)
        return false;
    if (isLeftPress(event)) {
        startDrag(event);
        return true;
    }
    if (isLeftDragMove(event)) {
        dragTo(event);
        setCursor(Qt::OpenHandCursor);
        return true;
    }
    if (isLeftRelease(event)) {
        setCursor(Qt::ArrowCursor);
        return true;
    }
    return false;
}

void PointButton::setDisplayOnly(bool on)
{
    m_btnClose->setVisible(!on);
    setEnabled(!on);
}

void PointButton::on_btn_close_clicked()
{
    hide();
}

FireButton::FireButton(QWidget *parent)
    : PointButton(parent, QStringLiteral("FireButton"), QStringLiteral("btn_fire"),
                  QStringLiteral("key_operate_fire"))
{
    setTipText(tr("fire tip"));
}

AimButton::AimButton(QWidget *parent)
    : PointButton(parent, QStringLiteral("AimButton"), QStringLiteral("btn_aim"),
                  QStringLiteral("key_operate_aim"))
{
    setTipText(tr("aim tip"));
}
