#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// Facts about the host's hardware, read from the kernel's files and the X server. Every root can be
// moved by the environment so that tests feed fixtures:
//   ORV_PROC_ROOT (default /proc), ORV_DEV_ROOT (default /dev), ORV_SYS_ROOT (default /sys),
//   ORV_HOST_PROC_ROOT (default: the proc root) for the host's hardware files in proc (cpuinfo,
//   modules, meminfo) alone, so that a simulated host can stand beside the live process table.
// No state, no lock; callable from any thread. A file that cannot be read counts as "not there".
namespace HardwareProbe {

QString procRoot();
QString hostProcRoot();
QString devRoot();
QString sysRoot();

// ---- hardware virtualisation ----

// "vmx" (Intel VT-x) or "svm" (AMD-V) when the processor flags in cpuinfo name one, else empty. The
// kernel drops the flag when the firmware has switched the feature off.
QString cpuVirtualisationFlag();
QString parseCpuVirtualisationFlag(const QString &cpuinfo);

// The kernel's hypervisor device (<dev>/kvm) exists: the kernel found hardware virtualisation usable.
bool kvmDevicePresent();

// One line of the kernel's module list.
struct LoadedModule
{
    QString name;
    int useCount = 0;
};
QList<LoadedModule> loadedModules();
QList<LoadedModule> parseModules(const QString &modulesText);

// The kernel's own hypervisor holds the processor's virtualisation: a kvm vendor module (kvm_intel,
// kvm_amd) is loaded and in use (a virtual machine or an open hypervisor device), or the kvm module
// switches virtualisation on as soon as it is loaded.
bool kvmHoldsVirtualisation();
// Another hypervisor product's kernel module (VMware's vmmon) is loaded and in use.
bool otherHypervisorHoldsVirtualisation();

// ---- memory ----

struct MemoryStatus
{
    bool valid = false;
    quint64 totalBytes = 0;
    quint64 availableBytes = 0;
    // Percent of physical memory in use, 0 to 100, truncated.
    int loadPercent = 0;
};
MemoryStatus memoryStatus();
MemoryStatus parseMeminfo(const QString &meminfo);

// ---- processes ----

// A process whose command name (<proc>/<pid>/comm) equals `name` exactly (case-sensitive) runs.
bool processRunning(const QString &name);

// ---- display ----

// Descriptions of the PCI display-class devices (class 0x03xxxx) under <sys>/bus/pci/devices, in the
// folder's name order, such as "VGA compatible controller [10de:1c82]".
QStringList displayAdapters();

// Bits per pixel of the X display's default screen (the pixel format of its root depth: 32 for a
// 24-bit true-colour screen); 0 when no display can be opened ($DISPLAY names the display).
int displayBitsPerPixel();

} // namespace HardwareProbe
