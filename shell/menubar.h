#pragma once

#include "menubarbase.h"

class OrvMenu;
class QAction;
class QPushButton;
class ScriptTopTooltip;
class VoiceSlider;

// The side bar beside the Android window: a frameless tool window 40 pixels wide, as tall as the
// window, with ten tool buttons at the top (full screen, key mapping, install APK, stop script,
// instance manager, virtual location, screenshot, shake, shared folders, volume) and the three Android
// navigation buttons at the bottom. Clicks become signals the window acts on; the keyboard and
// screenshot buttons open a menu on a right click, the volume button on a plain click. The bar sends
// the volume broadcast itself and keeps the keyboard and script pictures in step.
class MenuBar : public MenuBarBase
{
    Q_OBJECT

public:
    // The key-map opacity slider of the keyboard menu comes from the key-mapping feature; the program
    // installs its maker and its setter. It must have the signal sliderMoved(int). Without a maker a
    // plain vertical slider from 0 to 99 stands in.
    using OpacitySliderFactory = QWidget *(*)(QWidget *parent);
    using OpacitySliderSetter = void (*)(QWidget *slider, int value);
    static void setOpacitySliderFactory(OpacitySliderFactory factory, OpacitySliderSetter setter);

    static constexpr int kBarWidth = 40;
    static constexpr int kNaturalHeight = 756;

    explicit MenuBar(QWidget *parent);

    void setBarHeight(int height) override;
    void setScriptRunning(bool running) override;

    // The volume broadcast for the guest's shell.
    static QString volumeCommand(int volume);

    bool isScriptRunning() const { return m_scriptRunning; }
    int currentButtonHeight() const { return m_curButtonHeight; }
    int currentGap() const { return m_curGap; }
    int bottomStep() const { return m_bottomStep; }
    OrvMenu *keyboardMenu() const { return m_keyboardMenu; }
    OrvMenu *screenshotMenu() const { return m_screenshotMenu; }
    OrvMenu *voiceMenu() const { return m_voiceMenu; }
    VoiceSlider *voiceSlider() const { return m_voiceSlider; }
    QWidget *opacitySlider() const { return m_opacitySlider; }
    ScriptTopTooltip *scriptTooltip() const { return m_scriptTooltip; }

public slots:
    void openKeyMapActionTriggered(bool checked);
    void openFolderActionTriggered(bool checked);
    void opacitySliderMovedSlot(int value);
    void opacityValueChangedSlot(int value) override;
    void keyboardStatusChangedSlot() override;
    void showScriptTopTooltip() override;
    void menuStopScriptClick() override;
    void menuVoiceClick();
    void voiceSliderReleasedSlot(int value);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void setButtonStyle(QPushButton *button, const QString &picture);
    void setBottomButtonStyle(QPushButton *button, const QString &picture);
    void buildKeyboardMenu();
    void buildScreenshotMenu();
    void buildVoiceMenu();
    void layoutBar();
    // 1 on, 0 off, -1 the foreground package has no entry.
    static int keyMapState();

    QWidget *m_host;
    QPushButton *m_full;
    QPushButton *m_keyboard;
    QPushButton *m_install;
    QPushButton *m_script;
    QPushButton *m_multiPlayer;
    QPushButton *m_virtualLocation;
    QPushButton *m_screenshot;
    QPushButton *m_shake;
    QPushButton *m_share;
    QPushButton *m_voice;
    QPushButton *m_return;
    QPushButton *m_home;
    QPushButton *m_task;
    OrvMenu *m_keyboardMenu = nullptr;
    OrvMenu *m_screenshotMenu = nullptr;
    OrvMenu *m_voiceMenu = nullptr;
    QAction *m_keyMapAction = nullptr;
    QWidget *m_opacitySlider = nullptr;
    VoiceSlider *m_voiceSlider = nullptr;
    ScriptTopTooltip *m_scriptTooltip;

    int m_topBlock = 460;
    int m_bottomBlock = 165;
    int m_naturalHeight = kNaturalHeight;
    int m_curTopBlock = 460;
    int m_curBottomBlock = 165;
    int m_gap = 10;
    int m_curGap = 10;
    int m_bottomSpacing = 20;
    int m_buttonHeight = 35;
    int m_curButtonHeight = 35;
    int m_bottomButtonHeight = 35;
    int m_bottomStep = 55;
    int m_barWidth = kBarWidth;
    bool m_scriptRunning = false;
};
