#pragma once

#include "gueststandin.h"
#include "installtree.h"
#include "programrun.h"

#include <QMap>
#include <QStringList>
#include <QVariant>

#include <memory>

// An install tree with the emulator, the simulated VirtualBox tool and guest image, the render library
// stand-ins in the player folder, a recording instance manager, and the simulated guest of the
// machine, for the tests of the Android screen.
class ScreenFixture
{
public:
    static constexpr const char *kVm = "Orvanta_4";
    static constexpr const char *kMachineRunning = "Loading    : machine running";
    static constexpr const char *kShowAndroid = "Control    : now show android";

    ScreenFixture();
    ~ScreenFixture();

    bool isValid() const { return m_valid; }
    InstallTree &tree() { return *m_tree; }
    GuestStandIn &guest() { return m_guest; }

    // Starts the emulator for kVm with "-debug" and `extra`.
    std::unique_ptr<ProgramRun> startEmulator(const QStringList &extra = {});
    // Waits until the machine runs, then starts its guest with `controls`.
    bool startGuest(ProgramRun &emulator, const QMap<QString, QString> &controls = {});
    // The render stand-ins' call trace, one entry per line.
    QStringList renderTrace() const;
    // The status words the emulator told the instance manager, in order.
    QStringList statusWords() const;
    // Writes one key of the instance settings file before the start.
    void writeSetting(const QString &key, const QVariant &value);

private:
    std::unique_ptr<InstallTree> m_tree;
    GuestStandIn m_guest;
    QByteArray m_savedTmpDir;
    bool m_valid = false;
};
