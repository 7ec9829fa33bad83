#include "vboxhost.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSettings>
#include <QSysInfo>
#include <QThread>

namespace {

QString procValue(const QString &file, const QString &key)
{
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly))
        return QString();
    const QStringList lines = QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'));
    for (const QString &line : lines) {
        const int colon = line.indexOf(QLatin1Char(':'));
        if (colon > 0 && line.left(colon).trimmed() == key)
            return line.mid(colon + 1).trimmed();
    }
    return QString();
}

QString megabytes(const QString &kbText)
{
    return QString::number(kbText.section(' ', 0, 0).toLongLong() / 1024);
}

} // namespace

VBoxHost::VBoxHost(const QString &stateDir) : m_iniPath(QDir(stateDir).absoluteFilePath("host.ini")) {}

QString VBoxHost::value(const QString &key, const QString &fallback) const
{
    QSettings ini(m_iniPath, QSettings::IniFormat);
    return ini.value(key, fallback).toString();
}

QString VBoxHost::toolVersion() const
{
    return value(QStringLiteral("tool/version"), QStringLiteral("7.1.4r165100"));
}

int VBoxHost::memorySizeMB() const
{
    return value(QStringLiteral("host/memorySize"), megabytes(procValue("/proc/meminfo", "MemTotal")))
        .toInt();
}

QString VBoxHost::virtualizationFallback() const
{
    return procValue("/proc/cpuinfo", "flags").contains(QRegularExpression("\\b(vmx|svm)\\b")) ? "yes" : "no";
}

QString VBoxHost::processorDescription() const
{
    return value(QStringLiteral("host/processorDescription"), procValue("/proc/cpuinfo", "model name"));
}

bool VBoxHost::supportsHardwareVirtualization() const
{
    return value(QStringLiteral("host/supportsHWvirtualization"), virtualizationFallback()) ==
           QLatin1String("yes");
}

bool VBoxHost::isAmdProcessor() const
{
    return processorDescription().contains(QLatin1String("AMD"));
}

QString VBoxHost::hostInfoText() const
{
    const QString cpus = QString::number(QThread::idealThreadCount());
    const QString online = value(QStringLiteral("host/processorOnlineCount"), cpus);
    const int count = value(QStringLiteral("host/processorCount"), online).toInt();
    const QString cores = value(
        QStringLiteral("host/processorCoreCount"),
        procValue("/proc/cpuinfo", "cpu cores").isEmpty() ? online : procValue("/proc/cpuinfo", "cpu cores"));
    const QString virt = virtualizationFallback();
    const QString description = processorDescription();
    const QString speed = value(QStringLiteral("host/processorSpeed"),
                                QString::number(procValue("/proc/cpuinfo", "cpu MHz").toDouble(), 'f', 0));

    QString text = QStringLiteral("Host Information:\n\n");
    text += QStringLiteral("Host time: ") +
            QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz")) +
            QStringLiteral("000000Z\n");
    text += QStringLiteral("Processor online count: %1\n").arg(online);
    text += QStringLiteral("Processor count: %1\n").arg(count);
    text += QStringLiteral("Processor online core count: %1\n")
                .arg(value(QStringLiteral("host/processorOnlineCoreCount"), cores));
    text += QStringLiteral("Processor core count: %1\n").arg(cores);
    const char *features[] = {"HW virtualization",  "PAE",
                              "long mode",          "nested paging",
                              "unrestricted guest", "nested HW virtualization",
                              "virt. vmsave/vmload"};
    for (const char *feature : features) {
        QString key = QString::fromLatin1(feature);
        key.remove(QRegularExpression("[^A-Za-z]"));
        const bool virtFeature = key.contains("virt") || key == "nestedpaging" || key == "unrestrictedguest";
        const QString fallback = key == "virtvmsavevmload" ? "no" : (virtFeature ? virt : "yes");
        text +=
            QStringLiteral("Processor supports %1: %2\n")
                .arg(QString::fromLatin1(feature), value(QStringLiteral("host/supports") + key, fallback));
    }
    for (int i = 0; i < count; ++i) {
        const QString mhz = i == 0 ? speed : value(QStringLiteral("host/processorSpeed%1").arg(i), speed);
        text +=
            QStringLiteral("Processor#%1 speed: %2\n").arg(i).arg(mhz.toInt() > 0 ? mhz + " MHz" : "unknown");
        text += QStringLiteral("Processor#%1 description: %2\n").arg(i).arg(description);
    }
    text += QStringLiteral("Memory size: %1 MByte\n").arg(memorySizeMB());
    text += QStringLiteral("Memory available: %1 MByte\n")
                .arg(value(QStringLiteral("host/memoryAvailable"),
                           megabytes(procValue("/proc/meminfo", "MemAvailable"))));
    text += QStringLiteral("Operating system: %1\n")
                .arg(value(QStringLiteral("host/os"),
                           QSysInfo::kernelType() == "linux" ? "Linux" : QSysInfo::kernelType()));
    text += QStringLiteral("Operating system version: %1\n")
                .arg(value(QStringLiteral("host/osVersion"), QSysInfo::kernelVersion()));
    return text;
}
