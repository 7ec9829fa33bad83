#pragma once

#include "vboxmachine.h"

#include <QHash>
#include <QJsonObject>
#include <QList>
#include <QString>

struct VBoxMedium
{
    QString uuid;
    QString location;
    QString type; // "HardDisk", "DVD" or "Floppy"
};

// The stand-in's whole persistent state: the global registry file (registered machines in registration
// order, default machine folder, media registry, global extradata) in the state folder, and one settings
// file per machine at the place the real tool uses (<machine folder>/<name>/<name>.vbox).
class VBoxStore
{
public:
    explicit VBoxStore(const QString &stateDir);

    bool load(QString *error);
    bool save(QString *error) const;

    QString stateDir() const { return m_stateDir; }
    // The stand-in's home folder (settings home, "default" machine folder base): the state folder.
    QString defaultMachineFolder() const;

    QString machineFolder;
    QList<VBoxMachine> machines;
    QList<VBoxMedium> media;
    QJsonObject globalExtraData;

    // Index of the registered machine with that UUID, or the first accessible one of that name (or settings
    // file path); -1 when none.
    int findMachine(const QString &nameOrUuid) const;
    int findMedium(const QString &uuidOrPath) const;
    QHash<QString, QString> mediumPaths() const;
    // Identifiers of the registered machines that have the medium attached.
    QStringList machinesUsing(const QString &mediumUuid) const;
    bool writeMachine(const VBoxMachine &machine, QString *error) const;
    static VBoxMachine readMachine(const QString &settingsFile, const QString &uuid);

private:
    QString registryPath() const;
    QString m_stateDir;
};
