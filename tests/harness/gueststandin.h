#pragma once

#include <QMap>
#include <QProcess>
#include <QString>
#include <QStringList>

class InstallTree;

// The simulated Android guest (sim/guest) of one machine of an install tree, started by the test once
// the machine runs. Its lines and its picture are read back from its folder.
class GuestStandIn
{
public:
    GuestStandIn() = default;
    ~GuestStandIn();
    GuestStandIn(const GuestStandIn &) = delete;
    GuestStandIn &operator=(const GuestStandIn &) = delete;

    // The machine file of `vm` that the simulated tool keeps in the tree; empty when there is none.
    static QString machineFile(const InstallTree &tree, const QString &vm);

    // Starts the guest for `vm` with its ports and picture key from the machine file; `controls` are
    // the guest's controls ("boot_ms" -> "0", ...). False when the machine file is missing.
    bool start(const InstallTree &tree, const QString &vm, const QMap<QString, QString> &controls = {});
    void stop();
    bool isRunning() const { return m_process.state() != QProcess::NotRunning; }

    QString dir() const { return m_dir; }
    // The lines received on the input service, without their time stamps, in order.
    QStringList inputLines() const;
    // Asks for a one-shot action ("drop", "screencap").
    void request(const QString &name) const;

private:
    QProcess m_process;
    QString m_dir;
};
