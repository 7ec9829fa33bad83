#include "overlaywindow.h"

#include "x11display.h"

#include <QBitmap>
#include <QEvent>
#include <QHash>
#include <QImage>
#include <QPainter>
#include <QRegion>
#include <QVector>
#include <QWindow>

OverlayWindow::OverlayWindow(QWidget *anchor) : QWidget(nullptr), m_anchor(anchor)
{
    setObjectName(QStringLiteral("keyMapOverlayWindow"));
    setWindowTitle(QStringLiteral("key map overlay"));
    setWindowFlags(Qt::Tool | Qt::FramelessWindowHint | Qt::WindowDoesNotAcceptFocus |
                   Qt::WindowTransparentForInput | Qt::NoDropShadowWindowHint);
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFocusPolicy(Qt::NoFocus);
    m_composited = X11Display::compositingManagerRunning();
    applyLook();
    watchAncestors();
}

OverlayWindow::~OverlayWindow() = default;

void OverlayWindow::applyLook()
{
    // The alpha channel is chosen when the native window is made: drop it so the next show makes it anew.
    if (testAttribute(Qt::WA_WState_Created) && testAttribute(Qt::WA_TranslucentBackground) != m_composited) {
        const bool wasVisible = isVisible();
        hide();
        destroy();
        setAttribute(Qt::WA_TranslucentBackground, m_composited);
        if (wasVisible)
            show();
    } else {
        setAttribute(Qt::WA_TranslucentBackground, m_composited);
    }
    setAutoFillBackground(false);
    if (m_composited) {
        clearMask();
        setWindowOpacity(m_opacity);
    } else {
        setWindowOpacity(1.0);
        m_shapeDirty = true;
        updateShape();
    }
}

void OverlayWindow::checkCompositing()
{
    const bool now = X11Display::compositingManagerRunning();
    if (now == m_composited)
        return;
    m_composited = now;
    applyLook();
    follow();
}

void OverlayWindow::setContentShown(bool shown)
{
    m_contentShown = shown;
    m_shapeDirty = true;
    updateShape();
    follow();
}

void OverlayWindow::setOverlayOpacity(double value)
{
    m_opacity = value;
    if (m_composited)
        setWindowOpacity(value);
}

void OverlayWindow::updateShape()
{
    if (m_composited)
        return;
    // Each child's painted pixels: it is drawn once onto a clear image, and where it left any colour
    // the window shows (its empty corners and margins stay the picture's).
    // Buttons of one kind and size have one outline: each outline is drawn once per shape update.
    QHash<QString, QRegion> outlines;
    QVector<QRegion> parts;
    for (QObject *child : children()) {
        auto *w = qobject_cast<QWidget *>(child);
        if (!w || w->isWindow() || w->isHidden() || w->size().isEmpty())
            continue;
        const QString kind = QString::fromLatin1(w->metaObject()->className()) + QLatin1Char(' ') +
                             QString::number(w->width()) + QLatin1Char('x') + QString::number(w->height());
        auto it = outlines.find(kind);
        if (it == outlines.end()) {
            QImage image(w->size(), QImage::Format_ARGB32_Premultiplied);
            image.fill(Qt::transparent);
            w->render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
            it = outlines.insert(kind, QRegion(QBitmap::fromImage(image.createAlphaMask())));
        }
        parts.append(it->translated(w->pos()));
    }
    // United pairwise, so that no union grows with the number of buttons already united.
    while (parts.size() > 1) {
        QVector<QRegion> next;
        next.reserve((parts.size() + 1) / 2);
        for (int i = 0; i + 1 < parts.size(); i += 2)
            next.append(parts.at(i).united(parts.at(i + 1)));
        if (parts.size() % 2)
            next.append(parts.last());
        parts.swap(next);
    }
    QRegion region = parts.isEmpty() ? QRegion() : parts.first();
    // An empty mask would mean "no mask" (the whole window): one pixel off the window stands for none.
    if (region.isEmpty())
        region = QRegion(-1, -1, 1, 1);
    setMask(region);
    m_shapeDirty = false;
}

void OverlayWindow::watchAncestors()
{
    for (const QPointer<QWidget> &w : m_watched) {
        if (w)
            w->removeEventFilter(this);
    }
    m_watched.clear();
    for (QWidget *w = m_anchor; w; w = w->parentWidget()) {
        w->installEventFilter(this);
        m_watched.append(w);
        if (w->isWindow())
            break;
    }
}

void OverlayWindow::follow()
{
    if (!m_anchor) {
        hide();
        return;
    }
    QWidget *top = m_anchor->window();
    const bool minimised = top->windowState() & Qt::WindowMinimized;
    const bool wanted = m_contentShown && m_anchor->isVisible() && !minimised && !m_anchor->size().isEmpty();
    const QRect target(m_anchor->mapToGlobal(QPoint(0, 0)), m_anchor->size());
    if (geometry() != target)
        setGeometry(target);
    if (!wanted) {
        if (isVisible())
            hide();
        return;
    }
    if (m_shapeDirty)
        updateShape();
    if (!isVisible()) {
        // Created first, so that the window manager knows it belongs above the Android window.
        create();
        if (windowHandle() && top->windowHandle())
            windowHandle()->setTransientParent(top->windowHandle());
        show();
    }
    raise();
}

bool OverlayWindow::eventFilter(QObject *watched, QEvent *event)
{
    switch (event->type()) {
    case QEvent::Move:
    case QEvent::Resize:
    case QEvent::Show:
    case QEvent::Hide:
    case QEvent::WindowStateChange:
    case QEvent::WindowActivate:
        follow();
        break;
    case QEvent::WinIdChange:
        // The Android window's native window was made anew: tie this window to the new one.
        if (watched == (m_anchor ? m_anchor->window() : nullptr) && windowHandle() &&
            m_anchor->window()->windowHandle())
            windowHandle()->setTransientParent(m_anchor->window()->windowHandle());
        follow();
        break;
    case QEvent::ParentChange:
        watchAncestors();
        follow();
        break;
    default:
        break;
    }
    return false;
}

void OverlayWindow::paintEvent(QPaintEvent *)
{
    if (m_composited)
        return;
    // Opaque without a compositing manager; the shape lets only the buttons' own pixels through, so this
    // ground shows nowhere but under a half-transparent pixel of a picture.
    QPainter painter(this);
    painter.fillRect(rect(), QColor(30, 30, 30));
}
