#include "progressbar.h"

#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QTimer>

#include <cmath>

namespace {
constexpr double kStepPerTick = 0.05;
constexpr double kStartPerSecond = 1.0;
constexpr int kTrackTop = 39;
constexpr int kBubbleWidth = 42;
} // namespace

ProgressBar::ProgressBar(QWidget *parent)
    : QWidget(parent), m_stepTimer(new QTimer(this)), m_secondTimer(new QTimer(this))
{
    setObjectName(QStringLiteral("progressBar"));
    // Not through the process-wide pixmap cache: the picture goes with the start-up window.
    m_textBackground = QPixmap::fromImage(QImage(QStringLiteral(":/images/process_text_bg.png")),
                                          Qt::ThresholdDither | Qt::AvoidDither);
    connect(m_stepTimer, &QTimer::timeout, this, &ProgressBar::stepTick);
    connect(m_secondTimer, &QTimer::timeout, this, &ProgressBar::secondTick);
    m_stepTimer->start(1);
    m_secondTimer->start(1000);
}

void ProgressBar::setBarSize(int width, int height)
{
    m_scale = width / 100.0;
    resize(width, height);
}

void ProgressBar::setProgress(int start, int end)
{
    m_start = start;
    m_end = end;
    resumeStepping();
}

void ProgressBar::resumeStepping()
{
    if (!m_done && m_start > m_current && !m_stepTimer->isActive())
        m_stepTimer->start(1);
}

QString ProgressBar::percentText() const
{
    return QStringLiteral("%1%").arg(static_cast<int>(std::lround(m_current)));
}

void ProgressBar::stepTick()
{
    const bool moved = m_start > m_current;
    if (moved)
        m_current += kStepPerTick;
    if (m_current < 100.0) {
        // While the shown value waits for the target nothing changes on screen: no repaint, and the
        // millisecond tick rests until the target moves again (painting and waking for nothing kept a
        // fifth of a core busy).
        if (moved)
            update();
        else
            m_stepTimer->stop();
        return;
    }
    if (!m_done) {
        m_done = true;
        emit process_100();
    }
    m_stepTimer->stop();
}

void ProgressBar::secondTick()
{
    if (m_end > m_start) {
        m_start += kStartPerSecond;
        resumeStepping();
    }
    if (m_end >= 100.0)
        m_secondTimer->stop();
}

void ProgressBar::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.save();
    painter.setRenderHints(QPainter::Antialiasing | QPainter::SmoothPixmapTransform);
    const double x = m_current * m_scale;

    painter.fillRect(QRect(QPoint(0, kTrackTop), QPoint(width() - 1, kTrackTop + 3)), QColor("#182c46"));

    QLinearGradient gradient(0, 0, x, 0);
    gradient.setColorAt(0, QColor("#007FFF"));
    gradient.setColorAt(1, QColor("#70F0FF"));
    painter.setPen(Qt::transparent);
    painter.setBrush(gradient);
    painter.drawRoundedRect(QRectF(-3, kTrackTop, x, 4), 3, 3, Qt::AbsoluteSize);

    const int bubbleX = static_cast<int>(x - 23);
    painter.drawPixmap(QRect(QPoint(bubbleX, 0), QPoint(bubbleX + kBubbleWidth, 33)), m_textBackground);

    QFont font(QStringLiteral("微软雅黑"));
    font.setPixelSize(13);
    painter.setFont(font);
    painter.setPen(QColor("#6eeeff"));
    painter.drawText(QRect(QPoint(bubbleX, 3), QPoint(bubbleX + kBubbleWidth, 22)), Qt::AlignCenter,
                     percentText());
    painter.restore();
}
