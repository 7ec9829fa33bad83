#include "bootpoll.h"

#include <QRegularExpression>
#include <QStringList>

bool BootPoll::isBootComplete(const QString &getpropReply)
{
    return getpropReply.contains(QLatin1Char('1'));
}

QString BootPoll::launcherPid(const QString &psReply)
{
    if (!psReply.contains(QLatin1String(kLauncherPackage)))
        return QString();
    static const QRegularExpression blanks(QStringLiteral("\\s+"));
    const QStringList fields = psReply.split(blanks);
    // A short answer (a cut-off line) counts as "not yet up" rather than as a pid.
    if (fields.size() < 2)
        return QString();
    return fields.at(1);
}

BootPoll::Result BootPoll::step(const QString &getpropReply, const QString &psReply)
{
    if (!isBootComplete(getpropReply))
        return NotBooted;
    const QString pid = launcherPid(psReply);
    if (pid.isEmpty())
        return LauncherDown;
    if (pid == m_lastLauncherPid) {
        ++m_samePidCount;
    } else {
        m_samePidCount = 0;
        m_lastLauncherPid = pid;
    }
    return m_samePidCount >= kStablePolls ? Ready : Counting;
}
