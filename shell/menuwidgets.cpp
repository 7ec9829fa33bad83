#include "orvmenu.h"
#include "scripttoptooltip.h"
#include "voiceslider.h"

#include <QEvent>
#include <QLabel>
#include <QPainter>
#include <QSlider>
#include <QTimer>
#include <QVBoxLayout>

bool OrvMenu::event(QEvent *event)
{
    // The drop shadow is a property of the native window class on the platform that has one; an X11
    // window has no class style to change, and the menu windows here have no shadow of their own.
    return QMenu::event(event);
}

VoiceSlider::VoiceSlider(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("VoiceSliderWidget"));
    resize(35, 184);
    setStyleSheet(QStringLiteral("#VoiceSliderWidget{ background: #3a3f49; margin: 0; padding: 0; }"));
    setAttribute(Qt::WA_StyledBackground);
    setWindowTitle(tr("Form"));
    auto *layout = new QVBoxLayout(this);
    layout->setSpacing(0);
    layout->setContentsMargins(0, 0, 0, 0);
    m_slider = new QSlider(Qt::Vertical, this);
    m_slider->setObjectName(QStringLiteral("VoiceSlider"));
    m_slider->setRange(0, kMaximum);
    m_slider->setPageStep(5);
    m_slider->setValue(7);
    m_slider->setMinimumSize(18, 140);
    m_slider->setLayoutDirection(Qt::LeftToRight);
    m_slider->setStyleSheet(QStringLiteral(
        "QSlider{ margin-top: 16px; }"
        "QSlider::groove:vertical{ width: 4px; background: rgb(53, 57, 64); }"
        "QSlider::add-page:vertical{ background: white; width: 4px; }"
        "QSlider::sub-page:vertical{ background: rgb(122, 125, 141); width: 4px; }"
        "QSlider::handle:vertical{ background: white; height: 16px; width: 16px; margin: 0 -6px; "
        "border-radius: 8px; }"));
    layout->addWidget(m_slider, 0, Qt::AlignHCenter | Qt::AlignTop);
    m_label = new QLabel(this);
    m_label->setObjectName(QStringLiteral("label_value"));
    m_label->setText(tr("50%"));
    m_label->setFixedSize(35, 44);
    m_label->setAlignment(Qt::AlignCenter);
    m_label->setStyleSheet(QStringLiteral("font: 12px \"微软雅黑\"; color: #7a7d8d; background: #33373f; "
                                          "margin-top: 10px; border: none;"));
    layout->addWidget(m_label, 0, Qt::AlignBottom | Qt::AlignLeft);
    connect(m_slider, &QSlider::sliderMoved, this, &VoiceSlider::sliderMovedSlot);
    connect(m_slider, &QSlider::sliderReleased, this, &VoiceSlider::sliderReleasedSlot);
}

QString VoiceSlider::percentText(int value)
{
    return QString::number(static_cast<int>(value / static_cast<double>(kMaximum) * 100)) + QLatin1Char('%');
}

void VoiceSlider::sliderMovedSlot(int value)
{
    m_label->setText(percentText(value));
}

void VoiceSlider::sliderReleasedSlot()
{
    emit sliderReleased(m_slider->value());
}

void VoiceSlider::setValue(int value)
{
    const QSignalBlocker block(m_slider);
    m_slider->setValue(value);
    m_label->setText(percentText(m_slider->value()));
}

int VoiceSlider::value() const
{
    return m_slider->value();
}

ScriptTopTooltip::ScriptTopTooltip(QWidget *parent) : QWidget(parent, Qt::ToolTip | Qt::FramelessWindowHint)
{
    setObjectName(QStringLiteral("ScriptTopTooltip"));
    setAttribute(Qt::WA_TranslucentBackground);
    resize(189, 67);
}

void ScriptTopTooltip::showAt(QPoint pos, int msec)
{
    move(pos);
    show();
    QTimer::singleShot(msec, this, &QWidget::close);
}

void ScriptTopTooltip::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.drawPixmap(0, 0, QPixmap(QStringLiteral(":/images/menu_script_stop_tip.png")));
}
