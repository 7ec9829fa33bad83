#pragma once

#include "keymapfile.h"

#include <QList>
#include <QMap>
#include <QObject>
#include <QPointer>

class AimButton;
class BaseButton;
class FireButton;
class KeyButton;
class PositionButton;
class SensorButton;
class OverlayWindow;
class SlideButton;
class QWidget;

// The play overlay: the buttons of the key map in force, shown display-only over the Android screen.
// The buttons sit in a window of their own (OverlayWindow) that lies exactly over `host` (the touch
// layer) and follows it, so they are seen above the render library's picture; they are placed at the
// key map's points in the host's coordinates, transparent for the mouse and without tips or input. The
// tapped keys and swipes, of which a map may hold hundreds, are made in their display-only form (no
// child widgets, no style sheets: each paints itself).
class KeyMapOverlay : public QObject
{
    Q_OBJECT

public:
    explicit KeyMapOverlay(QWidget *host, QObject *parent = nullptr);
    ~KeyMapOverlay() override;

    QWidget *host() const { return m_host; }
    // The window the buttons are shown in.
    OverlayWindow *window() const;
    bool isEmpty() const { return buttons().isEmpty(); }
    QList<BaseButton *> buttons() const;
    FireButton *fireButton() const;
    AimButton *aimButton() const;
    PositionButton *positionButton() const;
    SensorButton *sensorButton() const;
    QMap<QString, KeyButton *> keyButtons() const;
    QMap<QString, SlideButton *> slideButtons() const;

public slots:
    // Removes the current buttons and builds one per entry of `map` (a pad once, placed by its centre
    // entry and shown only when that entry exists).
    void build(const KeyMap &map);
    void clear();
    // 0.0 transparent to 1.0 opaque, for every button.
    void setOpacity(double value);

private:
    // `form`, where the kind has one: the display-only form of the tapped key and the swipe.
    template <typename Button, typename... Form> Button *makeButton(Form... form);

    QPointer<QWidget> m_host;
    QPointer<OverlayWindow> m_window;
    QPointer<FireButton> m_fire;
    QPointer<AimButton> m_aim;
    QPointer<PositionButton> m_position;
    QPointer<SensorButton> m_sensor;
    QMap<QString, QPointer<KeyButton>> m_keys;
    QMap<QString, QPointer<SlideButton>> m_slides;
    double m_opacity = 0.5;
};
