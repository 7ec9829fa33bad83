#pragma once

#include <QPointer>
#include <QWidget>

// A top-level window of its own that lies exactly over an anchor widget and shows what must be seen
// over the Android picture while a key map plays. The render library draws the picture into a native
// child window inside the Android window, and X always shows a child window above its parent's
// painting, so nothing painted into the Android window itself can be seen over the picture.
//
// Where a compositing manager runs (it owns the _NET_WM_CM_S selection) the window has an alpha
// channel: its empty parts are clear and its opacity is the window's. Where none runs, an alpha
// channel would show as black, so the window is opaque and cut to the rectangles of its children (X
// Shape extension). It never takes the pointer or the keyboard: input goes on to the touch layer.
//
// It follows the anchor: position and size (moves, resizes, rotation, maximise and full screen all
// reach the anchor as a move or a resize of it or of one of its ancestors), and visibility (the
// Android window hidden, minimised or shown again). It keeps itself above the Android window (its
// transient parent, whose native window may be recreated).
class OverlayWindow : public QWidget
{
    Q_OBJECT

public:
    explicit OverlayWindow(QWidget *anchor);
    ~OverlayWindow() override;

    QWidget *anchor() const { return m_anchor; }
    bool composited() const { return m_composited; }
    // Whether there is anything to show; the window is mapped only when there is and the anchor shows.
    void setContentShown(bool shown);
    bool contentShown() const { return m_contentShown; }
    // 0.0 to 1.0: the window's opacity where a compositing manager runs (an opaque window without one).
    void setOverlayOpacity(double value);
    double overlayOpacity() const { return m_opacity; }
    // Asks the X server again whether a compositing manager runs and adapts the window to the answer.
    void checkCompositing();
    // Recomputes the window's shape from its visible children (without a compositing manager).
    void updateShape();
    // Places and shows or hides the window as the anchor is now.
    void follow();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    void watchAncestors();
    void applyLook();

    QPointer<QWidget> m_anchor;
    QList<QPointer<QWidget>> m_watched;
    bool m_composited = false;
    bool m_contentShown = false;
    bool m_shapeDirty = true;
    double m_opacity = 1.0;
};
