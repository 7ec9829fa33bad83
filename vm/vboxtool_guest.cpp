// What the guest learns about its host through guest properties, and the registration of the device
// plug-in through extradata. Each value is written only when the machine holds another one.
#include "errorcodes.h"
#include "global.h"
#include "logtags.h"
#include "vboxtool.h"

#include <QCoreApplication>
#include <QDebug>

namespace {

constexpr int kToolTimeoutSeconds = 120;

int writeGuestProperty(VBoxTool *tool, const QString &name, const QString &value)
{
    return tool->exec({QStringLiteral("guestproperty"), QStringLiteral("set"), Global::vmName, name, value},
                      nullptr, nullptr, kToolTimeoutSeconds);
}

int writeExtraData(VBoxTool *tool, const QString &key, const QString &value)
{
    return tool->exec({QStringLiteral("setextradata"), Global::vmName, key, value}, nullptr, nullptr,
                      kToolTimeoutSeconds);
}

} // namespace

void VBoxTool::setChannelProperty()
{
    // The first valid channel written stays with the machine.
    const QString current = m_guestProperties.value(QStringLiteral("orvanta_channel"));
    if (!current.isEmpty() && current != QLatin1String("0") && !current.contains(QLatin1String("No")))
        return;
    writeGuestProperty(this, QStringLiteral("orvanta_channel"), Global::installInfo.channelId);
}

void VBoxTool::setUuidProperty()
{
    if (m_guestProperties.value(QStringLiteral("orvanta_uuid")) != Global::systemInfo.installUuid)
        writeGuestProperty(this, QStringLiteral("orvanta_uuid"), Global::systemInfo.installUuid);
}

void VBoxTool::setYeltPortProperty()
{
    if (m_guestProperties.value(QStringLiteral("orvanta_yelt_port")) != Global::yeltPort)
        writeGuestProperty(this, QStringLiteral("orvanta_yelt_port"), Global::yeltPort);
}

void VBoxTool::setGuestFeatures()
{
    for (const char *name : {"hardware_opengl", "su_bypass"}) {
        if (m_guestProperties.value(QLatin1String(name)) != QLatin1String("1"))
            writeGuestProperty(this, QLatin1String(name), QStringLiteral("1"));
    }
    // Wanted: present with the empty value.
    const QString keyboard = QStringLiteral("vkeyboard_mode");
    if (!m_guestProperties.contains(keyboard) || !m_guestProperties.value(keyboard).isEmpty())
        writeGuestProperty(this, keyboard, QString(QLatin1String("")));
}

void VBoxTool::setRenderModeProperty()
{
    if (m_guestProperties.value(QStringLiteral("orvanta_render_mode")) != Global::renderMode)
        writeGuestProperty(this, QStringLiteral("orvanta_render_mode"), Global::renderMode);
}

void VBoxTool::setFirstRunProperty()
{
    // The first instance is never told it runs for the first time.
    if (Global::vmName == QLatin1String("Orvanta_0"))
        return;
    const QString current = m_guestProperties.value(QStringLiteral("is_first_run"));
    if (current.isEmpty())
        writeGuestProperty(this, QStringLiteral("is_first_run"), QStringLiteral("true"));
    else if (current == QLatin1String("true"))
        writeGuestProperty(this, QStringLiteral("is_first_run"), QStringLiteral("false"));
}

QString VBoxTool::speedDevicePath()
{
    const InstallInfo &install = Global::installInfo;
    return install.installDir + QLatin1Char('/') + install.productVersion + QStringLiteral("/player/") +
           (Global::systemInfo.is64Bit ? QStringLiteral("OrvSpeed-x64.so")
                                       : QStringLiteral("OrvSpeed-x86.so"));
}

int VBoxTool::setSpeedDevice()
{
    const QString path = speedDevicePath();
    const QString pathKey = QStringLiteral("VBoxInternal/PDM/Devices/OrvSpeed/Path");
    if (m_extraData.value(pathKey) != path) {
        qDebug().noquote() << QStringLiteral(ORV_LOG_VBOXTOOL "modifyvm Path ") + path;
        if (writeExtraData(this, pathKey, path) != ErrorCode::Success)
            return ErrorCode::SpeedDeviceFailed;
    }
    const QString anythingKey = QStringLiteral("VBoxInternal/Devices/OrvSpeed/0/anything");
    if (m_extraData.value(anythingKey) != QLatin1String("OrvSpeed")) {
        qDebug().noquote() << QStringLiteral(ORV_LOG_VBOXTOOL "modifyvm anything");
        if (writeExtraData(this, anythingKey, QStringLiteral("OrvSpeed")) != ErrorCode::Success)
            return ErrorCode::SpeedDeviceFailed;
    }
    const QString trustedKey = QStringLiteral("VBoxInternal/Devices/OrvSpeed/0/Trusted");
    if (m_extraData.value(trustedKey) != QLatin1String("1")) {
        qDebug().noquote() << QStringLiteral(ORV_LOG_VBOXTOOL "modifyvm Trusted");
        if (writeExtraData(this, trustedKey, QStringLiteral("1")) != ErrorCode::Success)
            return ErrorCode::SpeedDeviceFailed;
    }

    Global::vmPort = QString::number(QCoreApplication::applicationPid());
    qDebug().noquote() << QStringLiteral(ORV_LOG_GLOBAL "vmPort ") + Global::vmPort;
    if (m_guestProperties.value(QStringLiteral("emu_id")) != Global::vmPort) {
        qDebug().noquote() << QStringLiteral(ORV_LOG_VBOXTOOL "modifyvm emu_id");
        if (writeGuestProperty(this, QStringLiteral("emu_id"), Global::vmPort) != ErrorCode::Success)
            return ErrorCode::SpeedDeviceFailed;
    }
    return ErrorCode::Success;
}

int VBoxTool::setStreamMode()
{
    const QString wanted =
        Global::streamMode == QLatin1String("pipe") ? QStringLiteral("pipe") : QStringLiteral("speed");
    if (m_guestProperties.value(QStringLiteral("stream_mode")) != wanted &&
        writeGuestProperty(this, QStringLiteral("stream_mode"), wanted) != ErrorCode::Success)
        return ErrorCode::SpeedDeviceFailed;
    return ErrorCode::Success;
}

void VBoxTool::clearEmuId()
{
    qDebug().noquote() << QStringLiteral(ORV_LOG_VBOXTOOL "clear emu_id");
    writeGuestProperty(this, QStringLiteral("emu_id"), QString(QLatin1String("")));
}
