<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en">
<context>
    <name>AimButton</name>
    <message>
        <source>aim tip</source>
        <translation>Aim: drag it to where aiming starts</translation>
    </message>
</context>
<context>
    <name>AndroidTouchWidget</name>
    <message>
        <source>keyboard_mouse_right_open</source>
        <translation>Mouse aiming on (right click to leave)</translation>
    </message>
    <message>
        <source>keyboard_mouse_right_close</source>
        <translation>Mouse aiming off</translation>
    </message>
</context>
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
    <message>
        <source>MenuBar_Choose_File</source>
        <translation>Choose the packages to install</translation>
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
    <name>FeedbackDialog</name>
    <message>
        <source>feedback</source>
        <translation>Feedback</translation>
    </message>
    <message>
        <source>commit</source>
        <translation>Send</translation>
    </message>
    <message>
        <source>feedback_content_init</source>
        <translation>Tell us what went wrong or what you would like to see.</translation>
    </message>
    <message>
        <source>feedback_information_init</source>
        <translation>Your QQ number, phone number or e-mail address</translation>
    </message>
    <message>
        <source>please_check</source>
        <translation>Please write your feedback first.</translation>
    </message>
    <message>
        <source>please_check_contact_info</source>
        <translation>Please give a QQ number, a phone number or an e-mail address.</translation>
    </message>
    <message>
        <source>send successfully</source>
        <translation>Thank you, your feedback was sent.</translation>
    </message>
    <message>
        <source>send failed</source>
        <translation>The feedback could not be sent. Please try again.</translation>
    </message>
</context>
<context>
    <name>FeedbackPopuMenu</name>
    <message>
        <source>常见问题</source>
        <translation>FAQ</translation>
    </message>
    <message>
        <source>反馈建议</source>
        <translation>Feedback</translation>
    </message>
    <message>
        <source>客服 QQ</source>
        <translation>Service chat</translation>
    </message>
    <message>
        <source>交流论坛</source>
        <translation>Forum</translation>
    </message>
</context>
<context>
    <name>FireButton</name>
    <message>
        <source>fire tip</source>
        <translation>Fire: drag it onto the game&apos;s shoot button</translation>
    </message>
</context>
<context>
    <name>GeolocationDialog</name>
    <message>
        <source>Dialog</source>
        <translation>Orvanta</translation>
    </message>
    <message>
        <source>geo_set</source>
        <translation>Set</translation>
    </message>
    <message>
        <source>geolocation</source>
        <translation>Virtual location</translation>
    </message>
    <message>
        <source>set location ok</source>
        <translation>The location is set.</translation>
    </message>
    <message>
        <source>set location not stored</source>
        <translation>The location is set, but it could not be saved; it will not be restored at the next start.</translation>
    </message>
</context>
<context>
    <name>KeyBoardCoursebookDialog</name>
    <message>
        <source>position</source>
        <translation>Direction pad</translation>
    </message>
    <message>
        <source>key</source>
        <translation>Key</translation>
    </message>
    <message>
        <source>slide</source>
        <translation>Swipe</translation>
    </message>
    <message>
        <source>sensor</source>
        <translation>Gravity sensor</translation>
    </message>
    <message>
        <source>fire</source>
        <translation>Shooting games</translation>
    </message>
    <message>
        <source>setting</source>
        <translation>Settings</translation>
    </message>
    <message>
        <source>how to use keyboard control?</source>
        <translation>How to use key control?</translation>
    </message>
</context>
<context>
    <name>KeyBoardDialog</name>
    <message>
        <source>fire tip</source>
        <translation>Fire: drag it onto the game&apos;s shoot button</translation>
    </message>
    <message>
        <source>aim tip</source>
        <translation>Aim: drag it to where aiming starts</translation>
    </message>
    <message>
        <source>key tip</source>
        <translation>Key: drag it onto a game button, then press its key</translation>
    </message>
    <message>
        <source>position tip</source>
        <translation>Direction pad: drag it onto the game&apos;s movement handle</translation>
    </message>
    <message>
        <source>sensor tip</source>
        <translation>Gravity sensor: keys that tilt the device</translation>
    </message>
    <message>
        <source>slide tip</source>
        <translation>Swipe: a key that swipes in the chosen direction</translation>
    </message>
    <message>
        <source>Keyboard_save_confilc</source>
        <translation>This key is already in use</translation>
    </message>
    <message>
        <source>Dialog</source>
        <translation>Key mapping</translation>
    </message>
    <message>
        <source>Keyboard_clear</source>
        <translation>Clear</translation>
    </message>
    <message>
        <source>Keyboard_save</source>
        <translation>Save</translation>
    </message>
