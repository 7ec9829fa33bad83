#pragma once

#include <QMetaType>

// The kinds of dialog that the dialog dispatcher opens. The same values select the button row of
// the common message dialog, which is why some values are kinds of that dialog only. Int-sized and
// scoped (names such as SystemInfo are taken elsewhere); static_cast converts to and from int, and
// values without a name (6, 14 to 16) are carried as they are.
enum class DialogType : int
{
    EnvironmentCheck = 0,
    UpdatePrompt = 1,
    VTNotOpen = 2,
    FileMissing = 3,
    MemoryWarning = 4,
    FeedbackMenu = 5,
    VBoxError = 7,
    Setting = 8,
    ErrorCode = 9,
    ErrorCodeTutorial = 10,
    Confirm = 11,
    Message = 12,
    ClearData = 13,
    VTOccupiedHyperV = 17,
    VTOccupiedSoftware = 18,
    SystemInfo = 19
};

Q_DECLARE_METATYPE(DialogType)

// Registers the type under the name "DialogType" for queued connections; safe to call repeatedly.
inline void registerDialogType()
{
    qRegisterMetaType<DialogType>("DialogType");
}
