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
</TS>