</context>
<context>
    <name>KeyBoardOpenDialog</name>
    <message>
        <source>Keyctrl_On</source>
        <translation>Key control on</translation>
    </message>
    <message>
        <source>Keyctrl_Off</source>
        <translation>Key control off</translation>
    </message>
</context>
<context>
    <name>KeyButton</name>
    <message>
        <source>keybutton tip</source>
        <translation>Click the field and press a key; drag the frame to move</translation>
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
        <source>app_starting</source>
        <translation>Orvanta is still starting. Please wait a moment.</translation>
    </message>
    <message>
        <source>run_in_background</source>
        <translation>Orvanta keeps running in the background.</translation>
    </message>
    <message>
        <source>exiting</source>
        <translation>Orvanta is closing. Please wait.</translation>
    </message>
</context>
<context>
    <name>MenuBar</name>
    <message>
        <source>MenuBar_Full</source>
        <translation>Full screen</translation>
    </message>
    <message>
        <source>MenuBar_Keyboard_Off</source>
        <translation>Key mapping (off)</translation>
    </message>
    <message>
        <source>MenuBar_Install_apk</source>
        <translation>Install APK</translation>
    </message>
    <message>
        <source>MenuBar_Stop_Script</source>
        <translation>Stop script</translation>
    </message>
    <message>
        <source>MenuBar_Multi_Player</source>
        <translation>Instance manager</translation>
    </message>
    <message>
        <source>MenuBar_Virtual_Location</source>
        <translation>Virtual location</translation>
    </message>
    <message>
        <source>MenuBar_ScreenShot</source>
        <translation>Screenshot</translation>
    </message>
    <message>
        <source>MenuBar_Shake</source>
        <translation>Shake</translation>
    </message>
    <message>
        <source>MenuBar_Share</source>
        <translation>Shared folders</translation>
    </message>
    <message>
        <source>MenuBar_voice</source>
        <translation>Volume</translation>
    </message>
    <message>
        <source>MenuBar_Return</source>
        <translation>Back</translation>
    </message>
    <message>
        <source>MenuBar_Home</source>
        <translation>Home</translation>
    </message>
    <message>
        <source>MenuBar_Task</source>
        <translation>Recent apps</translation>
    </message>
    <message>
        <source>close keyMap</source>
        <translation>Turn key mapping off</translation>
    </message>
    <message>
        <source>open keyMap</source>
        <translation>Turn key mapping on</translation>
    </message>
    <message>
        <source>set Opacity</source>
        <translation>Opacity</translation>
    </message>
    <message>
        <source>open folder</source>
        <translation>Open folder</translation>
    </message>
    <message>
        <source>MenuBar_Keyboard_On</source>
        <translation>Key mapping (on)</translation>
    </message>
</context>
<context>
    <name>OpacityAdjustDialog</name>
    <message>
        <source>opacity</source>
        <translation>Opacity</translation>
    </message>
    <message>
        <source>tip</source>
        <translation>Press %1 to switch key control on or off</translation>
    </message>
    <message>
        <source>save</source>
        <translation>Save</translation>
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
    <name>PavixConnection</name>
    <message>
        <source>space_not_enough</source>
        <translation>Not enough free space on %1 to install the package</translation>
    </message>
    <message>
        <source>install_apk_begin</source>
        <translation>Installing the package...</translation>
    </message>
    <message>
        <source>file copy failed</source>
        <translation>The package could not be copied</translation>
    </message>
