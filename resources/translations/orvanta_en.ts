<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en">
<context>
    <name>AndroidWindow</name>
    <message>
        <source>Form</source>
        <translation>Orvanta</translation>
    </message>
    <message>
        <source>window_full_toast</source>
        <translation>Press F11 to leave full screen</translation>
    </message>
</context>
<context>
    <name>CheckDNFConflictAction</name>
    <message>
        <source>it is conflict</source>
        <translation>A conflicting program (DNF) runs</translation>
    </message>
    <message>
        <source>go to close DNF</source>
        <translation>Close DNF</translation>
    </message>
    <message>
        <source>it is not conflict</source>
        <translation>No conflicting program runs</translation>
    </message>
    <message>
        <source>passed</source>
        <translation>Passed</translation>
    </message>
</context>
<context>
    <name>CheckDmBitsAction</name>
    <message>
        <source>dmbits is not 32</source>
        <translation>Colour depth is not 32 bits</translation>
    </message>
    <message>
        <source>go to modify</source>
        <translation>Change it</translation>
    </message>
    <message>
        <source>dmbits is 32</source>
        <translation>Colour depth is 32 bits</translation>
    </message>
    <message>
        <source>passed</source>
        <translation>Passed</translation>
    </message>
</context>
<context>
    <name>CheckGraphicsAction</name>
    <message>
        <source>is not Discrete Graphics</source>
        <translation>Discrete graphics not in use</translation>
    </message>
    <message>
        <source>go to open</source>
        <translation>Switch to it</translation>
    </message>
    <message>
        <source>is Discrete Graphics</source>
        <translation>Discrete graphics in use</translation>
    </message>
    <message>
        <source>passed</source>
        <translation>Passed</translation>
    </message>
</context>
<context>
    <name>CheckMemoryAction</name>
    <message>
        <source>out of memory</source>
        <translation>Memory is almost full</translation>
    </message>
    <message>
        <source>go to clear</source>
        <translation>Free memory</translation>
    </message>
    <message>
        <source>memory is enough</source>
        <translation>Enough memory is free</translation>
    </message>
    <message>
        <source>passed</source>
        <translation>Passed</translation>
    </message>
</context>
<context>
    <name>CheckOpenGLAction</name>
    <message>
        <source>OpenGL version is too low</source>
        <translation>OpenGL version is too old</translation>
    </message>
    <message>
        <source>go to update</source>
        <translation>Update driver</translation>
    </message>
    <message>
        <source>OpenGL version is ok</source>
        <translation>OpenGL version is fine</translation>
    </message>
    <message>
        <source>passed</source>
        <translation>Passed</translation>
    </message>
</context>
<context>
    <name>CheckPatchAction</name>
    <message>
        <source>patch is not installed</source>
        <translation>Update KB3033929 is missing</translation>
    </message>
    <message>
        <source>go to install</source>
        <translation>Install it</translation>
    </message>
    <message>
        <source>patch is installed</source>
        <translation>Update KB3033929 is installed</translation>
    </message>
    <message>
        <source>passed</source>
        <translation>Passed</translation>
    </message>
</context>
<context>
    <name>CheckVTOccupiedStautsAction</name>
    <message>
        <source>vt is Occupied</source>
        <translation>VT is held by another program</translation>
    </message>
    <message>
        <source>go to close</source>
        <translation>Free it</translation>
    </message>
    <message>
        <source>vt is not Occupied</source>
        <translation>VT is free</translation>
    </message>
    <message>
        <source>passed</source>
        <translation>Passed</translation>
    </message>
</context>
<context>
    <name>CheckVTOpenStautsAction</name>
    <message>
        <source>vt is close</source>
        <translation>Virtualisation (VT) is off</translation>
    </message>
    <message>
        <source>go to open</source>
        <translation>Turn it on</translation>
    </message>
    <message>
        <source>vt is open</source>
        <translation>Virtualisation (VT) is on</translation>
    </message>
    <message>
        <source>passed</source>
        <translation>Passed</translation>
    </message>
</context>
<context>
    <name>CommonDialog</name>
    <message>
        <source>cancel</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>confirm</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>backup</source>
        <translation>Back up</translation>
    </message>
    <message>
        <source>update</source>
        <translation>Update</translation>
    </message>
    <message>
        <source>continue</source>
        <translation>Continue</translation>
    </message>
    <message>
        <source>tutorial</source>
        <translation>Tutorial</translation>
    </message>
</context>
<context>
    <name>CrashHandler</name>
    <message>
        <source>Crash_Message</source>
        <translation>Orvanta stopped unexpectedly and has been closed. You can start it again.</translation>
    </message>
