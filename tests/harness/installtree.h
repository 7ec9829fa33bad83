#pragma once

#include <QMap>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

class TestPortBlock;

// A throw-away installation of the product for one test: the install folder with
// <install>/<version>/player, the installation key, and private per-user folders. Programs started
// through it see only this tree.
class InstallTree
{
public:
    InstallTree();
    // Ends the tree's programs that still run (a detached successor, a hung stand-in).
    ~InstallTree();
    InstallTree(const InstallTree &) = delete;
    InstallTree &operator=(const InstallTree &) = delete;

    bool isValid() const { return m_dir.isValid(); }

    // The host the tree's programs run on: its processor flags, kernel modules, memory, hypervisor
    // device and display adapters (through the platform layer's probe roots), and the simulated
    // tool's host facts. A new tree declares a host with hardware virtualisation; the programs never
    // see this machine's processor.
    enum Host
    {
        HostWithVirtualisation,
        HostWithoutVirtualisation
    };
    void declareHost(Host host);
    QString hostRoot() const { return root() + QStringLiteral("/host"); }
    // The environment variables through which programs see the declared host.
    static QStringList hostVariables()
    {
        return {QStringLiteral("ORV_HOST_PROC_ROOT"), QStringLiteral("ORV_DEV_ROOT"),
                QStringLiteral("ORV_SYS_ROOT")};
    }

    QString root() const { return m_dir.path(); }
    QString installDir() const { return root() + QStringLiteral("/install"); }
    QString versionDir() const { return installDir() + QLatin1Char('/') + productVersion(); }
    QString playerDir() const { return versionDir() + QStringLiteral("/player"); }
    // First folder on PATH for the programs of this tree.
    QString binDir() const { return root() + QStringLiteral("/bin"); }
    // Where the recording stand-ins write their calls.
    QString recordDir() const { return root() + QStringLiteral("/records"); }
    QString appDataDir() const { return root() + QStringLiteral("/appdata"); }
    QString localAppDataDir() const { return root() + QStringLiteral("/localappdata"); }
    QString systemConfigDir() const { return root() + QStringLiteral("/xdg"); }
    QString userConfigDir() const { return root() + QStringLiteral("/config"); }
    QString tempDir() const { return root() + QStringLiteral("/tmp"); }
    // XDG_RUNTIME_DIR of the tree's programs, and the private folder they keep their instance segments,
    // locks and channels in.
    QString xdgRuntimeDir() const { return root() + QStringLiteral("/run"); }
    QString runtimeDir() const { return xdgRuntimeDir() + QStringLiteral("/orvanta"); }
    // Where the emulator of machine `vm` listens for second starts.
    QString channelPath(const QString &vm) const { return runtimeDir() + QStringLiteral("/channel-") + vm; }
    QString logDir() const { return installDir() + QStringLiteral("/log/log"); }

    static QString productVersion();
    // Folders of the build's staged player programs and of the stand-in programs.
    static QString stagedPlayerDir();
    static QString simBinDir();

    // Copies a staged product program into the player folder.
    bool addProgram(const QString &name);
    // Puts a recording stand-in named `name` into `dir` (default: the bin folder on PATH).
    bool addRecorder(const QString &name, const QString &dir = QString());
    // Copies the staged VirtualBox folder (the simulated tool and service under both names) into
    // <version>/VirtualBox, the folder the installation key names.
    bool addVirtualBox();
    // Copies the staged stand-in guest image (its disk files) into <version>/ova.
    bool addGuestImage();
    QString vboxDir() const { return versionDir() + QStringLiteral("/VirtualBox"); }
    QString ovaDir() const { return versionDir() + QStringLiteral("/ova"); }
    static QString stagedVersionDir();
    // Copies any file in as `destination` (kept executable when the source is).
    static bool copyFile(const QString &source, const QString &destination);

    // Writes the installation key for this tree; `extra` adds or replaces values ("Group/Key").
    void writeInstallKey(const QMap<QString, QString> &extra = {});
    QString installKeyPath() const;

    // Makes this process use the tree's temporary and runtime folders (where segments and channels are
    // named) and its port offset until the tree goes away; the previous values are restored then.
    void useTempDirHere();

    // What the tree's emulators add to their port bases (ORV_PORT_OFFSET): the offset of a block of ports
    // that this tree holds for its life, so that emulators of other trees and of other test runs on the
    // machine search elsewhere (testports.h). 0 when no block could be had.
    int portOffset() const;

    // The environment every program of this tree runs with.
    QProcessEnvironment environment() const;
    void setEnv(const QString &name, const QString &value) { m_extraEnv.insert(name, value); }

    // Argument lists of every recorded call of the stand-in `name`, in order.
    QList<QStringList> calls(const QString &name) const;
    // All debug logs of the tree joined.
    QString logText() const;

private:
    QTemporaryDir m_dir;
    bool m_tempDirInUse = false;
    QByteArray m_savedTempDir;
    QByteArray m_savedRuntimeDir;
    QByteArray m_savedPortOffset;
    std::unique_ptr<TestPortBlock> m_ports;
    QMap<QString, QString> m_extraEnv;
};