</context>
<context>
    <name>PositionButton</name>
    <message>
        <source>position tip</source>
        <translation>Direction pad: drag it onto the game&apos;s movement handle</translation>
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
    <message>
        <source>coping_file</source>
        <translation>Copying %1</translation>
    </message>
    <message>
        <source>copy_file_succeed</source>
        <translation>Copied %1</translation>
    </message>
    <message>
        <source>copy_file_fail</source>
        <translation>Could not copy %1</translation>
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
    <name>ScreenshotHandleWidget</name>
    <message>
        <source>open image</source>
        <translation>Open image</translation>
    </message>
    <message>
        <source>open folder</source>
        <translation>Open folder</translation>
    </message>
</context>
<context>
    <name>ScreenshotNotice</name>
    <message>
        <source>Form</source>
        <translation>Form</translation>
    </message>
</context>
<context>
    <name>SensorButton</name>
    <message>
        <source>sensor tip</source>
        <translation>Gravity sensor: keys that tilt the device</translation>
    </message>
</context>
<context>
    <name>SettingDialog</name>
    <message>
        <source>Dialog</source>
        <translation>Orvanta</translation>
    </message>
    <message>
        <source>Setting</source>
        <translation>Settings</translation>
    </message>
    <message>
        <source>low</source>
        <translation>Low</translation>
    </message>
    <message>
        <source>mid</source>
        <translation>Medium</translation>
    </message>
    <message>
        <source>high</source>
        <translation>High</translation>
    </message>
    <message>
        <source>customize</source>
        <translation>Custom</translation>
    </message>
    <message>
        <source>cpu num</source>
        <translation>Processors</translation>
    </message>
    <message>
        <source>memory</source>
        <translation>Memory</translation>
    </message>
    <message>
        <source>M</source>
        <translation>MB</translation>
    </message>
    <message>
        <source>render mode</source>
        <translation>Render mode</translation>
    </message>
    <message>
        <source>fast mode (DirectX)</source>
        <translation>Fast (DirectX)</translation>
    </message>
    <message>
        <source>compatible (OpenGL)</source>
        <translation>Compatible (OpenGL)</translation>
    </message>
    <message>
        <source>render_tips</source>
        <translation>The fast mode suits most games; choose the compatible mode if the picture shows faults.</translation>
    </message>
    <message>
        <source>show fps</source>
        <translation>Show frame rate</translation>
    </message>
    <message>
        <source>optimize</source>
        <translation>Optimize</translation>
    </message>
    <message>
        <source>performance</source>
        <translation>Performance</translation>
    </message>
    <message>
        <source>540x960</source>
        <translation>540 x 960</translation>
    </message>
    <message>
        <source>720x1280</source>
        <translation>720 x 1280</translation>
    </message>
    <message>
        <source>1080x1920</source>
        <translation>1080 x 1920</translation>
    </message>
    <message>
        <source>width</source>
        <translation>Width</translation>
    </message>
    <message>
        <source>height</source>
        <translation>Height</translation>
    </message>
    <message>
        <source>DPI</source>
        <translation>DPI</translation>
    </message>
    <message>
        <source>Tab 1</source>
        <translation>Phone</translation>
    </message>
    <message>
        <source>Tab 2</source>
        <translation>Custom</translation>
    </message>
    <message>
        <source>resolution</source>
        <translation>Resolution</translation>
    </message>
    <message>
        <source>operate</source>
        <translation>Action</translation>
    </message>
    <message>
        <source>hot key</source>
        <translation>Shortcut</translation>
    </message>
    <message>
        <source>boss key</source>
        <translation>Boss key</translation>
    </message>
    <message>
        <source>slient</source>
        <translation>Tell Android when hidden or shown</translation>
    </message>
    <message>
        <source>return key</source>
        <translation>Back</translation>
    </message>
    <message>
        <source>home key</source>
        <translation>Home</translation>
    </message>
    <message>
        <source>menu key</source>
        <translation>Task menu</translation>
    </message>
    <message>
        <source>keyboard key</source>
        <translation>Key mapping</translation>
    </message>
    <message>
        <source>open key</source>
        <translation>Enable shortcuts</translation>
    </message>
    <message>
        <source>hot_key</source>
        <translation>Shortcuts</translation>
    </message>
    <message>
        <source>Orvanta</source>
        <translation>Orvanta</translation>
    </message>
    <message>
        <source>wechat public no</source>
        <translation>Official account</translation>
    </message>
    <message>
        <source>weibo link</source>
        <translation>Follow us</translation>
    </message>
    <message>
        <source>rights_notice</source>
        <translation>© Halvora. All rights reserved.</translation>
    </message>
    <message>
        <source>about_us</source>
        <translation>About</translation>
    </message>
    <message>
        <source>version : V</source>
        <translation>Version </translation>
    </message>
    <message>
        <source>check update</source>
        <translation>Check for update</translation>
    </message>
    <message>
        <source>custom qq</source>
        <translation>Support group</translation>
    </message>
    <message>
        <source>reset</source>
        <translation>Reset</translation>
    </message>
    <message>
        <source>save</source>
        <translation>Save</translation>
    </message>
    <message>
        <source>setting_write_failed</source>
        <translation>The settings could not be saved. Nothing was changed.</translation>
    </message>
    <message>
        <source>setting_restart</source>
        <translation>The new settings take effect after a restart. Restart now?</translation>
    </message>
    <message>
        <source>setting_succeed</source>
        <translation>The settings are saved.</translation>
    </message>
    <message>
        <source>setting_reset_succeed</source>
        <translation>The settings are reset.</translation>
    </message>
    <message>
        <source>setting_dx_click</source>
        <translation>The fast mode may not work with every graphics card. Switch back if the picture shows faults.</translation>
    </message>
    <message>
        <source>check_update_failed</source>
        <translation>The update check did not complete. Please try again later.</translation>
    </message>
    <message>
        <source>lasest version</source>
        <translation>You have the latest version.</translation>
    </message>
