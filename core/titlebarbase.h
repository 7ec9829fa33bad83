#pragma once

#include "dialogtype.h"

#include <QString>
#include <QWidget>

// The Android window's states that the title bar and the menu bar read: the window writes them.
// GUI thread only.
extern bool windowMaximizedFlag;
extern bool fullScreenFlag;

// What a main window (the start-up window, the Android window) needs of the title bar across its top
// edge. The bar itself belongs to the window shell; the program installs its maker with setFactory
// before any window is built, so the windows create and wire their bar without knowing its class.
// Without a maker a window gets this plain strip, whose operations do nothing.
class TitleBarBase : public QWidget
{
    Q_OBJECT

public:
    using Factory = TitleBarBase *(*)(QWidget *host);
    static void setFactory(Factory factory);
    // A bar for `host` (its parent), made by the installed maker or a plain strip.
    static TitleBarBase *create(QWidget *host);

    explicit TitleBarBase(QWidget *host);

    // Shows the emulator's title option.
    virtual void setTitle() {}
    // 0 the start-up window, 1 the Android window.
    virtual void setWindowKind(int kind) { Q_UNUSED(kind) }
    virtual void setFps(int fps) { Q_UNUSED(fps) }
    virtual void setFpsVisible(bool visible) { Q_UNUSED(visible) }
    // Restyles the maximise button from windowMaximizedFlag.
    virtual void updateMaxButton() {}
    // Shows or hides the optional-check button and its red dot.
    virtual void updateCheckRedDot() {}

signals:
    void title_setting_click();
    void title_systemInfo_click();
    void title_close_click();
    void window_max();
    void window_normal();
    void showDialogFree(QString msg, DialogType type, QWidget *parent = nullptr,
                        QString from = QStringLiteral("0"));
};
