#include "androidgeometry.h"

#include <algorithm>

namespace AndroidGeometry {

namespace {
// Width of the frame band that resizes the window.
constexpr int kBand = 3;
} // namespace

int isLandscapeRotation(int rotation)
{
    return rotation == 0 || rotation == 180 ? 0 : 1;
}

ViewLayout layoutView(const QSize &area, const QSize &orientedSize, bool maximized, bool fullScreen,
                      int menuBarWidth)
{
    ViewLayout layout;
    const int w = area.width();
    const int h = area.height();
    if (maximized && !fullScreen) {
        layout.viewSize = orientedSize.scaled(w - menuBarWidth, h, Qt::KeepAspectRatio);
        layout.offset =
            QPoint((w - menuBarWidth - layout.viewSize.width()) / 2, (h - layout.viewSize.height()) / 2);
    } else if (fullScreen) {
        layout.viewSize = orientedSize.scaled(w, h, Qt::KeepAspectRatio);
        if (layout.viewSize.width() == w)
            layout.offset = QPoint(0, (h - layout.viewSize.height()) / 2);
        else
            layout.offset = QPoint((w - layout.viewSize.width()) / 2, 0);
    } else {
        layout.viewSize = area;
    }
    return layout;
}

QPoint menuBarPosition(const QRect &window, bool maximized, int menuBarWidth, int titleHeight)
{
    // Measured from the window's top: a maximized window need not stand at y 0 (a panel above it).
    if (maximized)
        return QPoint(window.x() + window.width() - menuBarWidth, window.y() + titleHeight + 2);
    return QPoint(window.x() + window.width() - 1, window.y());
}

ResizeRegion regionAt(const QRect &window, const QPoint &g)
{
    const int left = window.left();
    const int top = window.top();
    const int right = window.right();
    const int bottom = window.bottom();
    const bool inLeft = g.x() >= left && g.x() <= left + kBand - 1;
    const bool inRight = g.x() >= right - (kBand - 1) && g.x() <= right;
    const bool inTop = g.y() >= top && g.y() <= top + kBand - 1;
    const bool inBottom = g.y() >= bottom - (kBand - 1) && g.y() <= bottom;
    if (inLeft && inTop)
        return ResizeTopLeft;
    if (inRight && inBottom)
        return ResizeBottomRight;
    if (inLeft && inBottom)
        return ResizeBottomLeft;
    if (inRight && inTop)
        return ResizeTopRight;
    if (inLeft)
        return ResizeLeft;
    if (!inRight) {
        if (inTop)
            return ResizeTop;
        if (inBottom)
            return ResizeBottom;
        return ResizeNone;
    }
    return ResizeRight;
}

QRect resizedRect(ResizeRegion region, const QRect &window, const QPoint &g, const QSize &minimum,
                  const std::function<int(int)> &widthFor, const std::function<int(int)> &heightFor)
{
    int left = window.left();
    int top = window.top();
    int right = window.right();
    int bottom = window.bottom();
    const int minW = minimum.width();
    const int minH = minimum.height();
    switch (region) {
    case ResizeTop:
        if (bottom - g.y() > minH)
            top = g.y();
        right = left + widthFor(bottom - top) - 1;
        break;
    case ResizeBottom:
    case ResizeBottomRight: {
        const int h = std::max(g.y() - top, minH);
        bottom = top + h - 1;
        right = left + widthFor(h) - 1;
        break;
    }
    case ResizeLeft:
    case ResizeBottomLeft:
        if (right - g.x() > minW)
            left = g.x();
        bottom = top + heightFor(right - left) - 1;
        break;
    case ResizeRight: {
        const int w = std::max(g.x() - left, minW);
        right = left + w - 1;
        bottom = top + heightFor(w) - 1;
        break;
    }
    case ResizeTopLeft:
        if (right - g.x() > minW)
            left = g.x();
        if (bottom - g.y() > minH)
            top = g.y();
        bottom = top + heightFor(right - left) - 1;
        break;
    case ResizeTopRight: {
        const int w = std::max(g.x() - left, minW);
        right = left + w - 1;
        top = g.y();
        bottom = top + heightFor(w) - 1;
        break;
    }
    case ResizeNone:
        break;
    }
    return QRect(QPoint(left, top), QPoint(right, bottom));
}

} // namespace AndroidGeometry
