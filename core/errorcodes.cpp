#include "errorcodes.h"

#include <QHash>

namespace ErrorCode {

QString messageKey(int code)
{
    // One table: code -> message key. Codes producing a dialog without text are absent.
    static const QHash<int, const char *> keys{
        {VBoxNotFound, "Error_vbox_setup_failed"},
        {NetworkConfigFailed, "Error_Timeout"},
        {SpeedDeviceFailed, "Error_Timeout"},
        {PortForwardFailed, "Error_Timeout"},
        {GuestPropertiesFailed, "Error_Timeout"},
        {VmInfoFailed, "Error_Timeout"},
        {VmStartFailed, "Error_Timeout"},
        {Reserved1009, "Error_Timeout"},
        {Reserved1010, "Error_Timeout"},
        {Reserved1011, "Error_Timeout"},
        {ProgramRunFailed, "Error_VBOX_CORE_ERROR"},
        {ResolutionFailed, "Error_Timeout"},
        {DpiFailed, "Error_Timeout"},
        {HostInfoFailed, "Error_Timeout"},
        {CpuCountFailed, "Error_Timeout"},
        {OvaVersionFailed, "Error_Timeout"},
        {ExtradataFailed, "Error_Timeout"},
        {NetworkLibraryFailed, "Error_WSADATA_INIT_FAILED"},
        {RenderLibraryLoadFailed, "Error_Render_Failed"},
        {RenderInitFailed, "Error_Opengl_Failed"},
        {RenderAttachFailed, "Error_Opengl_Failed"},
        {Reserved1304, "Error_Opengl_Not_Support"},
        {Reserved1305, "Error_Opengl_Not_Support"},
        {Reserved1306, "Error_Opengl_Not_32"},
        {PathHasCjk, "Error_Path_Chinese"},
        {Reserved1500, "Error_win7_not_sp1"},
        {Reserved1501, "Error_win7_not_kb3233929"},
        {ConflictingSoftware, "Error_conflict_with_soft"},
    };
    const char *key = keys.value(code, nullptr);
    return key ? QString::fromLatin1(key) : QString();
}

int fromText(const QString &text)
{
    bool ok = false;
    const int code = text.trimmed().toInt(&ok);
    return ok ? code : 0;
}

} // namespace ErrorCode
