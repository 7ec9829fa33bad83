// The machine's hardware profile and the user's performance and screen settings. Every step compares the
// wanted values with the machine as read at the start of the attempt and runs one tool command only when
// something differs.
#include "commandline.h"
#include "errorcodes.h"
#include "global.h"
#include "logtags.h"
#include "settingmodel.h"
#include "vboxtool.h"

#include <QDebug>

namespace {

constexpr int kToolTimeoutSeconds = 120;
// The host audio driver VirtualBox takes on this platform (the Windows-only driver is refused here).
const char *const kAudioDriver = "pulse";
constexpr int kMinimumMemoryMB = 256;

} // namespace

void VBoxTool::applyVmSettings()
{
    setShareFolders();
    setChannelProperty();
    setUuidProperty();
    setYeltPortProperty();
    setHwVirtEx(true);
    setAudio();
    setVideoAndAcpi();
    disableUsb();
    setCpuFeatures();
    setGuestFeatures();
    setRenderModeProperty();
    setFirstRunProperty();
}

void VBoxTool::setHwVirtEx(bool withVt)
{
    const QString &vm = Global::vmName;
    if (!withVt) {
        exec({QStringLiteral("modifyvm"), vm, QStringLiteral("--hwvirtex"), QStringLiteral("off")}, nullptr,
             nullptr, kToolTimeoutSeconds);
        return;
    }
    const QString wanted = CommandLine::vt_f ? QStringLiteral("off") : QStringLiteral("on");
    if (m_vmInfo.value(QStringLiteral("hwvirtex")) != wanted)
        exec({QStringLiteral("modifyvm"), vm, QStringLiteral("--hwvirtex"), wanted}, nullptr, nullptr,
             kToolTimeoutSeconds);
}

void VBoxTool::setAudio()
{
    if (m_vmInfo.value(QStringLiteral("audio")) == QLatin1String(kAudioDriver))
        return;
    exec({QStringLiteral("modifyvm"), Global::vmName, QStringLiteral("--audiocontroller"),
          QStringLiteral("ac97"), QStringLiteral("--audio"), QLatin1String(kAudioDriver)},
         nullptr, nullptr, kToolTimeoutSeconds);
}

void VBoxTool::setVideoAndAcpi()
{
    if (m_vmInfo.value(QStringLiteral("vram")) == QLatin1String("12") &&
        m_vmInfo.value(QStringLiteral("acpi")) == QLatin1String("on"))
        return;
    exec({QStringLiteral("modifyvm"), Global::vmName, QStringLiteral("--vram"), QStringLiteral("12"),
          QStringLiteral("--acpi"), QStringLiteral("on")},
         nullptr, nullptr, kToolTimeoutSeconds);
}

void VBoxTool::disableUsb()
{
    if (m_vmInfo.value(QStringLiteral("usb")) == QLatin1String("off") &&
        m_vmInfo.value(QStringLiteral("ehci")) == QLatin1String("off"))
        return;
    exec({QStringLiteral("modifyvm"), Global::vmName, QStringLiteral("--usb"), QStringLiteral("off"),
          QStringLiteral("--usbehci"), QStringLiteral("off")},
         nullptr, nullptr, kToolTimeoutSeconds);
}

void VBoxTool::setCpuFeatures()
{
    const auto is = [this](const char *key, const char *value) {
        return m_vmInfo.value(QLatin1String(key)) == QLatin1String(value);
    };
    // Older tools printed the time offset and the RTC switch run together as "Time offset=0rtcuseutc=on";
    // current ones print "rtcuseutc" on its own line. Either form says the RTC runs in UTC.
    const bool rtcInUtc = is("rtcuseutc", "on") || is("Time offset", "0rtcuseutc=on");
    if (is("ioapic", "on") && is("longmode", "on") && is("pae", "on") && is("largepages", "off") && rtcInUtc)
        return;
    exec({QStringLiteral("modifyvm"), Global::vmName, QStringLiteral("--ioapic"), QStringLiteral("on"),
          QStringLiteral("--longmode"), QStringLiteral("on"), QStringLiteral("--pae"), QStringLiteral("on"),
          QStringLiteral("--largepages"), QStringLiteral("off"), QStringLiteral("--rtcuseutc"),
          QStringLiteral("on")},
         nullptr, nullptr, kToolTimeoutSeconds);
}

int VBoxTool::initNetwork()
{
    if (CommandLine::tcp)
        return ErrorCode::Success;
    qInfo().noquote() << QStringLiteral(ORV_LOG_VBOXTOOL "init network");
    const QString &vm = Global::vmName;
    for (const QString &adapter : {QStringLiteral("1"), QStringLiteral("2")}) {
        const auto is = [&](const QString &key, const char *value) {
            return m_vmInfo.value(key + adapter) == QLatin1String(value);
        };
        if (is(QStringLiteral("natnet"), "nat") && is(QStringLiteral("nic"), "nat") &&
            is(QStringLiteral("cableconnected"), "on") && is(QStringLiteral("nictype"), "82540EM"))
            continue;
        if (exec({QStringLiteral("modifyvm"), vm, QStringLiteral("--nic") + adapter, QStringLiteral("nat"),
                  QStringLiteral("--cableconnected") + adapter, QStringLiteral("on"),
                  QStringLiteral("--macaddress") + adapter, QStringLiteral("auto"),
                  QStringLiteral("--nictype") + adapter, QStringLiteral("82540EM"),
                  QStringLiteral("--nictrace") + adapter, QStringLiteral("off")},
                 nullptr, nullptr, kToolTimeoutSeconds) != ErrorCode::Success)
            return ErrorCode::NetworkConfigFailed;
    }
    int code = setSpeedDevice();
    if (code != ErrorCode::Success)
        return code;
    code = initPort();
    if (code != ErrorCode::Success)
        return code;
    code = setStreamMode();
    if (code != ErrorCode::Success)
        return code;
    qInfo().noquote() << QStringLiteral(ORV_LOG_VBOXTOOL "init network ok");
    return ErrorCode::Success;
}

