#include "verticalopacityslider.h"

#include <QLabel>
#include <QSlider>
#include <QVBoxLayout>

verticalOpacitySlider::verticalOpacitySlider(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("verticalOpacitySlider"));
    resize(55, 170);
    setAttribute(Qt::WA_StyledBackground);
    setStyleSheet(QStringLiteral(
        "QWidget#verticalOpacitySlider { background: rgb(53, 57, 64); margin: 0px; padding: 0px; }"));

    auto *layout = new QVBoxLayout(this);
    layout->setObjectName(QStringLiteral("verticalLayout"));
    layout->setSpacing(0);
    layout->setContentsMargins(0, 0, 0, 0);

    m_slider = new QSlider(Qt::Vertical, this);
    m_slider->setObjectName(QStringLiteral("OpacitySlider"));
    m_slider->setRange(0, 99);
    m_slider->setPageStep(10);
    m_slider->setValue(50);
    m_slider->setMinimumSize(16, 140);
    m_slider->setLayoutDirection(Qt::LeftToRight);
    m_slider->setStyleSheet(QStringLiteral(
        "QSlider { margin-top: 16px; }"
        "QSlider::groove:vertical { width: 4px; background: rgb(53, 57, 64); }"
        "QSlider::add-page:vertical { background: white; width: 4px; }"
        "QSlider::sub-page:vertical { background: rgb(122, 125, 141); width: 4px; }"
        "QSlider::handle:vertical { background: white; height: 16px; margin: 0 -6px; border-radius: 8px; }"));
    layout->addWidget(m_slider, 0, Qt::AlignTop | Qt::AlignHCenter);

    m_labelValue = new QLabel(this);
    m_labelValue->setObjectName(QStringLiteral("label_value"));
    m_labelValue->setText(tr("50%"));
    m_labelValue->setMinimumSize(55, 30);
    m_labelValue->setStyleSheet(QStringLiteral(
        "font-size: 12px; font-family: \"微软雅黑\"; color: rgb(122, 125, 141); margin-top: 8px;"));
    m_labelValue->setAlignment(Qt::AlignCenter);
    layout->addWidget(m_labelValue, 0, Qt::AlignBottom | Qt::AlignLeft);

    connect(m_slider, &QSlider::sliderMoved, this, &verticalOpacitySlider::sliderMovedSlot);
}

verticalOpacitySlider::~verticalOpacitySlider() = default;

void verticalOpacitySlider::setValue(int value)
{
    const QSignalBlocker blocker(m_slider);
    m_slider->setValue(value);
    m_labelValue->setText(QString::number(value) + QLatin1Char('%'));
}

int verticalOpacitySlider::value() const
{
    return m_slider->value();
}

void verticalOpacitySlider::sliderMovedSlot(int value)
{
    emit sliderMoved(value);
    m_labelValue->setText(QString::number(value) + QLatin1Char('%'));
}
