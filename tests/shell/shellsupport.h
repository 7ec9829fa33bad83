#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <functional>

class QWidget;

namespace ShellSupport {

// Once a modal dialog is up, runs `action` on it (from the dialog's own event loop).
void whenModal(const std::function<void(QWidget *)> &action);
// The stored usage events as "<id>" or "<id> key=value ..." (keys in order), oldest first.
QStringList storedEvents();
// Opens the usage-event store of this process (an instance database under the current APPDATA) and
// empties it.
bool openEventStore();
void clearEvents();
// Makes `path` unwritable for everyone: the immutable flag when running as the superuser (who ignores
// permissions), else read-only permissions. False when neither could be set.
bool setReadOnly(const QString &path, bool readOnly);

} // namespace ShellSupport

// The simulated Android guest (sim/guest) on a free loopback port, with this process's input channel
// connected to it.
class GuestProcess
{
public:
    ~GuestProcess();
    bool start();
    // The lines the guest received, "# ..." notes included, without time stamps. start() returns once the
    // connection's opening lines (the connection note and CONFIG) are among them, so a count taken then
    // stays put until this process sends something.
    QStringList lines() const;
    // The lines (notes left out) that reached the guest from line `from` on and were sent before now: a
    // marker line goes out on the same connection and is waited for, so every line sent before it is in.
    // Empty with `*ok` false when the marker did not arrive.
    QStringList linesSentSince(int from, bool *ok = nullptr);

private:
    QTemporaryDir m_dir;
    QProcess m_process;
};
