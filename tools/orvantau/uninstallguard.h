#pragma once

#include <QList>
#include <QString>

// The uninstall guard's decisions, apart from its window: whether an emulator runs, and the start of
// the updater's copy that removes the installation.
namespace UninstallGuard {

// The emulator's program name; a process whose executable has this file name (case matters) blocks the
// uninstall. A process that only calls itself so (its command name) does not.
constexpr const char *kEmulatorProgram = "Orvanta";
// The updater beside the guard in the program folder, and the instruction word it is given.
constexpr const char *kUpdaterProgram = "OrvantaUpdater";
constexpr const char *kUninstallWord = "uninstall";
// Prefix of the user's private folder (in the temporary folder) that receives the updater's copy.
constexpr const char *kCopyFolderPrefix = "OrvantaU-";

// Ids of the threads of every process whose executable's file name equals `name` exactly; empty when
// none runs.
QList<qint64> findProcessThreads(const QString &name);

// The installation root of a program folder: its grandparent, absolute and cleaned.
QString installationRoot(const QString &programDir);

// The user's private folder for the updater's copy: <temporary folder>/OrvantaU-<uid>; empty when the
// temporary folder does not exist.
QString copyFolder();

enum class Outcome
{
    Started,           // the copy was made and started
    SourceMissing,     // no updater in the program folder
    FolderRefused,     // the copy folder cannot be made, or belongs to someone else, or others can write it,
                       // or another user could swap it: the temporary folder or a folder above it belongs
                       // to another user (not root), or others may write it and it has no sticky bit
    OldCopyNotRemoved, // an earlier copy is there and cannot be removed
    CopyFailed,        // the copy could not be written completely
    StartFailed,       // the copy did not start
};

// Copies <programDir>/OrvantaUpdater into copyFolder() (replacing an earlier copy) and starts the copy
// with "uninstall" and the installation root, not waiting for it. The copy is written and started by
// path, so the path must be one that only this user (and root) can change: a temporary folder that
// another user could rename or replace, or any folder above it, is refused. Nothing is started unless
// every step before succeeded; each outcome is logged.
Outcome startUninstall(const QString &programDir);

} // namespace UninstallGuard