</context>
<context>
    <name>ShareFolderDialog</name>
    <message>
        <source>Dialog</source>
        <translation>Orvanta</translation>
    </message>
    <message>
        <source>share_folder</source>
        <translation>Shared folders</translation>
    </message>
    <message>
        <source>open image folder</source>
        <translation>Open picture folder</translation>
    </message>
    <message>
        <source>open orvvm image folder</source>
        <translation>Open in Android</translation>
    </message>
    <message>
        <source>open other folder</source>
        <translation>Open other folder</translation>
    </message>
    <message>
        <source>open orvvm other folder</source>
        <translation>Open in Android</translation>
    </message>
</context>
<context>
    <name>ShortLineEdit</name>
    <message>
        <source>与系统快捷键冲突!</source>
        <translation>Conflicts with a system shortcut!</translation>
    </message>
    <message>
        <source>与当前设置快捷键冲突!</source>
        <translation>Conflicts with a current shortcut!</translation>
    </message>
    <message>
        <source>This key cannot be a shortcut!</source>
        <translation>This key has no name and cannot be a shortcut!</translation>
    </message>
</context>
<context>
    <name>SlideButton</name>
    <message>
        <source>slide tip</source>
        <translation>Swipe: a key that swipes in the chosen direction</translation>
    </message>
