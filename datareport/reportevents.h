#pragma once

// Identifiers of the usage events. "pair" names the key/value data a sender attaches; "map" is the
// whole system-information map (DataReportEngine::reportSysMsg).
namespace ReportEvent {
constexpr int StartUpInfo = 1000;            // "index": "1" with a package to launch, else "0"
constexpr int SystemInfo = 1001;             // map, when Android is first shown
constexpr int ErrorSystemInfo = 1002;        // map, after "error" was set
constexpr int ShownTime = 1003;              // "time": whole seconds since start
constexpr int RunMinutes = 1004;             // "time": whole minutes since start, at quit
constexpr int CheckDialogAsked = 1007;       // the start-up asked for the environment-check dialog
constexpr int CheckResult = 1008;            // "source", "initState", "endState", "clickState"
constexpr int OptionalChecksAgain = 2000;    // "source": "1" settings window, "0" title bar
constexpr int SettingsOpened = 2001;         // "source": "0" title bar, "1" tray
constexpr int FullScreen = 2002;             // "source": "1" touch widget, "0" menu bar
constexpr int KeyMapEditor = 2004;           // the key-map editor was opened
constexpr int InstallFromMenu = 2005;        // APK install from the menu's file dialog
constexpr int StopScript = 2006;             // stop script
constexpr int WindowHiddenOrShown = 2007;    // "source": origin
constexpr int AndroidBack = 2008;            // "source": origin
constexpr int AndroidHome = 2009;            // "source": origin
constexpr int AndroidMenu = 2010;            // "source": origin
constexpr int Screenshot = 2011;             // screenshot
constexpr int StayOnTop = 2012;              // stay-on-top toggled
constexpr int SharedFolderDialog = 2013;     // shared-folder dialog opened; also the check-update button
constexpr int Shake = 2014;                  // shake
constexpr int SettingsTab0 = 2100;           // settings window tab 0 selected
constexpr int SettingsTab1 = 2101;           // settings window tab 1 selected
constexpr int SettingsTab2 = 2102;           // settings window tab 2 selected
constexpr int InstallFromDrop = 2200;        // APK install from a file dropped on the screen
constexpr int NoticeOpenImage = 2301;        // screenshot notice: open image
constexpr int NoticeOpenFolder = 2302;       // screenshot notice: open the picture folder
constexpr int HostPictureFolder = 2401;      // shared-folder dialog: picture folder on the host
constexpr int AndroidPictureFolder = 2402;   // shared-folder dialog: picture folder in Android
constexpr int HostOtherFolder = 2403;        // shared-folder dialog: other folder on the host
constexpr int AndroidOtherFolder = 2404;     // shared-folder dialog: other folder in Android
constexpr int ManagerListBuilt = 2500;       // "source": the manager's `from` option
constexpr int ManagerCreate = 2501;          // manager: create pressed
constexpr int ManagerDelete = 2502;          // manager: delete requested
constexpr int ManagerBackupOrRestore = 2503; // manager: backup or restore requested
constexpr int ManagerBackup = 2504;          // manager: backup chosen
constexpr int ManagerRestore = 2505;         // manager: restore chosen
} // namespace ReportEvent

// Values of the "error" entry of the system-information map sent with ErrorSystemInfo, set when the user
// gives up the start from a dialog. Text, as the report server files them.
namespace ReportError {
constexpr const char *kMemoryWarningQuit = "1400"; // quit from the memory warning
constexpr const char *kVBoxErrorQuit = "1001";     // quit from the VirtualBox error dialog
} // namespace ReportError
