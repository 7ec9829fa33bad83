#pragma once

// X key auto-repeat without its release/press pairs: with XKB's detectable auto-repeat switched on for
// this program's own X connection, a held key arrives as repeated presses and one release when it is
// really let go, so a release always means the key is up.
namespace DetectableRepeat {

// Switches it on for the application's X connection (once; later calls return the first answer).
// False without X, without the XKB extension, or when the server refuses.
bool enable();

} // namespace DetectableRepeat
