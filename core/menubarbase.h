#pragma once

#include <QString>
#include <QWidget>

// What the Android window needs of its side menu bar: the bar's clicks as signals, and the operations
// the window and its touch layer call. The bar itself belongs to the window shell; the program installs
// its maker with setFactory before the Android window is built. Without a maker the window gets this
// plain strip, whose operations do nothing.
class MenuBarBase : public QWidget
{
    Q_OBJECT

public:
    using Factory = MenuBarBase *(*)(QWidget *host);
    static void setFactory(Factory factory);
    // A bar for `host` (its parent; the bar is a frameless tool window of its own).
    static MenuBarBase *create(QWidget *host);

    explicit MenuBarBase(QWidget *host);

    // Resizes the bar to its width and `height`.
    virtual void setBarHeight(int height);
    // The launcher's script state: restyles the script button (and shows the script tooltip once).
    virtual void setScriptRunning(bool running) { Q_UNUSED(running) }

signals:
    void menu_full_click();
    void menu_keyboard_click();
    void menu_install_apk_click();
    void menu_stop_script_click();
    void menu_multi_player_click();
    void menu_virtual_location_click();
    void menu_screenshot_click();
    void menu_shake_click();
    void menu_share_folder_click();
    void menu_return_click(QString from = QStringLiteral("0"));
    void menu_home_click(QString from = QStringLiteral("0"));
    void menu_task_click(QString from = QStringLiteral("0"));
    void opacitySliderMoved(int value);
    void triggereKeyMap(bool checked);
    // A shell command for the guest (the volume broadcast); the window sends it through the input
    // channel without waiting.
    void guestShellCommand(QString command);

public slots:
    virtual void opacityValueChangedSlot(int value) { Q_UNUSED(value) }
    virtual void keyboardStatusChangedSlot() {}
    virtual void menuStopScriptClick() {}
    virtual void showScriptTopTooltip() {}
};
