#pragma once

#include <QString>

// The tray icon as the rest of the program reaches it: its balloon and the texts of its entries. The
// window shell's tray registers itself while it exists; without a tray (none created yet, or no
// notification area) a balloon is written to the log instead. GUI thread only.
class TrayNotice
{
public:
    virtual ~TrayNotice() = default;
    virtual void showMessage(QString text) = 0;
    // The keyboard entry's text from the foreground package's key-mapping switch.
    virtual void updateKeyboardAction() = 0;
    // true: the entry offers to show the window; false: to hide it.
    virtual void updateStatusAction(bool shown) = 0;
    // Hides the icon (the quit sequence).
    virtual void hideIcon() = 0;

    static void setInstance(TrayNotice *tray);
    static TrayNotice *instance();

    // The calls of the program: each does nothing more than log when there is no tray.
    static void message(const QString &text);
    static void keyboardChanged();
    static void statusChanged(bool shown);
    static void hide();
};
