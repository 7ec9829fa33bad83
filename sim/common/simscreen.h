#pragma once

// The picture the simulated guest shows, as the render stand-in reads it: one file per emulator
// process, <screen folder>/<key>.frame, where the key is the process id the emulator hands the
// render library at init and publishes to the machine as its emu_id guest property. The guest
// rewrites the file atomically (a dot-prefixed temporary renamed into place) whenever the picture
// changes.
//
// File layout: the text line "ORVFRAME <width> <height> <rotation> <sequence>\n", then width x height
// pixels of 4 bytes each, row by row, each a little-endian 0xffRRGGBB word. A rotation of -1 means the
// guest's graphics stream has not started yet (the boot picture).
//
// The screen folder: $ORV_SIM_SCREEN_DIR, else <$ORV_VBOX_STATE>/screens, else
// <$TMPDIR or /tmp>/orv-sim-screens-<uid>.

#include <cstdint>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace SimScreen {

inline std::string screenDir()
{
    if (const char *dir = std::getenv("ORV_SIM_SCREEN_DIR"); dir && *dir)
        return dir;
    if (const char *state = std::getenv("ORV_VBOX_STATE"); state && *state)
        return std::string(state) + "/screens";
    const char *tmp = std::getenv("TMPDIR");
    return std::string(tmp && *tmp ? tmp : "/tmp") + "/orv-sim-screens-" + std::to_string(getuid());
}

inline std::string frameFileName(const std::string &key)
{
    return key + ".frame";
}

constexpr const char *kMagic = "ORVFRAME";

} // namespace SimScreen
