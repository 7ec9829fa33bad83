#pragma once

#include "tooloutput.h"
#include "vboxhost.h"
#include "vboxstore.h"

#include <QStringList>

// The command handlers of the stand-in tool. Each reads and changes the store and writes its answer to the
// output in the real Linux tool's words; the result is the process exit code (0, 1 or 2).
class VBoxCommands
{
public:
    VBoxCommands(VBoxStore &store, const VBoxHost &host, ToolOutput &out);

    int run(const QStringList &args);

    static CommandUsage usage(const QString &command);
    // The file-system-safe form of a machine name used for its folder and settings file.
    static QString sanitiseName(const QString &name);

private:
    int list(const QStringList &a);
    int showVmInfo(const QStringList &a);
    int createVm(const QStringList &a);
    int modifyVm(const QStringList &a);
    int storageCtl(const QStringList &a);
    int storageAttach(const QStringList &a);
    int internalCommands(const QStringList &a);
    int closeMedium(const QStringList &a);
    int showHdInfo(const QStringList &a);
    int guestProperty(const QStringList &a);
    int setExtraData(const QStringList &a);
    int getExtraData(const QStringList &a);
    int sharedFolder(const QStringList &a);
    int startVm(const QStringList &a);
    int controlVm(const QStringList &a);
    int controlNatRule(VBoxMachine &m, const QString &nic, const QStringList &a);
    int discardState(const QStringList &a);
    int registerVm(const QStringList &a);
    int unregisterVm(const QStringList &a);
    int setProperty(const QStringList &a);
    int cloneVm(const QStringList &a);
    int exportAppliance(const QStringList &a);
    int importAppliance(const QStringList &a);

    // Shared steps and error forms.
    int findMachine(const QString &nameOrUuid, const QString &sourceFile);
    int notRunning(const QString &typed);
    int lockedForSession(const VBoxMachine &m, const QString &sourceFile);
    int openMedium(const QString &fileOrUuid, const QString &type, bool lastLine, QString *uuid);
    bool saveMachine(const VBoxMachine &m);
    bool saveStore();
    int storeFailure();
    QString absolutePath(const QString &path) const;
    QString mediumPath(const QString &uuid) const;
    QString hdInfoText(const VBoxMedium &medium) const;
    void writeVmLog(const VBoxMachine &m);
    int applyModifyOption(VBoxMachine &m, int id, const QString &typed, const QString &value, int index,
                          const QStringList &rest, int *consumed);

    VBoxStore &m_store;
    const VBoxHost &m_host;
    ToolOutput &m_out;
    QString m_command;
};
