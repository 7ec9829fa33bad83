#pragma once

class AndroidTouchWidget;
class AndroidWindow;
class KeyMapOverlay;

// Joins the key-map player of the touch layer (screen/) to the play overlay of the key-map feature
// (keymap/): the overlay's buttons become children of the touch layer, built, cleared and faded when
// the player asks. The overlay belongs to the touch layer.
KeyMapOverlay *wireKeyMapOverlay(AndroidTouchWidget *touch);

// Joins the Android window's keyboard menu entry to the key-map editor (keymap/): the editor runs over
// the touch layer; a save shows the new map and then the opacity dialog; the editor's hot-key message is
// the common message dialog (shell/); a switch of key control shows its on/off notice.
void wireKeyMapEditor(AndroidWindow *window);