</context>
<context>
    <name>DialogControl</name>
    <message>
        <source>Error_vbox_setup_failed</source>
        <translation>VirtualBox was not found. Please reinstall Orvanta.</translation>
    </message>
    <message>
        <source>Error_Timeout</source>
        <translation>The virtual machine did not answer in time. Please start Orvanta again.</translation>
    </message>
    <message>
        <source>Error_VBOX_CORE_ERROR</source>
        <translation>A VirtualBox program failed. Please restart the computer and try again.</translation>
    </message>
    <message>
        <source>Error_WSADATA_INIT_FAILED</source>
        <translation>The network library could not be started.</translation>
    </message>
    <message>
        <source>Error_Render_Failed</source>
        <translation>The render library could not be loaded. Please reinstall Orvanta.</translation>
    </message>
    <message>
        <source>Error_Opengl_Failed</source>
        <translation>The graphics renderer could not start. Please update the graphics driver.</translation>
    </message>
    <message>
        <source>Error_Opengl_Not_Support</source>
        <translation>The graphics driver does not offer the OpenGL version Orvanta needs.</translation>
    </message>
    <message>
        <source>Error_Opengl_Not_32</source>
        <translation>Please set the display&apos;s colour depth to 32 bits.</translation>
    </message>
    <message>
        <source>Error_Path_Chinese</source>
        <translation>Orvanta cannot run from a path with Chinese characters. Please install it in another folder.</translation>
    </message>
    <message>
        <source>Error_win7_not_sp1</source>
        <translation>Windows 7 Service Pack 1 is needed.</translation>
    </message>
    <message>
        <source>Error_win7_not_kb3233929</source>
        <translation>The Windows update KB3033929 is needed.</translation>
    </message>
    <message>
        <source>Error_conflict_with_soft</source>
        <translation>Another program conflicts with the emulator. Please close it and try again.</translation>
    </message>
</context>
<context>
    <name>EnvironmentCheckDialog</name>
    <message>
        <source>EnvironmentCheckDialog</source>
        <translation>Environment check</translation>
    </message>
    <message>
        <source>environment check title</source>
        <translation>Environment check</translation>
    </message>
    <message>
        <source>start</source>
        <translation>Start</translation>
    </message>
</context>
<context>
    <name>LoadingControl</name>
    <message>
        <source>file miss</source>
        <translation>Files of Orvanta are missing. Please update it.</translation>
    </message>
</context>
<context>
    <name>LoadingWindow</name>
    <message>
        <source>Orvanta</source>
        <translation>Orvanta</translation>
    </message>
    <message>
        <source>starting</source>
        <translation>Orvanta is starting. Please wait.</translation>
    </message>
</context>
<context>
    <name>MainControl</name>
    <message>
        <source>exiting</source>
        <translation>Orvanta is closing. Please wait.</translation>
    </message>
</context>
<context>
    <name>OptionalCheckHeaderView</name>
    <message>
        <source>optional check </source>
        <translation>Optional</translation>
    </message>
    <message>
        <source>optional check  tip</source>
        <translation>(advice only)</translation>
    </message>
    <message>
        <source>no longer prompt</source>
        <translation>Don&apos;t remind</translation>
    </message>
</context>
<context>
    <name>QObject</name>
    <message>
        <source>Dialog</source>
        <translation>Orvanta</translation>
    </message>
    <message>
        <source>Are you sure close orv?</source>
        <translation>Do you want to close Orvanta?</translation>
    </message>
</context>
<context>
    <name>QuitOrvDialog</name>
    <message>
        <source>Are you sure close orv?</source>
        <translation>Do you want to close Orvanta?</translation>
    </message>
    <message>
        <source>no remind</source>
        <translation>Don&apos;t ask</translation>
    </message>
    <message>
        <source>cancel</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>sure</source>
        <translation>Close</translation>
    </message>
</context>
<context>
    <name>RequiredCheckHeaderView</name>
    <message>
        <source>required check</source>
        <translation>Required</translation>
    </message>
    <message>
        <source>required check tip</source>
        <translation>(must pass before the start)</translation>
    </message>
</context>
<context>
    <name>UpdateDialog</name>
    <message>
        <source>update_title</source>
        <translation>A new version is available</translation>
    </message>
    <message>
        <source>update_content</source>
        <translation>Changes</translation>
    </message>
    <message>
        <source>cancel</source>
        <translation>Later</translation>
    </message>
    <message>
        <source>update</source>
        <translation>Update</translation>
    </message>
    <message>
        <source>need_clear_data</source>
        <translation>This update erases the emulators&apos; data. Back it up first?</translation>
    </message>
</context>
<context>
    <name>VBoxErrorDialog</name>
    <message>
        <source>error_vbox_error</source>
        <translation>VirtualBox reported an error</translation>
    </message>
    <message>
        <source>custom_qq</source>
        <translation>Contact support</translation>
    </message>
    <message>
        <source>getlog</source>
        <translation>Get the log</translation>
    </message>
    <message>
        <source>confirm</source>
        <translation>OK</translation>
    </message>
</context>
<context>
    <name>VTBeOccupiedTipDialog</name>
    <message>
        <source>Hyper-V occupation</source>
        <translation>Hyper-V holds virtualisation (VT)</translation>
    </message>
    <message>
        <source>software occupation</source>
        <translation>Another program holds VT</translation>
    </message>
    <message>
        <source> view the tutorial</source>
        <translation> How to fix</translation>
    </message>
</context>
<context>
    <name>VTInfoDialog</name>
    <message>
        <source>vt_not_open</source>
        <translation>VT is not enabled</translation>
    </message>
    <message>
        <source>vt_info_label_1</source>
        <translation>Enable it in the BIOS settings</translation>
    </message>
    <message>
        <source>vt_info_label_2</source>
        <translation>Without hardware virtualisation (VT)</translation>
    </message>
    <message>
        <source>vt_info_label_3</source>
        <translation>the emulator runs slowly.</translation>
    </message>
    <message>
        <source>vt_info_label_4</source>
        <translation>Recommended</translation>
    </message>
    <message>
        <source>vt_tutorial</source>
        <translation>How to enable</translation>
    </message>
    <message>
        <source>vt_show_again</source>
        <translation>Don&apos;t show again</translation>
    </message>
</context>
</TS>
