#pragma once

#include "funcbasedialog.h"

#include <QProxyStyle>
#include <QStringList>

#include <functional>

class DigitsEdit;
class QAbstractButton;
class QButtonGroup;
class QCheckBox;
class QLabel;
class QPushButton;
class QRadioButton;
class QTabWidget;
class ShortLineEdit;

// The style of the settings window's vertical tab bar: tabs of 201 x 64 whose labels are drawn
// horizontally with a line under each.
class SettingTabStyle : public QProxyStyle
{
public:
    // The one style of the process, made on first use (the application must exist by then) and owned by
    // the application.
    static SettingTabStyle *instance();

    QSize sizeFromContents(ContentsType type, const QStyleOption *option, const QSize &size,
                           const QWidget *widget) const override;
    void drawControl(ControlElement element, const QStyleOption *option, QPainter *painter,
                     const QWidget *widget) const override;

private:
    SettingTabStyle() = default;
};

// The settings window of one emulator instance: performance (preset or custom processors and memory),
// render mode, frame-rate display, the Android screen's resolution and DPI, the five keyboard shortcuts
// with their switches, and the about tab with the update check. Saving writes the instance settings file,
// decides whether the change needs a restart and asks for it.
class SettingDialog : public FuncBaseDialog
{
    Q_OBJECT

public:
    explicit SettingDialog(QWidget *parent = nullptr);
    ~SettingDialog() override;

    // Fills every control from the settings; once, when the Android window is first shown.
    void loadSettings();
    // Shows the optimize button exactly while the optional environment checks have not passed.
    void refreshOptimizeButton();

    // What "optimize" runs: the optional environment checks and their dialog (given by the application,
    // which owns the checks). Without one the button only refreshes.
    static void setOptimizeRunner(std::function<void(QWidget *parent)> runner);
    // How the window runs its message boxes (kind 11 confirm or 12 message); returns the dialog's result.
    // Tests answer them here instead of on screen.
    static void setMessageRunner(std::function<int(const QString &text, int kind, QWidget *parent)> runner);
    // How the window runs the update dialog (clear-data flag); returns its result.
    static void setUpdatePromptRunner(std::function<int(bool clearData, QWidget *parent)> runner);

    // The shortcut texts as they stand in the window (what the five shortcut edits count as taken).
    const QStringList &shortcutKeys() const { return m_shortcutKeys; }

signals:
    void reboot();
    void update_fps_status(bool isShow);
    void update_optimize_btn_status();

protected:
    void keyPressEvent(QKeyEvent *e) override;
    void showEvent(QShowEvent *e) override;

private slots:
    void at_performance_clicked(QAbstractButton *button);
    void on_btn_save_clicked();
    void on_btn_reset_clicked();
    void on_tab_render_currentChanged(int index);
    void on_tab_setting_currentChanged(int index);
    void on_btn_optimize_clicked();
    void on_btn_chenk_update_clicked();
    void on_btn_qq_clicked();
    void on_btn_weibo_clicked();
    void updateWidthRange();

private:
    struct Form;
    void buildForm();
    // Brings each digit field into its range, as leaving it would.
    void clampDigitFields();
    // Whether the controls differ from the stored settings in a way that needs a restart; computes the
    // pending resolution.
    bool applyControls();
    // Writes the controls into the instance settings file; false when the file could not be written.
    bool writeSettings();
    // Saves, reports and asks for the restart; `succeedText` is the message of a save without restart.
    void saveAndReport(const char *succeedText);
    void promptUpdate(const QString &mode);
    int runMessage(const QString &text, int kind);
    // The shortcut list rebuilt from the five edits.
    void rebuildShortcutKeys();

    Form *ui;
    QStringList m_shortcutKeys;
    QButtonGroup *m_resolutionGroup = nullptr;
    QButtonGroup *m_performanceGroup = nullptr;
    int m_pendingType = 0;
    int m_pendingWidth = 0;
    int m_pendingHeight = 0;
    int m_pendingDpi = 0;
};
