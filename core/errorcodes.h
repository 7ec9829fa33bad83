#pragma once

#include <QString>

// Results of the start-up operations and of the window's render start: 1 for success, otherwise one
// of these numbered codes. A code that ends the start travels as decimal text to the dialog
// dispatcher, which shows the translation of the code's message key (context "DialogControl").
namespace ErrorCode {
enum : int
{
    Success = 1,
    VBoxNotFound = 1001,
    VmListOrDiskCopyFailed = 1002,
    NetworkConfigFailed = 1003,
    SpeedDeviceFailed = 1004,
    PortForwardFailed = 1005,
    GuestPropertiesFailed = 1006,
    VmInfoFailed = 1007,
    VmStartFailed = 1008,
    Reserved1009 = 1009,
    Reserved1010 = 1010,
    Reserved1011 = 1011,
    ProgramRunFailed = 1012,
    ResolutionFailed = 1013,
    DpiFailed = 1014,
    HostInfoFailed = 1015,
    CpuCountFailed = 1016,
    OvaVersionFailed = 1017,
    DiskRepairOrStartAnswerFailed = 1018,
    ExtradataFailed = 1019,
    NetworkLibraryFailed = 1201,
    RenderLibraryLoadFailed = 1301,
    RenderInitFailed = 1302,
    RenderAttachFailed = 1303,
    Reserved1304 = 1304,
    Reserved1305 = 1305,
    Reserved1306 = 1306,
    PathHasCjk = 1401,
    Reserved1500 = 1500,
    Reserved1501 = 1501,
    ConflictingSoftware = 1601,
    Timeout = 9001,
};

// The message key of `code`; empty for success, for codes shown without text and for unknown codes.
QString messageKey(int code);

// Reads a code sent as decimal text; text that is not a number reads as 0 (no message key).
int fromText(const QString &text);

} // namespace ErrorCode
