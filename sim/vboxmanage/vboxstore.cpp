#include "vboxstore.h"

#include "simdisk.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSaveFile>

VBoxStore::VBoxStore(const QString &stateDir) : m_stateDir(stateDir) {}

QString VBoxStore::defaultMachineFolder() const
{
    return QDir(m_stateDir).absoluteFilePath("VirtualBox VMs");
}

QString VBoxStore::registryPath() const
{
    return QDir(m_stateDir).absoluteFilePath("VirtualBox.json");
}

bool VBoxStore::load(QString *error)
{
    machineFolder = defaultMachineFolder();
    QFile file(registryPath());
    if (!file.exists())
        return true;
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("cannot read %1").arg(file.fileName());
        return false;
    }
    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(file.readAll(), &parseError);
    if (!doc.isObject()) {
        *error = QStringLiteral("%1: %2").arg(file.fileName(), parseError.errorString());
        return false;
    }
    const QJsonObject root = doc.object();
    if (!root.value("machineFolder").toString().isEmpty())
        machineFolder = root.value("machineFolder").toString();
    for (const QJsonValue &v : root.value("machines").toArray()) {
        const QJsonObject entry = v.toObject();
        machines.append(readMachine(entry.value("settingsFile").toString(), entry.value("uuid").toString()));
    }
    for (const QJsonValue &v : root.value("media").toArray()) {
        const QJsonObject m = v.toObject();
        media.append(
            {m.value("uuid").toString(), m.value("location").toString(), m.value("type").toString()});
    }
    globalExtraData = root.value("extraData").toObject();
    return true;
}

bool VBoxStore::save(QString *error) const
{
    QJsonObject root;
    root.insert("machineFolder", machineFolder);
    QJsonArray list;
    for (const VBoxMachine &m : machines)
        list.append(QJsonObject{{"uuid", m.uuid}, {"settingsFile", m.settingsFile}});
    root.insert("machines", list);
    QJsonArray mediaList;
    for (const VBoxMedium &m : media)
        mediaList.append(QJsonObject{{"uuid", m.uuid}, {"location", m.location}, {"type", m.type}});
    root.insert("media", mediaList);
    root.insert("extraData", globalExtraData);
    QDir().mkpath(m_stateDir);
    QSaveFile file(registryPath());
    if (!file.open(QIODevice::WriteOnly)) {
        *error = file.errorString();
        return false;
    }
    file.write(QJsonDocument(root).toJson());
    if (!file.commit()) {
        *error = file.errorString();
        return false;
    }
    return true;
}

VBoxMachine VBoxStore::readMachine(const QString &settingsFile, const QString &uuid)
{
    VBoxMachine machine;
    QFile file(settingsFile);
    if (file.open(QIODevice::ReadOnly)) {
        const QJsonDocument doc = QJsonDocument::fromJson(file.readAll());
        if (doc.isObject())
            machine = VBoxMachine::fromJson(doc.object());
        else
            machine.accessible = false;
    } else {
        machine.accessible = false;
    }
    if (machine.uuid != uuid)
        machine.accessible = false;
    machine.uuid = uuid;
    machine.settingsFile = settingsFile;
    return machine;
}

bool VBoxStore::writeMachine(const VBoxMachine &machine, QString *error) const
{
    // As the real service does: the new settings go to <name>.vbox-tmp, the old file becomes .vbox-prev.
    const QString path = machine.settingsFile;
    const QString temp = path + QStringLiteral("-tmp");
    const QString prev = path + QStringLiteral("-prev");
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile out(temp);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        *error = out.errorString();
        return false;
    }
    out.write(QJsonDocument(machine.toJson()).toJson());
    out.close();
    if (QFile::exists(path)) {
        QFile::remove(prev);
        QFile::rename(path, prev);
    }
    if (!QFile::rename(temp, path)) {
        *error = QStringLiteral("cannot write %1").arg(path);
        return false;
    }
    return true;
}

int VBoxStore::findMachine(const QString &nameOrUuid) const
{
    if (SimDisk::isUuid(nameOrUuid)) {
        const QString uuid = SimDisk::normalisedUuid(nameOrUuid);
        for (int i = 0; i < machines.size(); ++i) {
            if (machines.at(i).uuid == uuid)
                return i;
        }
        return -1;
    }
    for (int i = 0; i < machines.size(); ++i) {
        const VBoxMachine &m = machines.at(i);
        if (m.accessible && (m.name() == nameOrUuid || m.settingsFile == nameOrUuid))
            return i;
    }
    return -1;
}

int VBoxStore::findMedium(const QString &uuidOrPath) const
{
    const bool byUuid = SimDisk::isUuid(uuidOrPath);
    const QString key =
        byUuid ? SimDisk::normalisedUuid(uuidOrPath) : QFileInfo(uuidOrPath).absoluteFilePath();
    for (int i = 0; i < media.size(); ++i) {
        if ((byUuid && media.at(i).uuid == key) || (!byUuid && media.at(i).location == key))
            return i;
    }
    return -1;
}

QHash<QString, QString> VBoxStore::mediumPaths() const
{
    QHash<QString, QString> paths;
    for (const VBoxMedium &m : media)
        paths.insert(m.uuid, m.location);
    return paths;
}

QStringList VBoxStore::machinesUsing(const QString &mediumUuid) const
{
    QStringList names;
    for (const VBoxMachine &m : machines) {
        for (const QJsonValue &a : m.attachments) {
            if (a.toObject().value("medium").toString() == mediumUuid) {
                names.append(m.uuid);
                break;
            }
        }
    }
    return names;
}