</context>
<context>
    <name>SystemInfoDialog</name>
    <message>
        <source>system_info</source>
        <translation>System information</translation>
    </message>
    <message>
        <source>systeminfo_copy</source>
        <translation>Copy to clipboard</translation>
    </message>
    <message>
        <source>Info_Checking</source>
        <translation>Checking...</translation>
    </message>
    <message>
        <source>Info_Orvanta_Version</source>
        <translation>Orvanta version</translation>
    </message>
    <message>
        <source>Info_System_Version</source>
        <translation>System version</translation>
    </message>
    <message>
        <source>Info_System_Type</source>
        <translation>System type (bits)</translation>
    </message>
    <message>
        <source>CPU</source>
        <translation>Processor</translation>
    </message>
    <message>
        <source>Info_CPU_NUM</source>
        <translation>Processor cores</translation>
    </message>
    <message>
        <source>Info_CPU_VT</source>
        <translation>Virtualisation on the host</translation>
    </message>
    <message>
        <source>Info_VT_Open</source>
        <translation>enabled</translation>
    </message>
    <message>
        <source>Info_VT_UnOpen</source>
        <translation>disabled</translation>
    </message>
    <message>
        <source>Info_StartUp_VT</source>
        <translation>Started with virtualisation</translation>
    </message>
    <message>
        <source>Info_VT_YES</source>
        <translation>yes</translation>
    </message>
    <message>
        <source>Info_VT_NO</source>
        <translation>no</translation>
    </message>
    <message>
        <source>Info_Memory</source>
        <translation>Memory</translation>
    </message>
    <message>
        <source>Info_Render_Mode</source>
        <translation>Render mode</translation>
    </message>
    <message>
        <source>Info_Render</source>
        <translation>Renderer</translation>
    </message>
    <message>
        <source>Info_Opengl_Version</source>
        <translation>OpenGL version</translation>
    </message>
    <message>
        <source>Info_Graphics_Card</source>
        <translation>Graphics adapter</translation>
    </message>
    <message>
        <source>Info_Orvanta_memory</source>
        <translation>Instance memory</translation>
    </message>
    <message>
        <source>Info_Orvanta_cpuNum</source>
        <translation>Instance processors</translation>
    </message>
    <message>
        <source>Info_Copy_Success</source>
        <translation>The system information was copied to the clipboard.</translation>
    </message>
</context>
<context>
    <name>TitleBar</name>
    <message>
        <source>TitleBar_Vt</source>
        <translation>Check the environment again</translation>
    </message>
    <message>
        <source>TitleBar_More</source>
        <translation>More</translation>
    </message>
    <message>
        <source>TitleBar_Top</source>
        <translation>Keep on top</translation>
    </message>
    <message>
        <source>TitleBar_Setting</source>
        <translation>Settings</translation>
    </message>
    <message>
        <source>TitleBar_SystemInfo</source>
        <translation>System information</translation>
    </message>
    <message>
        <source>TitleBar_Min</source>
        <translation>Minimise</translation>
    </message>
    <message>
        <source>TitleBar_Max</source>
        <translation>Maximise</translation>
    </message>
    <message>
        <source>TitleBar_Close</source>
        <translation>Close</translation>
    </message>
    <message>
        <source>app_starting</source>
        <translation>Orvanta is still starting. Please wait a moment.</translation>
    </message>
    <message>
        <source>TitleBar_No_Top</source>
        <translation>Stop keeping on top</translation>
    </message>
</context>
<context>
    <name>TrayTool</name>
    <message>
        <source>Tray_Keyboard</source>
        <translation>Key mapping</translation>
    </message>
    <message>
        <source>Tray_Setting</source>
        <translation>Settings</translation>
    </message>
    <message>
        <source>Tray_Status</source>
        <translation>Show or hide</translation>
    </message>
    <message>
        <source>Tray_Quit</source>
        <translation>Quit</translation>
    </message>
    <message>
        <source>tray_start_up</source>
        <translation>Orvanta is starting.</translation>
    </message>
    <message>
        <source>Orvanta</source>
        <translation>Orvanta</translation>
    </message>
    <message>
        <source>Tray_Keyboard_Hide</source>
        <translation>Turn key mapping off</translation>
    </message>
    <message>
        <source>Tray_Keyboard_Show</source>
        <translation>Turn key mapping on</translation>
    </message>
    <message>
        <source>tray_show</source>
        <translation>Show window</translation>
    </message>
    <message>
        <source>tray_hide</source>
        <translation>Hide window</translation>
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
<context>
    <name>VerticalScreenshotHandleWidget</name>
    <message>
        <source>open image</source>
        <translation>Open image</translation>
    </message>
    <message>
        <source>open folder</source>
        <translation>Open folder</translation>
    </message>
</context>
<context>
    <name>VoiceSlider</name>
    <message>
        <source>Form</source>
        <translation>Form</translation>
    </message>
    <message>
        <source>50%</source>
        <translation>50%</translation>
    </message>
</context>
<context>
    <name>verticalOpacitySlider</name>
    <message>
        <source>50%</source>
        <translation>50%</translation>
    </message>
</context>
</TS>
