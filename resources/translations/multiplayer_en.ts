<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en">
<context>
    <name>BackupOrRestoreSelectdialog</name>
    <message>
        <source>backup tip</source>
        <translation>Back up: keep the apps&apos; data safe</translation>
    </message>
    <message>
        <source>restore tip</source>
        <translation>Restore: bring a backup back</translation>
    </message>
    <message>
        <source>backup</source>
        <translation>Back up</translation>
    </message>
    <message>
        <source>restore</source>
        <translation>Restore</translation>
    </message>
</context>
<context>
    <name>MpVBoxErrorDialog</name>
    <message>
        <source>create fail</source>
        <translation>Failed</translation>
    </message>
    <message>
        <source>connect to suport</source>
        <translation>Support</translation>
    </message>
    <message>
        <source>confirm</source>
        <translation>OK</translation>
    </message>
</context>
<context>
    <name>MsgDialog</name>
    <message>
        <source>yes</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>no</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>ok</source>
        <translation>OK</translation>
    </message>
</context>
<context>
    <name>MultiPlayerManagerDialog</name>
    <message>
        <source>halvora_mp_maager</source>
        <translation>Instances</translation>
    </message>
    <message>
        <source>select all</source>
        <translation>Select all</translation>
    </message>
    <message>
        <source>crate now</source>
        <translation>New instance</translation>
    </message>
    <message>
        <source>start now</source>
        <translation>Start checked</translation>
    </message>
</context>
<context>
    <name>OrvMulti::MsgDialog</name>
    <message>
        <source>retry</source>
        <translation>Retry</translation>
    </message>
</context>
<context>
    <name>OrvMulti::MultiPlayerManagerDialog</name>
    <message>
        <source>OrvMultiPlayer</source>
        <translation>Halvora Instance Manager</translation>
    </message>
    <message>
        <source>be backing player, can not do creatting</source>
        <translation>A backup or restore is running. Please try again when it has finished.</translation>
    </message>
    <message>
        <source>be creating player, can not do creatting</source>
        <translation>An instance is being created. Please try again when it has finished.</translation>
    </message>
    <message>
        <source>Orvanta</source>
        <translation>Orvanta</translation>
    </message>
    <message>
        <source>the object which is running can not be copied</source>
        <translation>This instance is running and cannot be copied. Please close it and retry.</translation>
    </message>
    <message>
        <source>creating is failed, please try again</source>
        <translation>Creating failed. Please try again.</translation>
    </message>
    <message>
        <source>be backing player, can not exit</source>
        <translation>A backup or restore is running. The manager cannot close now.</translation>
    </message>
    <message>
        <source>be deleting player, can not exit</source>
        <translation>An instance is being deleted. The manager cannot close now.</translation>
    </message>
    <message>
        <source>be creating player, can not exit</source>
        <translation>An instance is being created. The manager cannot close now.</translation>
    </message>
</context>
<context>
    <name>OrvMulti::OrvPlayerItemDelegate</name>
    <message>
        <source>edit name</source>
        <translation>Rename</translation>
    </message>
    <message>
        <source>create shortcut</source>
        <translation>Create a desktop shortcut</translation>
    </message>
    <message>
        <source>backup or restore</source>
        <translation>Back up or restore</translation>
    </message>
    <message>
        <source>player name can not be empty</source>
        <translation>The name cannot be empty.</translation>
    </message>
    <message>
        <source>player name is already existing</source>
        <translation>An instance of this name exists already.</translation>
    </message>
</context>
<context>
    <name>OrvMulti::OrvPlayerModel</name>
    <message>
        <source>retore fail</source>
        <translation>Restoring failed.</translation>
    </message>
    <message>
        <source>backup successful</source>
        <translation>The backup is done.</translation>
    </message>
    <message>
        <source>backup fail</source>
        <translation>Backing up failed.</translation>
    </message>
    <message>
        <source>retore successful</source>
        <translation>The restore is done.</translation>
    </message>
</context>
<context>
    <name>OrvMulti::PlayerPainter</name>
    <message>
        <source>start</source>
        <translation>Start</translation>
    </message>
</context>
<context>
    <name>OrvMulti::VBoxTool</name>
    <message>
        <source>Orvanta</source>
        <translation>Orvanta</translation>
    </message>
    <message>
        <source>disk space not enough</source>
        <translation>Not enough disk space. Please free space on %1 and try again.</translation>
    </message>
    <message>
        <source>The folder %1 of this instance is not a plain folder; nothing was changed.</source>
        <translation>The folder %1 of this instance is not a plain folder; nothing was changed.</translation>
    </message>
    <message>
        <source>The machine %1 does not live in its folder %2; nothing was changed.</source>
        <translation>The machine %1 does not live in its folder %2; nothing was changed.</translation>
    </message>
    <message>
        <source>The disks of %1 could not be set aside; nothing was changed.</source>
        <translation>The disks of %1 could not be set aside; nothing was changed.</translation>
    </message>
    <message>
        <source>The backup %1 did not give the instance its disks.</source>
        <translation>The backup %1 did not give the instance its disks.</translation>
    </message>
    <message>
        <source>The instance was put back as it was before the restore; its data is unchanged.</source>
        <translation>The instance was put back as it was before the restore; its data is unchanged.</translation>
    </message>
    <message>
        <source>The instance&apos;s own disks are kept in %1.</source>
        <translation>The instance&apos;s own disks are kept in %1.</translation>
    </message>
    <message>
        <source>The instance had no machine to keep; the restore can be tried again.</source>
        <translation>The instance had no machine to keep; the restore can be tried again.</translation>
    </message>
</context>
<context>
    <name>QObject</name>
    <message>
        <source>vbox is can not run</source>
        <translation>Please start the emulator once before the instance manager.</translation>
    </message>
    <message>
        <source>the original palyer</source>
        <translation>Original image</translation>
    </message>
    <message>
        <source>is confirm to delete</source>
        <translation>Delete this instance?</translation>
    </message>
    <message>
        <source>delete fail</source>
        <translation>Deleting %1 failed.</translation>
    </message>
    <message>
        <source>restore</source>
        <translation>Restore</translation>
    </message>
    <message>
        <source>backup</source>
        <translation>Back up</translation>
    </message>
    <message>
        <source>stop</source>
        <translation>Stopped</translation>
    </message>
    <message>
        <source>running</source>
        <translation>Running</translation>
    </message>
    <message>
        <source>starting</source>
        <translation>Starting</translation>
    </message>
    <message>
        <source>closing</source>
        <translation>Closing</translation>
    </message>
    <message>
        <source>waitting</source>
        <translation>Waiting</translation>
    </message>
    <message>
        <source>creating</source>
        <translation>Creating</translation>
    </message>
    <message>
        <source>deleting</source>
        <translation>Deleting</translation>
    </message>
    <message>
        <source>backuping</source>
        <translation>Backing up</translation>
    </message>
    <message>
        <source>restoring</source>
        <translation>Restoring</translation>
    </message>
    <message>
        <source>start</source>
        <translation>Start</translation>
    </message>
    <message>
        <source>close</source>
        <translation>Close</translation>
    </message>
</context>
<context>
    <name>playerCreateDialog</name>
    <message>
        <source>create dialog</source>
        <translation>New instance</translation>
    </message>
    <message>
        <source>copy object</source>
        <translation>Copy of:</translation>
    </message>
    <message>
        <source>create number</source>
        <translation>Number:</translation>
    </message>
    <message>
        <source>ok</source>
        <translation>OK</translation>
    </message>
</context>
</TS>
