#pragma once

#include <QString>
#include <QStringList>

class InstallTree;

// The simulated Android guest (sim/guest) of one machine of an install tree, which the simulated tool
// starts with the machine and ends with it. Its lines are read back from its folder.
class GuestStandIn
{
public:
    // The machine file of `vm` that the simulated tool keeps in the tree; empty when there is none.
    static QString machineFile(const InstallTree &tree, const QString &vm);

    // Follows the guest that the simulated tool started for `vm`; false when the machine has no file.
    bool attach(const InstallTree &tree, const QString &vm);

    QString dir() const { return m_dir; }
    // The lines received on the input service, without their time stamps, in order.
    QStringList inputLines() const;
    // Asks for a one-shot action ("drop", "screencap").
    void request(const QString &name) const;

private:
    QString m_dir;
};
