#include "opacityadjustdialog.h"

#include <QLabel>
#include <QPushButton>
#include <QSlider>

namespace {

const char kLabelStyle[] = "color: rgb(122, 125, 141); font-size: %1px; font-family: \"微软雅黑\";"
                           " background: transparent; border: none;";

} // namespace

OpacityAdjustDialog::OpacityAdjustDialog(const QString &hotKeyText, QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("OpacityAdjustDialog"));
    resize(400, 220);
    setStyleSheet(QStringLiteral("QDialog#OpacityAdjustDialog { background: rgb(53, 57, 64); }"));
    setWindowFlags(Qt::Tool | Qt::FramelessWindowHint);

    m_labelOpacity = new QLabel(this);
    m_labelOpacity->setObjectName(QStringLiteral("label_opacity"));
    m_labelOpacity->setGeometry(20, 58, 45, 15);
    m_labelOpacity->setStyleSheet(QString::fromUtf8(kLabelStyle).arg(14));
    m_labelOpacity->setText(tr("opacity"));

    m_slider = new QSlider(Qt::Horizontal, this);
    m_slider->setObjectName(QStringLiteral("OpacitySlider"));
    m_slider->setGeometry(79, 58, 260, 16);
    m_slider->setRange(0, 99);
    m_slider->setPageStep(50);
    m_slider->setValue(49);
    m_slider->setStyleSheet(
        QStringLiteral("QSlider::groove:horizontal { height: 4px; background: white; border-radius: 2px; }"
                       "QSlider::sub-page:horizontal { background: white; border-radius: 2px; }"
                       "QSlider::add-page:horizontal { background: rgb(122, 125, 141); border-radius: 2px; }"
                       "QSlider::handle:horizontal { background: white; width: 16px; margin: -6px 0; "
                       "border-radius: 8px; }"));

    m_labelValue = new QLabel(this);
    m_labelValue->setObjectName(QStringLiteral("label_value"));
    m_labelValue->setGeometry(355, 60, 65, 12);
    m_labelValue->setStyleSheet(QString::fromUtf8(kLabelStyle).arg(12));

    m_labelTip = new QLabel(this);
    m_labelTip->setObjectName(QStringLiteral("label_tip"));
    m_labelTip->setGeometry(90, 90, 220, 20);
    m_labelTip->setStyleSheet(QString::fromUtf8(kLabelStyle).arg(14));
    m_labelTip->setAlignment(Qt::AlignCenter);
    // The hot key's text fills the text's %1; a text without one (no translation loaded) gets it appended,
    // so the hot key always shows.
    const QString tip = tr("tip");
    m_labelTip->setText(tip.contains(QLatin1String("%1")) ? tip.arg(hotKeyText)
                                                          : tip + QLatin1Char(' ') + hotKeyText);

    m_bottom = new QWidget(this);
    m_bottom->setObjectName(QStringLiteral("widget"));
    m_bottom->setGeometry(0, 138, 400, 82);
    m_bottom->setAttribute(Qt::WA_StyledBackground);
    m_bottom->setStyleSheet(QStringLiteral("QWidget#widget { background: rgb(53, 57, 64); }"));

    m_save = new QPushButton(m_bottom);
    m_save->setObjectName(QStringLiteral("pushButton_save"));
    m_save->setGeometry(20, 19, 360, 44);
    m_save->setText(tr("save"));
    m_save->setStyleSheet(QStringLiteral(
        "QPushButton { background: #0190ff; color: white; font-size: 16px; font-family: \"黑体\";"
        " border: none; border-radius: 2px; }"
        "QPushButton:hover { background: #44aeff; } QPushButton:pressed { background: #007ae7; }"));

    connect(m_save, &QPushButton::clicked, this, &QDialog::accept);
    connect(m_slider, &QSlider::sliderMoved, this, &OpacityAdjustDialog::sliderMovedSlot);
}

OpacityAdjustDialog::~OpacityAdjustDialog() = default;

void OpacityAdjustDialog::setValue(int value)
{
    const QSignalBlocker blocker(m_slider);
    m_slider->setValue(value);
    m_labelValue->setText(QString::number(value) + QLatin1Char('%'));
}

void OpacityAdjustDialog::sliderMovedSlot(int value)
{
    emit sliderMoved(value);
    m_labelValue->setText(QString::number(value) + QLatin1Char('%'));
}
