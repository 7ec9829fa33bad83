#include "mpfixture.h"

#include "paths.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QJsonDocument>
#include <QProcess>

ManagerFixture::ManagerFixture() : ManagerFixture(false) {}

ManagerFixture::ManagerFixture(bool emulatorRecorder) : m_tree(std::make_unique<InstallTree>())
{
    m_tree->addVirtualBox();
    m_tree->addGuestImage();
    if (emulatorRecorder)
        m_tree->addRecorder(QStringLiteral("Orvanta"));
    m_tree->writeInstallKey();
    const QProcessEnvironment env = m_tree->environment();
    QStringList names{
        "TMPDIR",          "PATH", "ORV_RECORD_DIR", "ORV_VBOX_STATE", "XDG_CONFIG_DIRS", "XDG_CONFIG_HOME",
        "XDG_DESKTOP_DIR", "HOME", "APPDATA",        "LOCALAPPDATA"};
    // The emulators the manager starts run on the tree's declared host.
    names << InstallTree::hostVariables();
    if (emulatorRecorder)
        names << QStringLiteral("XDG_DATA_HOME");
    for (const QString &name : names)
        qputenv(name.toLatin1().constData(), env.value(name).toLocal8Bit());
    // The tool's two-minute time-out becomes six seconds: short enough for the tests of a hanging tool,
    // long enough for a slow answer (a fault's sleep of a second) on a machine busy with other work.
    qputenv("ORV_TIMEOUT_SCALE", "0.05");
    m_tree->useTempDirHere();
    Platform::initSettingsPaths();
}

ManagerFixture::~ManagerFixture() = default;

bool ManagerFixture::tool(const QStringList &args, QString *out)
{
    QProcess process;
    process.setProcessEnvironment(m_tree->environment());
    process.start(m_tree->vboxDir() + QStringLiteral("/OrvvmManage"), args);
    if (!process.waitForFinished(10000))
        return false;
    if (out)
        *out = QString::fromUtf8(process.readAllStandardOutput());
    return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

QList<QStringList> ManagerFixture::modifyingCalls() const
{
    QList<QStringList> result;
    for (const QStringList &call : calls()) {
        if (!isReadOnlyToolCall(call))
            result << call;
    }
    return result;
}

void ManagerFixture::clearCalls() const
{
    QFile::remove(stateDir() + QStringLiteral("/calls.log"));
}

void ManagerFixture::setFaults(const QJsonArray &rules) const
{
    QFile file(stateDir() + QStringLiteral("/faults.json"));
    file.open(QIODevice::WriteOnly | QIODevice::Truncate);
    file.write(QJsonDocument(rules).toJson());
}

QMap<QString, QByteArray> ManagerFixture::snapshot() const
{
    QMap<QString, QByteArray> files;
    const QString root = m_tree->root();
    for (const QString &folder : {machineFolder(), dataFolder(), m_tree->localAppDataDir(),
                                  m_tree->root() + QStringLiteral("/desktop")}) {
        QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next();
            QFile file(path);
            file.open(QIODevice::ReadOnly);
            files.insert(path.mid(root.size()), file.readAll());
        }
    }
    QFile registry(stateDir() + QStringLiteral("/VirtualBox.json"));
    registry.open(QIODevice::ReadOnly);
    files.insert(QStringLiteral("registry"), registry.readAll());
    return files;
}
