<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_CN">
<context>
    <name>QObject</name>
    <message><source>vbox is can not run</source><translation>请启动模拟器再运行多开器</translation></message>
    <message><source>OrvMultiPlayer</source><translation>Halvora多开器</translation></message>
    <message><source>stop</source><translation>未启动</translation></message>
    <message><source>running</source><translation>已启动</translation></message>
    <message><source>starting</source><translation>启动中</translation></message>
    <message><source>closing</source><translation>退出中</translation></message>
    <message><source>waitting</source><translation>等待中</translation></message>
    <message><source>creating</source><translation>新建中</translation></message>
    <message><source>deleting</source><translation>删除中</translation></message>
    <message><source>backuping</source><translation>备份中</translation></message>
    <message><source>restoring</source><translation>还原中</translation></message>
    <message><source>start</source><translation>启动</translation></message>
    <message><source>close</source><translation>关闭</translation></message>
    <message><source>is confirm to delete</source><translation>是否删除此模拟器</translation></message>
    <message><source>delete fail</source><translation>%1删除失败</translation></message>
    <message><source>restore</source><translation>还原</translation></message>
    <message><source>backup</source><translation>备份</translation></message>
    <message><source>the original palyer</source><translation>初始镜像</translation></message>
</context>
<context>
    <name>OrvMulti::VBoxTool</name>
    <message><source>Orvanta</source><translation>Orvanta</translation></message>
    <message><source>disk space not enough</source><translation>硬盘空间不足，请清理%1盘后重试</translation></message>
</context>
<context>
    <name>OrvMulti::PlayerPainter</name>
    <message><source>start</source><translation>启动</translation></message>
</context>
<context>
    <name>MsgDialog</name>
    <message><source>yes</source><translation>确定</translation></message>
    <message><source>no</source><translation>取消</translation></message>
    <message><source>ok</source><translation>确定</translation></message>
</context>
<context>
    <name>OrvMulti::MsgDialog</name>
    <message><source>retry</source><translation>重试</translation></message>
</context>
<context>
    <name>playerCreateDialog</name>
    <message><source>create dialog</source><translation>新建模拟器</translation></message>
    <message><source>copy object</source><translation>选择模拟器:</translation></message>
    <message><source>create number</source><translation>新建数量:</translation></message>
    <message><source>ok</source><translation>确定</translation></message>
</context>
<context>
    <name>BackupOrRestoreSelectdialog</name>
    <message><source>backup tip</source><translation>备份：备份数据，防止升级后应用数据丢失</translation></message>
    <message><source>restore tip</source><translation>还原：还原备份数据</translation></message>
    <message><source>backup</source><translation>备份</translation></message>
    <message><source>restore</source><translation>还原</translation></message>
</context>
<context>
    <name>MpVBoxErrorDialog</name>
    <message><source>create fail</source><translation>新建失败</translation></message>
    <message><source>connect to suport</source><translation>联系客服</translation></message>
    <message><source>confirm</source><translation>确定</translation></message>
</context>
<context>
    <name>MultiPlayerManagerDialog</name>
    <message><source>halvora_mp_maager</source><translation>Halvora多开器</translation></message>
    <message><source>select all</source><translation>全选</translation></message>
    <message><source>crate now</source><translation>新建模拟器</translation></message>
    <message><source>start now</source><translation>启动选中</translation></message>
</context>
<context>
    <name>OrvMulti::MultiPlayerManagerDialog</name>
    <message><source>OrvMultiPlayer</source><translation>Halvora多开器</translation></message>
    <message><source>Orvanta</source><translation>Halvora模拟器</translation></message>
    <message><source>be backing player, can not do creatting</source><translation>正在备份/还原中，请完成后重试</translation></message>
    <message><source>be creating player, can not do creatting</source><translation>已有模拟器在新建中,新建完成后重试</translation></message>
    <message><source>the object which is running can not be copied</source><translation>当前模拟器正在运行中，无法新建，请重试</translation></message>
    <message><source>creating is failed, please try again</source><translation>新建失败,请重试</translation></message>
    <message><source>be backing player, can not exit</source><translation>备份/还原中无法退出</translation></message>
    <message><source>be creating player, can not exit</source><translation>新建模拟器中,无法退出</translation></message>
    <message><source>be deleting player, can not exit</source><translation>删除中无法退出</translation></message>
</context>
<context>
    <name>OrvMulti::OrvPlayerModel</name>
    <message><source>backup successful</source><translation>备份成功</translation></message>
    <message><source>backup fail</source><translation>备份失败</translation></message>
    <message><source>retore successful</source><translation>还原成功</translation></message>
    <message><source>retore fail</source><translation>还原失败</translation></message>
</context>
<context>
    <name>OrvMulti::OrvPlayerItemDelegate</name>
    <message><source>edit name</source><translation>修改名称</translation></message>
    <message><source>create shortcut</source><translation>生成快捷方式</translation></message>
    <message><source>backup or restore</source><translation>备份还原</translation></message>
</context>
</TS>
