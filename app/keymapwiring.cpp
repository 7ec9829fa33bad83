#include "keymapwiring.h"

#include "androidtouchwidget.h"
#include "keymapoverlay.h"
#include "keymapplayer.h"

KeyMapOverlay *wireKeyMapOverlay(AndroidTouchWidget *touch)
{
    auto *overlay = new KeyMapOverlay(touch, touch);
    KeyMapPlayer *player = touch->keyMapPlayer();
    QObject::connect(player, &KeyMapPlayer::overlayBuildRequested, overlay, &KeyMapOverlay::build);
    QObject::connect(player, &KeyMapPlayer::overlayClearRequested, overlay, &KeyMapOverlay::clear);
    QObject::connect(player, &KeyMapPlayer::overlayOpacityRequested, overlay, &KeyMapOverlay::setOpacity);
    return overlay;
}
