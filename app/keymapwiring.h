#pragma once

class AndroidTouchWidget;
class KeyMapOverlay;

// Joins the key-map player of the touch layer (screen/) to the play overlay of the key-map feature
// (keymap/): the overlay's buttons become children of the touch layer, built, cleared and faded when
// the player asks. The overlay belongs to the touch layer.
KeyMapOverlay *wireKeyMapOverlay(AndroidTouchWidget *touch);
