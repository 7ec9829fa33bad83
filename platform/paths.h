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

// The per-user private folder for runtime files: instance segments, their lock files and the instance
// channels. $XDG_RUNTIME_DIR/orvanta when XDG_RUNTIME_DIR is set, else <temporary folder>/orvanta-<uid>.
// Created 0700 when missing. Refused (empty result, `problem` tells why) when it is not a real folder
// owned by this user, or when another user could write into it: whoever controls it could take over or
// block this user's emulators. A folder of this user that others may only read is made private.
QString privateRuntimeDir(QString *problem = nullptr);

// Files and folders the process makes from here on are this user's only (folders 0700, files 0600):
// the umask of the process, inherited by the programs it starts.
void usePrivateFileModes();

// Takes the group's and others' access away from `root` and everything under it that belongs to this
// user (an earlier version made them with the default modes); links are not followed. Missing: nothing.
void makePrivateTree(const QString &root);

} // namespace Platform