int VBoxTool::checkCpu(bool withVt)
{
    qInfo().noquote() << QStringLiteral(ORV_LOG_VBOXTOOL "check cpu");
    const int wanted = SettingModel::instance()->performance()->cpuCoresCount();
    const int machineCount = m_vmInfo.value(QStringLiteral("cpus")).toInt();
    qDebug().noquote() << QStringLiteral(ORV_LOG_VBOXTOOL "vm cpu number : ") + QString::number(machineCount);

    const int hostCount = m_hostInfo.value(QStringLiteral("Processor online count")).toInt();
    Global::systemInfo.hostCpuCount = hostCount;
    if (hostCount == -1)
        return ErrorCode::CpuCountFailed;
    qDebug().noquote() << QStringLiteral(ORV_LOG_VBOXTOOL "host cpu number  ") + QString::number(hostCount);
    if (hostCount <= 0)
        qWarning().noquote() << QStringLiteral(ORV_LOG_VBOXTOOL "host cpu number unknown, no upper bound");

    int count;
    if (!withVt)
        count = 1;
    else if (hostCount > 0 && wanted > hostCount)
        count = hostCount;
    else if (wanted <= 0)
        count = 1;
    else
        count = wanted;
    qInfo().noquote() << QStringLiteral(ORV_LOG_VBOXTOOL "check cpu ok");

    const QString text = QString::number(count);
    if (m_vmInfo.value(QStringLiteral("cpus")) == text)
        return ErrorCode::Success;
    m_vmInfo.insert(QStringLiteral("cpus"), text);
    return exec({QStringLiteral("modifyvm"), Global::vmName, QStringLiteral("--cpus"), text}, nullptr,
                nullptr, kToolTimeoutSeconds);
}

int VBoxTool::checkMemory(bool withVt)
{
    qInfo().noquote() << QStringLiteral(ORV_LOG_VBOXTOOL "check memory");
    const int current = m_vmInfo.value(QStringLiteral("memory")).toInt();
    qDebug().noquote() << QStringLiteral(ORV_LOG_VBOXTOOL "current memory ") + QString::number(current) +
                              QStringLiteral("MB");
    int limit = 0;
    hostMemorySize(&limit, withVt);
    qDebug().noquote() << QStringLiteral(ORV_LOG_VBOXTOOL "max memory  ") + QString::number(limit) +
                              QStringLiteral("MB");
    // Without the host's memory size there is no known bound (a bound of 0 would write "--memory 0").
    const bool limitKnown = limit > 0;
    if (!limitKnown)
        qWarning().noquote() << QStringLiteral(ORV_LOG_VBOXTOOL "host memory size unknown, no upper bound");

    const int wanted = SettingModel::instance()->performance()->ramSize();
    if (limitKnown && wanted > limit)
        return setMemory(limit);
    if (wanted < kMinimumMemoryMB)
        return setMemory(kMinimumMemoryMB);
    if (wanted != current)
        return setMemory(wanted);
    qInfo().noquote() << QStringLiteral(ORV_LOG_VBOXTOOL "check memory ok");
    return ErrorCode::Success;
}

int VBoxTool::setMemory(int megabytes)
{
    qInfo().noquote() << QStringLiteral(ORV_LOG_VBOXTOOL "modify memory");
    const QString text = QString::number(megabytes);
    m_vmInfo.insert(QStringLiteral("memory"), text);
    return exec({QStringLiteral("modifyvm"), Global::vmName, QStringLiteral("--memory"), text}, nullptr,
                nullptr, kToolTimeoutSeconds);
}

int VBoxTool::setResolutionAndDpi()
{
    // "resolutiona" (sic) in this line and the next: spelled as the support staff's log filters look for it.
    qInfo().noquote() << QStringLiteral(ORV_LOG_VBOXTOOL "set resolutiona and dpi");
    const SettingResolutionData *resolution = SettingModel::instance()->resolution();
    const QString &vm = Global::vmName;
    int result = ErrorCode::Success;

    const QString mode =
        QStringLiteral("%1x%2-16")
            .arg(QString::number(resolution->width()), QString::number(resolution->height()));
    if (m_guestProperties.value(QStringLiteral("vbox_graph_mode")) != mode &&
        exec({QStringLiteral("guestproperty"), QStringLiteral("set"), vm, QStringLiteral("vbox_graph_mode"),
              mode},
             nullptr, nullptr, kToolTimeoutSeconds) != ErrorCode::Success)
        result = ErrorCode::ResolutionFailed;

    const QString dpi = QString::number(resolution->dpi());
    if (m_guestProperties.value(QStringLiteral("vbox_dpi")) != dpi &&
        exec({QStringLiteral("guestproperty"), QStringLiteral("set"), vm, QStringLiteral("vbox_dpi"), dpi},
             nullptr, nullptr, kToolTimeoutSeconds) != ErrorCode::Success)
        result = ErrorCode::DpiFailed;

    qInfo().noquote() << QStringLiteral(ORV_LOG_VBOXTOOL "set resolutiona and dpi ok");
    return result;
}
