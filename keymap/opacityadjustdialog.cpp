#include "opacityadjustdialog.h"

#include <QFontMetrics>
#include <QLabel>
#include <QPushButton>
#include <QSlider>

namespace {

const char kLabelStyle[] = "color: rgb(122, 125, 141); font-size: %1px; font-family: \"微软雅黑\";"
                           " background: transparent; border: none;";

// Makes `label` show its whole text inside `room`: the text's own size where it fits, wrapped onto
// the lines the room's height allows, else cut short with "…" and the whole text as its tip.
void fitLabel(QLabel *label, const QRect &room)
{
    // The style sheet's font, as the label will draw.
    label->ensurePolished();
    const QFontMetrics metrics(label->font());
    const QString text = label->text();
    label->setToolTip(QString());
    const int oneLine = metrics.horizontalAdvance(text) + 2;
    if (oneLine <= room.width()) {
        label->setWordWrap(false);
        const int height = qMin(room.height(), metrics.height() + 2);
        label->setGeometry(room.x(), room.y() + (room.height() - height) / 2, room.width(), height);
        return;
    }
    const QRect wrapped = metrics.boundingRect(QRect(0, 0, room.width(), 10000), Qt::TextWordWrap, text);
    if (wrapped.height() <= room.height()) {
        label->setWordWrap(true);
        label->setGeometry(room);
        return;
    }
    label->setWordWrap(false);
    label->setGeometry(room.x(), room.y(), room.width(), qMin(room.height(), metrics.height() + 2));
    label->setText(metrics.elidedText(text, Qt::ElideRight, room.width() - 2));
    label->setToolTip(text);
}

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
    // Between the left edge and the slider; sized to the text rather than to a fixed width.
    fitLabel(m_labelOpacity, QRect(12, 52, 79 - 12 - 4, 28));

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
    // Room for "99%" inside the dialog's right edge.
    m_labelValue->setGeometry(349, 56, 44, 22);
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
    // The whole width of the dialog, on up to two lines, above the save area.
    fitLabel(m_labelTip, QRect(16, 84, 400 - 32, 48));

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
