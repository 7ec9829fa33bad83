#pragma once

#include <QString>
#include <QStringList>

// Desktop shortcuts of the instances: freedesktop ".desktop" files in the user's desktop folder, and
// the list file of the titles the manager made them for.
namespace OrvMulti {

// The user's desktop folder: $XDG_DESKTOP_DIR, else ~/Desktop.
QString desktopFolder();
// <desktop>/<name>.desktop
QString desktopShortcutPath(const QString &name);
// <local app data>/OrvMultiPlayer/shortcuts
QString shortcutListPath();

// Quotes one argument for the Exec key of a desktop entry (the freedesktop Exec quoting rules, applied
// before the general string escaping of the key's value).
QString quoteExecArgument(const QString &argument);

// Writes the desktop entry `linkPath`: starts `target` with `arguments` (each one argument) in the
// target's folder. False when the entry could not be written.
bool createShellLink(const QString &linkPath, const QString &target, const QString &icon,
                     const QStringList &arguments, const QString &description);

// Makes the shortcut <name> and, when it was written, adds name to the list file.
bool createDesktopShortcut(const QString &name, const QString &target, const QString &icon,
                           const QStringList &arguments, const QString &description);
// Removes name from the list file and deletes the shortcut; the result is that of the deletion.
bool removeDesktopShortcut(const QString &name);
bool desktopShortcutExists(const QString &name);

} // namespace OrvMulti
