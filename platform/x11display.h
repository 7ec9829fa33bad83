#pragma once

// Facts of the X server the program's windows are on, asked over a small connection of its own (the
// DISPLAY the GUI uses). Every call answers "no" when there is no X server. GUI thread only.
namespace X11Display {

// A compositing manager runs on the default screen: some client owns the selection _NET_WM_CM_S<n>.
bool compositingManagerRunning();

// The key with this X key code is down in the server's keyboard state now. While a key is held the
// server's auto-repeat sends release and press pairs, yet the key stays down in this state; the user's
// real release takes it up.
bool keyDown(unsigned int keyCode);

} // namespace X11Display
