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
    // "Processor supports HW virtualization" as listed by hostInfoText.
    bool supportsHardwareVirtualization() const;
    // The processor is an AMD one (AMD-V rather than VT-x).
    bool isAmdProcessor() const;

private:
    QString processorDescription() const;
    QString virtualizationFallback() const; // "yes" when /proc/cpuinfo lists vmx or svm
    QString value(const QString &key, const QString &fallback) const;
    QString m_iniPath;
};
