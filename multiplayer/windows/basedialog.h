#pragma once

#include <QDialog>
#include <QPoint>

namespace OrvMulti {

// The manager's own window chrome: a frameless, translucent dialog that paints a white panel inset by
// the shadow width with a soft dark shadow ring around it, and that the user drags by its top band.
class BaseDialog : public QDialog
{
    Q_OBJECT

public:
    // Height of the band at the top of the window by which it is dragged.
    static constexpr int DragBandHeight = 70;
    // Width of the shadow ring; the panel starts this far inside the window's edges.
    static constexpr int ShadowWidth = 10;

    explicit BaseDialog(QWidget *parent = nullptr);

    // Alpha of the shadow outline `ring` pixels outside the panel's edge (0 is the panel's edge):
    // 150 - 50 * sqrt(ring), truncated toward zero.
    static int shadowAlpha(int ring);

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    QPoint pressPos;   // global position of the last drag step
    QPoint currentPos; // global position of the current drag step
    bool dragging = false;
};

} // namespace OrvMulti
