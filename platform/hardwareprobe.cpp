#include "hardwareprobe.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>

#include <X11/Xlib.h>

namespace {
// The colour-depth probe, the OpenGL probe and the GUI may talk to X from different threads at once;
// Xlib allows that only when XInitThreads() ran before any other Xlib call, so it runs at load time.
const bool xlibThreadsReady = XInitThreads() != 0;
} // namespace

namespace HardwareProbe {

namespace {

QString rootFromEnv(const char *name, const char *fallback)
{
    const QString root = qEnvironmentVariable(name);
    return root.isEmpty() ? QString::fromLatin1(fallback) : root;
}

// Reads a kernel file to its end (their sizes read as 0); empty when it cannot be opened.
QString readText(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromLatin1(file.readAll());
}

bool moduleInUse(const QList<LoadedModule> &modules, const QString &name)
{
    for (const LoadedModule &module : modules)
        if (module.name == name)
            return module.useCount > 0;
    return false;
}

bool moduleLoaded(const QList<LoadedModule> &modules, const QString &name)
{
    for (const LoadedModule &module : modules)
        if (module.name == name)
            return true;
    return false;
}

} // namespace

QString procRoot()
{
    return rootFromEnv("ORV_PROC_ROOT", "/proc");
}

QString hostProcRoot()
{
    const QString root = qEnvironmentVariable("ORV_HOST_PROC_ROOT");
    return root.isEmpty() ? procRoot() : root;
}

QString devRoot()
{
    return rootFromEnv("ORV_DEV_ROOT", "/dev");
}

QString sysRoot()
{
    return rootFromEnv("ORV_SYS_ROOT", "/sys");
}

QString parseCpuVirtualisationFlag(const QString &cpuinfo)
{
    const QStringList lines = cpuinfo.split(QLatin1Char('\n'));
    for (const QString &line : lines) {
        const int colon = line.indexOf(QLatin1Char(':'));
        if (colon < 0 || line.left(colon).trimmed() != QLatin1String("flags"))
            continue;
        const QStringList flags = line.mid(colon + 1).split(QLatin1Char(' '), Qt::SkipEmptyParts);
        if (flags.contains(QLatin1String("vmx")))
            return QStringLiteral("vmx");
        if (flags.contains(QLatin1String("svm")))
            return QStringLiteral("svm");
    }
    return QString();
}

QString cpuVirtualisationFlag()
{
    return parseCpuVirtualisationFlag(readText(hostProcRoot() + QStringLiteral("/cpuinfo")));
}

bool kvmDevicePresent()
{
    return QFileInfo::exists(devRoot() + QStringLiteral("/kvm"));
}

QList<LoadedModule> parseModules(const QString &modulesText)
{
    // "kvm_intel 380928 2 - Live 0x0000000000000000": name, size, use count, users, state, address.
    QList<LoadedModule> modules;
    const QStringList lines = modulesText.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    for (const QString &line : lines) {
        const QStringList fields = line.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        if (fields.size() < 3)
            continue;
        bool ok = false;
        const int useCount = fields.at(2).toInt(&ok);
        modules.append({fields.at(0), ok ? useCount : 0});
    }
    return modules;
}

QList<LoadedModule> loadedModules()
{
    return parseModules(readText(hostProcRoot() + QStringLiteral("/modules")));
}

bool kvmHoldsVirtualisation()
{
    const QList<LoadedModule> modules = loadedModules();
    const bool vendorLoaded = moduleLoaded(modules, QStringLiteral("kvm_intel")) ||
                              moduleLoaded(modules, QStringLiteral("kvm_amd"));
    if (!vendorLoaded)
        return false;
    if (moduleInUse(modules, QStringLiteral("kvm_intel")) || moduleInUse(modules, QStringLiteral("kvm_amd")))
        return true;
    // Newer kernels switch virtualisation on when the module loads, whether or not a machine runs.
    const QString atLoad =
        readText(sysRoot() + QStringLiteral("/module/kvm/parameters/enable_virt_at_load")).trimmed();
    return atLoad == QLatin1String("Y") || atLoad == QLatin1String("1");
}

bool otherHypervisorHoldsVirtualisation()
{
    return moduleInUse(loadedModules(), QStringLiteral("vmmon"));
}

MemoryStatus parseMeminfo(const QString &meminfo)
{
    // "MemTotal:       24682300 kB"
    QHash<QString, quint64> values;
    const QStringList lines = meminfo.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    for (const QString &line : lines) {
        const int colon = line.indexOf(QLatin1Char(':'));
        if (colon <= 0)
            continue;
        const QStringList parts = line.mid(colon + 1).split(QLatin1Char(' '), Qt::SkipEmptyParts);
        if (parts.isEmpty())
            continue;
        bool ok = false;
        const quint64 kib = parts.first().toULongLong(&ok);
        if (ok)
            values.insert(line.left(colon).trimmed(), kib);
    }

    MemoryStatus status;
    const quint64 totalKib = values.value(QStringLiteral("MemTotal"));
    if (totalKib == 0)
        return status;
    quint64 availableKib = 0;
    if (values.contains(QStringLiteral("MemAvailable")))
        availableKib = values.value(QStringLiteral("MemAvailable"));
    else // kernels before 3.14
        availableKib = values.value(QStringLiteral("MemFree")) + values.value(QStringLiteral("Buffers")) +
                       values.value(QStringLiteral("Cached"));
    availableKib = qMin(availableKib, totalKib);

    status.valid = true;
    status.totalBytes = totalKib * 1024;
    status.availableBytes = availableKib * 1024;
    status.loadPercent = static_cast<int>((totalKib - availableKib) * 100 / totalKib);
    return status;
}

MemoryStatus memoryStatus()
{
    return parseMeminfo(readText(hostProcRoot() + QStringLiteral("/meminfo")));
}

bool processRunning(const QString &name)
{
    static const QRegularExpression digits(QStringLiteral("^[0-9]+$"));
    const QDir proc(procRoot());
    const QStringList entries = proc.entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &entry : entries) {
        if (!digits.match(entry).hasMatch())
            continue;
        QString command = readText(proc.filePath(entry + QStringLiteral("/comm")));
        if (command.endsWith(QLatin1Char('\n')))
            command.chop(1);
        if (command == name)
            return true;
    }
    return false;
}

