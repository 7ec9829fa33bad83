#pragma once

#include "gueststandin.h"
#include "installtree.h"
#include "programrun.h"

#include <QMap>
#include <QStringList>
#include <QVariant>

#include <memory>

// An install tree with the emulator, the simulated VirtualBox tool (which starts the simulated guest
// with the machine) and guest image, the render library stand-ins in the player folder and a recording
// instance manager, for the tests of the Android screen.
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
    // The controls of the guest that the simulated tool starts with the machine ("boot_ms" -> "0");
    // set before the emulator starts.
    void setGuestControls(const QMap<QString, QString> &controls);
    // Waits until the machine runs and follows its guest.
    bool attachGuest(ProgramRun &emulator);
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
