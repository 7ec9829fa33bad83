#pragma once

#include <QHash>
#include <QJsonArray>
#include <QJsonObject>
#include <QString>

// One machine's settings as the stand-in keeps them in the machine's settings file (JSON). Scalar settings
// are stored under the keys that "showvminfo --machinereadable" prints, so tests can read and prepare them.
class VBoxMachine
{
public:
    bool accessible = true;
    QString uuid;
    QString settingsFile;
    QJsonObject settings;
    QJsonArray controllers;      // {name, bus, type, ports, maxPorts, devices, instance, bootable}
    QJsonArray attachments;      // {controller, port, device, type, medium, nonrotational, discard, ...}
    QJsonArray sharedFolders;    // {name, hostPath, writable, autoMount, mountPoint}
    QJsonObject natRules;        // adapter number -> [{name, proto, hostIp, hostPort, guestIp, guestPort}]
    QJsonObject guestProperties; // name -> {value, timestamp, flags}
    QJsonObject extraData;       // key -> value

    static VBoxMachine createNew(const QString &name, const QString &uuid, const QString &settingsFile,
                                 const QString &osType, const QString &groups);

    QString name() const { return settings.value(QStringLiteral("name")).toString(); }
    QString state() const { return settings.value(QStringLiteral("VMState")).toString(); }
    void setState(const QString &state);
    bool hasSession() const; // a VM process holds the machine (running, paused, stuck, ...)
    QString machineDir() const;
    int nicCount() const;
    QString str(const QString &key) const { return settings.value(key).toString(); }
    void set(const QString &key, const QString &value) { settings.insert(key, value); }

    QJsonObject toJson() const;
    static VBoxMachine fromJson(const QJsonObject &json);

    // "showvminfo --machinereadable"; mediumPaths maps medium identifiers to their file paths.
    QString machineReadable(const QHash<QString, QString> &mediumPaths) const;
    // The plain "showvminfo" text (the main values only).
    QString humanReadable(const QHash<QString, QString> &mediumPaths) const;

    static bool knownOsType(const QString &id);
    static QString osDescription(const QString &id);
    static QString randomMac();
    static QString stateLongName(const QString &shortName);
    static QString escape(const QString &text);
};
