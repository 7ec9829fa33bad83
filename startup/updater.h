#pragma once

#include <QString>

// The updater program OrvantaUpdater lies beside the emulator and is not part of it. The emulator starts
// it with one instruction word and reads nothing but its exit code.
namespace Updater {

constexpr const char *kProgramName = "OrvantaUpdater";

// Instruction words.
constexpr const char *kCheckWhenStarting = "fromOrvantaToCheckWhenStarting"; // start-up check, exit code read
constexpr const char *kResetVBox = "fromOrvantaToResetVBox"; // reinstall VirtualBox, waited for
constexpr const char *kUpdate = "fromOrvantaToUpdate";       // install the offered version, not waited for
constexpr const char *kCheck = "fromOrvantaToCheck";         // settings window's check, exit code read
constexpr const char *kUninstall = "uninstall";              // followed by the installation root

// Waits, in milliseconds.
constexpr int kCheckWhenStartingWaitMs = 12000;
constexpr int kResetVBoxWaitMs = 120000;
constexpr int kCheckWaitMs = 120000;

// Exit-code bits of the checks.
enum Bit : int
{
    NewVersion = 2,          // a newer version is offered
    NewVersionClearData = 4, // a newer version is offered whose installation clears the instance's data
    FilesMissing = 8,        // files of the installation are missing
    ReinstallVBox = 64       // VirtualBox must be reinstalled
};

// The updater's path: the program folder followed by "/OrvantaUpdater".
QString programPath();

// Runs the updater with one instruction word and waits up to `timeoutMs` for it. There is no elevation
// on this platform: it runs with this process's rights (logged). The answer is its exit code; -1 when it
// gave none: no end within the wait (it runs on) or an end by a signal (a crash is no answer, never a
// set of bits); 0 when it could not be started.
int run(const QString &word, int timeoutMs);

// Starts the updater with one instruction word and does not wait; a missing program is not reported.
void start(const QString &word);

// What the start-up does with the answer of the start-up check.
struct StartCheckDecision
{
    enum Prompt
    {
        NoPrompt,
        UpdatePrompt,          // the update prompt (message empty)
        UpdatePromptClearData, // the update prompt with the clear-data warning (message "clear")
        FileMissing            // the file-missing dialog, then the start-up ends
    };
    Prompt prompt = NoPrompt;
    bool reinstallVBox = false;
    bool goOn = true; // false: the start-up ends
};

// The decision for an exit code (-1: no answer in time) of the start-up check. The prompts apply from
// version "1.4.0" on (string comparison); the first set bit among 2, 4, 8 wins. Bit 64 asks for the
// VirtualBox reinstall whatever the version, unless the start-up ends.
StartCheckDecision decideStartCheck(int code, const QString &productVersion);

} // namespace Updater
