<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en">
<context>
    <name>OrvantaUnInstallClass</name>
    <message>
        <source>OrvantaUnInstall</source>
        <translation>Uninstall Orvanta</translation>
    </message>
    <message>
        <source>检测到模拟器正在运行，请先关闭</source>
        <translation>Please close the running emulator first.</translation>
    </message>
    <message>
        <source>确定</source>
        <translation>OK</translation>
    </message>
</context>
</TS>
