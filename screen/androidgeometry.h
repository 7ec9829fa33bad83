#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>

#include <functional>

// The Android window's geometry record: the guest's screen size and orientation, the picture's size and
// place inside "showWindow", and the normal geometry kept across the maximized and full-screen states.
struct AndroidDisplayInfo
{
    int portraitHeight = 0;  // window height remembered while the screen is portrait
    int landscapeHeight = 0; // window height remembered while the screen is landscape
    QSize deviceSize;        // guest resolution of the settings, portrait terms
    QSize orientedSize;      // deviceSize turned to the current orientation
    QSize viewSize;          // the picture inside "showWindow"
    int isLandscape = 0;     // 1 when the rotation is neither 0 nor 180
    int rotation = 0;        // last rotation reported by the render library, in degrees
    double ratio = 0;        // deviceSize width / height; never changes with rotation
    QPoint viewPos;          // offset of the picture inside "showWindow"
    quintptr winId = 0;      // native window of "showWindow"
    QPoint normalPos;        // window position to return to from maximized or full screen
};

// Frame regions of the window that a mouse drag resizes.
enum ResizeRegion : int
{
    ResizeTop = 0,
    ResizeBottom = 1,
    ResizeLeft = 2,
    ResizeRight = 3,
    ResizeTopLeft = 4,
    ResizeBottomLeft = 5,
    ResizeBottomRight = 6,
    ResizeTopRight = 7,
    ResizeNone = 8
};

// Pure arithmetic of the Android window's layout.
namespace AndroidGeometry {

// 1 unless the rotation is 0 or 180.
int isLandscapeRotation(int rotation);

struct ViewLayout
{
    QSize viewSize;
    QPoint offset;
};

// The picture inside "showWindow" (size `area`): maximized, it fits the area left of the menu bar and
// is centred there; full screen, it fits the whole area and is centred along the axis with room to
// spare; in the normal window it fills the area (the window already has the screen's aspect).
ViewLayout layoutView(const QSize &area, const QSize &orientedSize, bool maximized, bool fullScreen,
                      int menuBarWidth);

// Where the side menu bar goes: maximized, inside the window's right edge under its title bar;
// otherwise just outside the right edge, overlapping the window's last pixel column.
QPoint menuBarPosition(const QRect &window, bool maximized, int menuBarWidth, int titleHeight);

// The frame region under the screen point `g` of a window with the screen rectangle `window` (the
// outer 3-pixel band of each edge).
ResizeRegion regionAt(const QRect &window, const QPoint &g);

// The window rectangle after dragging `region` to the screen point `g`; `widthFor(h)` and
// `heightFor(w)` keep the content's aspect; `minimum` is the window's minimum size.
QRect resizedRect(ResizeRegion region, const QRect &window, const QPoint &g, const QSize &minimum,
                  const std::function<int(int)> &widthFor, const std::function<int(int)> &heightFor);

} // namespace AndroidGeometry
