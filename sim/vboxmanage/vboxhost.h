#pragma once

#include <QString>

// Host facts for "list hostinfo": from <state>/host.ini ([host] group) where given, else read from this
// machine (/proc/cpuinfo, /proc/meminfo, the kernel release).
class VBoxHost
{
public:
    explicit VBoxHost(const QString &stateDir);
    QString hostInfoText() const;
    QString toolVersion() const; // "--version" answer, [tool] version in host.ini
    int memorySizeMB() const;

private:
    QString value(const QString &key, const QString &fallback) const;
    QString m_iniPath;
};
