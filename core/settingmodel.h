#pragma once

#include <QMap>
#include <QObject>
#include <QString>
#include <QVariant>

class QSettings;

// Group "Orvanta/Performance" of the instance settings file.
class SettingPerformanceData : public QObject
{
    Q_OBJECT
    Q_PROPERTY(PerLevel level READ level WRITE setLevel)
    Q_PROPERTY(int cpuCoresCount READ cpuCoresCount WRITE setCpuCoresCount)
    Q_PROPERTY(int ramSize READ ramSize WRITE setRamSize)
    Q_PROPERTY(QString renderMode READ renderMode WRITE setRenderMode)

public:
    enum PerLevel
    {
        Low = 0,
        Mid = 1,
        High = 2,
        Custom = 3
    };
    Q_ENUM(PerLevel)

    explicit SettingPerformanceData(QObject *parent = nullptr) : QObject(parent) {}

    PerLevel level() const { return m_level; }
    void setLevel(PerLevel level) { m_level = level; }
    int cpuCoresCount() const { return m_cpuCoresCount; }
    void setCpuCoresCount(int count) { m_cpuCoresCount = count; }
    int ramSize() const { return m_ramSize; }
    void setRamSize(int megabytes) { m_ramSize = megabytes; }
    QString renderMode() const { return m_renderMode; }
    void setRenderMode(const QString &mode) { m_renderMode = mode; }
    bool isShowFps() const { return m_isShowFps; }
    void setShowFps(bool show) { m_isShowFps = show; }

private:
    PerLevel m_level = Mid;
    int m_cpuCoresCount = 2;
    int m_ramSize = 2048;
    QString m_renderMode = QStringLiteral("gl");
    bool m_isShowFps = true;
};

// Group "Orvanta/Resolution" of the instance settings file.
class SettingResolutionData : public QObject
{
    Q_OBJECT
    Q_PROPERTY(Type type READ type WRITE setType)
    Q_PROPERTY(int width READ width WRITE setWidth)
    Q_PROPERTY(int height READ height WRITE setHeight)
    Q_PROPERTY(int dpi READ dpi WRITE setDpi)

public:
    enum Type
    {
        Phone = 0,
        Custom = 1
    };
    Q_ENUM(Type)

    explicit SettingResolutionData(QObject *parent = nullptr) : QObject(parent) {}

    Type type() const { return m_type; }
    void setType(Type type) { m_type = type; }
    int width() const { return m_width; }
    void setWidth(int width) { m_width = width; }
    int height() const { return m_height; }
    void setHeight(int height) { m_height = height; }
    int dpi() const { return m_dpi; }
    void setDpi(int dpi) { m_dpi = dpi; }

private:
    Type m_type = Phone;
    int m_width = 720;
    int m_height = 1280;
    int m_dpi = 320;
};

// Group "Orvanta/Shortcuts" of the instance settings file.
class SettingShortcutsData : public QObject
{
    Q_OBJECT
    Q_PROPERTY(bool bossKeyIsEnable READ bossKeyIsEnable WRITE setBossKeyIsEnable)
    Q_PROPERTY(QString bossKey READ bossKey WRITE setBossKey)
    Q_PROPERTY(bool returnKeyIsEnable READ returnKeyIsEnable WRITE setReturnKeyIsEnable)
    Q_PROPERTY(QString returnKey READ returnKey WRITE setReturnKey)
    Q_PROPERTY(bool homeKeyIsEnable READ homeKeyIsEnable WRITE setHomeKeyIsEnable)
    Q_PROPERTY(QString homeKey READ homeKey WRITE setHomeKey)
    Q_PROPERTY(bool menuKeyIsEnable READ menuKeyIsEnable WRITE setMenuKeyIsEnable)
    Q_PROPERTY(QString menuKey READ menuKey WRITE setMenuKey)
    Q_PROPERTY(bool keyboardKeyIsEnable READ keyboardKeyIsEnable WRITE setKeyboardKeyIsEnable)
    Q_PROPERTY(QString keyboardKey READ keyboardKey WRITE setKeyboardKey)
    Q_PROPERTY(bool isEnable READ isEnable WRITE setIsEnable)
    Q_PROPERTY(bool isSilent READ isSilent WRITE setIsSilent)

public:
    explicit SettingShortcutsData(QObject *parent = nullptr) : QObject(parent) {}

