#include "errorcodes.h"

#include <QHash>

namespace ErrorCode {

QString messageKey(int code)
{
    // One table: code -> message key. Codes producing a dialog without text are absent. The dialog
    // dispatcher translates the keys in its own context, where the translation tools find them marked.
    static const QHash<int, const char *> keys{
        {VBoxNotFound, QT_TRANSLATE_NOOP("DialogControl", "Error_vbox_setup_failed")},
        {NetworkConfigFailed, QT_TRANSLATE_NOOP("DialogControl", "Error_Timeout")},
        {SpeedDeviceFailed, QT_TRANSLATE_NOOP("DialogControl", "Error_Timeout")},
        {PortForwardFailed, QT_TRANSLATE_NOOP("DialogControl", "Error_Timeout")},
        {GuestPropertiesFailed, QT_TRANSLATE_NOOP("DialogControl", "Error_Timeout")},
        {VmInfoFailed, QT_TRANSLATE_NOOP("DialogControl", "Error_Timeout")},
        {VmStartFailed, QT_TRANSLATE_NOOP("DialogControl", "Error_Timeout")},
        {Reserved1009, QT_TRANSLATE_NOOP("DialogControl", "Error_Timeout")},
        {Reserved1010, QT_TRANSLATE_NOOP("DialogControl", "Error_Timeout")},
        {Reserved1011, QT_TRANSLATE_NOOP("DialogControl", "Error_Timeout")},
        {ProgramRunFailed, QT_TRANSLATE_NOOP("DialogControl", "Error_VBOX_CORE_ERROR")},
        {ResolutionFailed, QT_TRANSLATE_NOOP("DialogControl", "Error_Timeout")},
        {DpiFailed, QT_TRANSLATE_NOOP("DialogControl", "Error_Timeout")},
        {HostInfoFailed, QT_TRANSLATE_NOOP("DialogControl", "Error_Timeout")},
        {CpuCountFailed, QT_TRANSLATE_NOOP("DialogControl", "Error_Timeout")},
        {OvaVersionFailed, QT_TRANSLATE_NOOP("DialogControl", "Error_Timeout")},
        {ExtradataFailed, QT_TRANSLATE_NOOP("DialogControl", "Error_Timeout")},
        {NetworkLibraryFailed, QT_TRANSLATE_NOOP("DialogControl", "Error_WSADATA_INIT_FAILED")},
        {RenderLibraryLoadFailed, QT_TRANSLATE_NOOP("DialogControl", "Error_Render_Failed")},
        {RenderInitFailed, QT_TRANSLATE_NOOP("DialogControl", "Error_Opengl_Failed")},
        {RenderAttachFailed, QT_TRANSLATE_NOOP("DialogControl", "Error_Opengl_Failed")},
        {Reserved1304, QT_TRANSLATE_NOOP("DialogControl", "Error_Opengl_Not_Support")},
        {Reserved1305, QT_TRANSLATE_NOOP("DialogControl", "Error_Opengl_Not_Support")},
        {Reserved1306, QT_TRANSLATE_NOOP("DialogControl", "Error_Opengl_Not_32")},
        {PathHasCjk, QT_TRANSLATE_NOOP("DialogControl", "Error_Path_Chinese")},
        {Reserved1500, QT_TRANSLATE_NOOP("DialogControl", "Error_win7_not_sp1")},
        {Reserved1501, QT_TRANSLATE_NOOP("DialogControl", "Error_win7_not_kb3233929")},
        {ConflictingSoftware, QT_TRANSLATE_NOOP("DialogControl", "Error_conflict_with_soft")},
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
