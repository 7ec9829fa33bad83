#pragma once

#include <QString>

// Roots of per-user data and settings on this platform. Every path that the programs build under the
// roaming or local application-data folder starts from one of these functions.
namespace Platform {

// The roaming application-data root: $APPDATA when set, else the XDG data home.
QString appDataRoot();

// The local application-data root: $LOCALAPPDATA when set, else the XDG data home.
QString localAppDataRoot();

// Points Qt's native settings at the XDG folders: the machine-wide scope at the first entry of
// $XDG_CONFIG_DIRS (default /etc/xdg), the user scope at $XDG_CONFIG_HOME (default ~/.config).
// Call once before the first QSettings object is made.
void initSettingsPaths();

// The machine-wide settings folder chosen by initSettingsPaths().
QString systemSettingsDir();

// The per-user folder for runtime files (locks), inside the temporary folder.
QString runtimeDir();

} // namespace Platform
