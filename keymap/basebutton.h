#pragma once

#include "tipwidget.h"

#include <QPoint>
#include <QWidget>

#include <memory>

class QGraphicsOpacityEffect;
class QMouseEvent;

// What the six kinds of key-map button share: the tip bubble, the opacity effect, the recorded centre
// point and the offset of that centre inside the widget, the drag state and the display-only flag.
// The same classes serve the key-map editor (movable, with keys to type and a close button) and the
// play overlay of the Android screen (display-only: no tip, no input, every event passes).
//
// Positions are in the parent's coordinates. The recorded centre, not the widget's geometry, is what a
// key map keeps: moveCenter and moveTopLeft record it, center returns it.
class BaseButton : public QWidget
{
    Q_OBJECT

public:
    // The editable form has the editor's child widgets (key fields, close button, handles); the
    // display-only form of the tapped key and the swipe has none and paints itself (see KeyButton).
    enum Form
    {
        EditableForm,
        DisplayOnlyForm
    };

    explicit BaseButton(QWidget *parent = nullptr);
    ~BaseButton() override;

    // Opacity of the whole button, children included: 0.0 transparent to 1.0 opaque.
    // An opacity below 1.0 installs an opacity effect, unless the window the button sits in shows the
    // opacity itself (setOpacityByWindow).
    void setOpacity(double value);
    double opacity() const { return m_opacity; }
    // The button's window carries the opacity (the play overlay): the value is kept, no effect is made.
    void setOpacityByWindow(bool on);
    // Moves the widget so that its centre point lies at (x, y) and records that centre.
    void moveCenter(int x, int y);
    // Moves the widget's top-left corner to (x, y) and records the centre that puts there.
    void moveTopLeft(int x, int y);
    // The recorded centre; (0, 0) until one of the two moves ran.
    QPoint center() const { return centerPoint; }
    QPoint centerOffsetPoint() const { return centerOffset; }
    // Closes the tip if it shows, whatever the display-only flag.
    void hideTip();
    // The tip bubble, made when first asked for (the play overlay's buttons never show one).
    TipWidget *tipWidget();
    void setTipText(const QString &text);

    // Handles the mouse events of the child widgets the kind watches (its handle); true consumes.
    virtual bool filterChildEvent(QObject *watched, QEvent *event) = 0;
    // Play-overlay form: key fields read-only, close button hidden, widget disabled. The base does
    // nothing.
    virtual void setDisplayOnly(bool on);

    bool displayOnly = false;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void enterEvent(QEvent *event) override;
    void leaveEvent(QEvent *event) override;

    // The common drag protocol, for the kinds' filterChildEvent: a left press records the grab point
    // (and hides the tip), a move with exactly the left button held moves the button.
    bool isLeftPress(QEvent *event) const;
    bool isLeftDragMove(QEvent *event) const;
    bool isLeftRelease(QEvent *event) const;
    void startDrag(QEvent *event);
    void dragTo(QEvent *event);

    QPoint centerPoint;
    QPoint centerOffset;
    QPoint dragOffset;
    QGraphicsOpacityEffect *opacityEffect = nullptr;

private:
    std::unique_ptr<TipWidget> m_tip;
    QString m_tipText;
    double m_opacity = 1.0;
    bool m_opacityByWindow = false;
};
