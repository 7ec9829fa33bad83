#pragma once

#include <QString>

// The state of the boot poll: the guest counts as up once its boot has completed and the launcher app
// shows the same process id in six successive polls (a launcher that restarts during the boot starts
// the count again).
class BootPoll
{
public:
    static constexpr const char *kBootCommand = "getprop dev.bootcomplete";
    static constexpr const char *kLauncherCommand = "ps | grep com.corvel.pavixtop";
    static constexpr const char *kLauncherPackage = "com.corvel.pavixtop";
    // Successive sightings of one pid beyond the first that make the guest count as up.
    static constexpr int kStablePolls = 5;

    enum Result
    {
        NotBooted,    // the boot-complete answer holds no "1"
        LauncherDown, // the ps answer lacks the package, or has no pid field
        Counting,     // the launcher runs; not yet stable long enough
        Ready         // the same pid six times in a row
    };

    static bool isBootComplete(const QString &getpropReply);
    // The launcher's pid from a ps answer: the second field at runs of white space; empty when the
    // answer lacks the package or that field.
    static QString launcherPid(const QString &psReply);

    // One poll with both answers (the ps answer is only looked at after a boot-complete "1").
    Result step(const QString &getpropReply, const QString &psReply);

    QString lastLauncherPid() const { return m_lastLauncherPid; }
    int samePidCount() const { return m_samePidCount; }

private:
    QString m_lastLauncherPid;
    int m_samePidCount = 0;
};