    bool bossKeyIsEnable() const { return m_bossKeyIsEnable; }
    void setBossKeyIsEnable(bool on) { m_bossKeyIsEnable = on; }
    QString bossKey() const { return m_bossKey; }
    void setBossKey(const QString &key) { m_bossKey = key; }
    bool returnKeyIsEnable() const { return m_returnKeyIsEnable; }
    void setReturnKeyIsEnable(bool on) { m_returnKeyIsEnable = on; }
    QString returnKey() const { return m_returnKey; }
    void setReturnKey(const QString &key) { m_returnKey = key; }
    bool homeKeyIsEnable() const { return m_homeKeyIsEnable; }
    void setHomeKeyIsEnable(bool on) { m_homeKeyIsEnable = on; }
    QString homeKey() const { return m_homeKey; }
    void setHomeKey(const QString &key) { m_homeKey = key; }
    bool menuKeyIsEnable() const { return m_menuKeyIsEnable; }
    void setMenuKeyIsEnable(bool on) { m_menuKeyIsEnable = on; }
    QString menuKey() const { return m_menuKey; }
    void setMenuKey(const QString &key) { m_menuKey = key; }
    bool keyboardKeyIsEnable() const { return m_keyboardKeyIsEnable; }
    void setKeyboardKeyIsEnable(bool on) { m_keyboardKeyIsEnable = on; }
    QString keyboardKey() const { return m_keyboardKey; }
    void setKeyboardKey(const QString &key) { m_keyboardKey = key; }
    bool isEnable() const { return m_isEnable; }
    void setIsEnable(bool on) { m_isEnable = on; }
    bool isSilent() const { return m_isSilent; }
    void setIsSilent(bool on) { m_isSilent = on; }

private:
    bool m_bossKeyIsEnable = true;
    QString m_bossKey = QStringLiteral("Ctrl + Alt + X");
    bool m_returnKeyIsEnable = true;
    QString m_returnKey = QStringLiteral("Esc");
    bool m_homeKeyIsEnable = true;
    QString m_homeKey = QStringLiteral("Home");
    bool m_menuKeyIsEnable = true;
    QString m_menuKey = QStringLiteral("PaUp");
    bool m_keyboardKeyIsEnable = true;
    QString m_keyboardKey = QStringLiteral("Ctrl + 1");
    bool m_isEnable = true;
    bool m_isSilent = true;
};

// The process-wide settings of this emulator instance, over the instance settings file
// <appdata>/Halvora/<VM name>.ini (Qt INI format). Values are read with their defaults; a key that is
// absent or cannot be converted to its type gives the default, and a file that cannot be parsed at all
// reads as all defaults.
class SettingModel : public QObject
{
    Q_OBJECT

public:
    // The process-wide model, created on first use (from any thread).
    static SettingModel *instance();

    // The instance settings file of this process's VM.
    static QString filePath();

    // Reads the file into the model. Without `force`, only the first call reads.
    void load(bool force);

    SettingPerformanceData *performance() const { return m_performance; }
    SettingResolutionData *resolution() const { return m_resolution; }
    SettingShortcutsData *shortcuts() const { return m_shortcuts; }
    int volume() const { return m_volume; }
    void setVolume(int volume) { m_volume = volume; }

    bool isShowCloseDialog() const { return m_isShowCloseDialog; }
    bool isShowVTCheckDialog() const { return m_isShowVTCheckDialog; }
    bool isShowOptionalCheckRes() const { return m_isShowOptionalCheckRes; }
    bool isScriptFirstRun() const { return m_isScriptFirstRun; }
    void setScriptFirstRun(bool firstRun) { m_isScriptFirstRun = firstRun; }

    // Store the flag in the model and write it at once under group "Global" of the file.
    void setShowCloseDialog(bool show);
    void setShowVTCheckDialog(bool show);
    void setShowOptionalCheckRes(bool show);

    // Performance and resolution summary for error logs.
    QString settingsText() const;
    // Key text to shortcut name ("bossKey", "returnKey", "homeKey", "menuKey", "keyboardKey").
    QMap<QString, QString> shortcutMap() const;

    // Writes the performance, resolution and shortcut values of the model into the file, in the form the
    // settings window uses (processor count and memory as text). False when the file could not be written.
    bool save();

    // Writes one value ("Group/Key" path) into the file at once, through an atomic replace of the file.
    // Returns false (and logs) when the file could not be written; the old file then stays as it was.
    static bool writeValue(const QString &key, const QVariant &value);
    static bool writeValues(const QVariantMap &values);

    // Typed readers with the "absent or not convertible gives the default" rule, for the keys other
    // components own in the same file (window position, geolocation, volume).
    static int readInt(const QSettings &settings, const QString &key, int defaultValue);
    static bool readBool(const QSettings &settings, const QString &key, bool defaultValue);
    static double readDouble(const QSettings &settings, const QString &key, double defaultValue);
    static QString readString(const QSettings &settings, const QString &key, const QString &defaultValue);
    // The stored virtual location (group "Geolocation"), each value with its default when absent or not
    // a number.
    static void readLocation(double *longitude, double *latitude);

    ~SettingModel() override;

private:
    SettingModel();

    SettingPerformanceData *m_performance;
    SettingResolutionData *m_resolution;
    SettingShortcutsData *m_shortcuts;
    bool m_isShowCloseDialog = true;
    bool m_isShowVTCheckDialog = true;
    bool m_isShowOptionalCheckRes = true;
    int m_volume = 5;
    bool m_isScriptFirstRun = true;
    bool m_loaded = false;
};

// Keys and defaults of the instance settings file that other components write or read.
namespace SettingKeys {
constexpr const char *kVolume = "Orvanta/Volume/volume";
constexpr const char *kScriptFirstRun = "Global/isScriptFirstRun";
constexpr const char *kStartUpPos = "StartUp/Pos";
constexpr const char *kVerticalHeight = "StartUp/VerticalHeight";
constexpr const char *kHorizontalHeight = "StartUp/HorizontalHeight";
constexpr const char *kLongitude = "Geolocation/lng";
constexpr const char *kLatitude = "Geolocation/lat";
// The point of a location never stored: the virtual-location dialog shows it and the window's start
// sends it, so the guest and the dialog agree.
constexpr double kDefaultLongitude = 116.331398;
constexpr double kDefaultLatitude = 39.897445;
} // namespace SettingKeys