QStringList displayAdapters()
{
    QStringList adapters;
    const QDir devices(sysRoot() + QStringLiteral("/bus/pci/devices"));
    const QStringList entries = devices.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    for (const QString &entry : entries) {
        bool ok = false;
        const uint pciClass =
            readText(devices.filePath(entry + QStringLiteral("/class"))).trimmed().toUInt(&ok, 16);
        if (!ok || (pciClass >> 16) != 0x03)
            continue;
        const QString vendor = readText(devices.filePath(entry + QStringLiteral("/vendor"))).trimmed();
        const QString device = readText(devices.filePath(entry + QStringLiteral("/device"))).trimmed();
        QString kind;
        switch ((pciClass >> 8) & 0xff) {
        case 0x00:
            kind = QStringLiteral("VGA compatible controller");
            break;
        case 0x01:
            kind = QStringLiteral("XGA compatible controller");
            break;
        case 0x02:
            kind = QStringLiteral("3D controller");
            break;
        default:
            kind = QStringLiteral("Display controller");
            break;
        }
        auto id = [](QString text) { return text.startsWith(QLatin1String("0x")) ? text.mid(2) : text; };
        adapters << QStringLiteral("%1 [%2:%3]").arg(kind, id(vendor), id(device));
    }
    return adapters;
}

int displayBitsPerPixel()
{
    Display *display = XOpenDisplay(nullptr);
    if (!display)
        return 0;
    const int depth = DefaultDepth(display, DefaultScreen(display));
    int bits = 0;
    int count = 0;
    if (XPixmapFormatValues *formats = XListPixmapFormats(display, &count)) {
        for (int i = 0; i < count; ++i)
            if (formats[i].depth == depth)
                bits = formats[i].bits_per_pixel;
        XFree(formats);
    }
    XCloseDisplay(display);
    return bits;
}

} // namespace HardwareProbe
