// The settings window against the instance settings file: what each field shows for what is stored,
// its range, what a save writes and whether it asks for a restart; a file that cannot be written; the
// reset; the update check against the updater stand-in beside this test (none, update, update with
// data clearing, missing, crash, no answer in time); the dispatcher's settings request; and a
// screenshot of each tab.

#include "calllogs.h"
#include "dialogcontrol.h"
#include "dialogtype.h"
#include "digitsedit.h"
#include "funcbasedialog.h"
#include "global.h"
#include "installtree.h"
#include "settingdialog.h"
#include "settingmodel.h"
#include "shellsupport.h"
#include "testartefacts.h"
#include "urlcatcher.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QDesktopServices>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QSignalSpy>
#include <QTabBar>
#include <QTabWidget>
#include <QtTest>

#include <memory>

namespace {

struct Message
{
    QString text;
    int kind;
};

} // namespace

class TestSettingDialog : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void fieldsShowWhatIsStored_data();
    void fieldsShowWhatIsStored();
    void saveWritesAndDecidesRestart_data();
    void saveWritesAndDecidesRestart();
    void widthAndHeightRangesFollowEachOther();
    void customizeShowsStoredValues();
    void restartConfirmedOrDeclined_data();
    void restartConfirmedOrDeclined();
    void unwritableSettingsFile();
    void resetRestoresDefaults();
    void renderSwitchAndTabReports();
    void escapeDoesNotClose();
    void updateCheck_data();
    void updateCheck();
    void supportLinks();
    void optimizeButtonFollowsTheOptionalChecks();
    void dispatcherOpensTheWindow();
    void screenshotsOfEachTab();

private:
    // A window filled from the file as it stands now.
    std::unique_ptr<SettingDialog> loadedWindow();
    void store(const QVariantMap &values);
    QVariant stored(const QString &key) const;
    // Runs one step on the window: "click <radio or button>", "text <edit> <digits>" (typed, then the
    // field left), "tab <tab widget> <index>", "check <box> 0|1".
    void act(SettingDialog &window, const QString &step);
    template <typename T> T *child(SettingDialog &window, const QString &name)
    {
        T *widget = window.findChild<T *>(name);
        if (!widget)
            qWarning() << "no child" << name;
        return widget;
    }

    std::unique_ptr<InstallTree> m_tree;
    QList<Message> m_messages;
    int m_restartAnswer = QDialog::Rejected;
    QList<bool> m_updatePrompts;
    int m_updateAnswer = QDialog::Rejected;
    UrlCatcher m_urls;
};

void TestSettingDialog::initTestCase()
{
    QVERIFY2(QFileInfo::exists(QCoreApplication::applicationDirPath() + "/OrvantaUpdater"),
             "the updater stand-in lies beside the test");
    m_tree = std::make_unique<InstallTree>();
    QVERIFY(m_tree->isValid());
    m_tree->declareHost(InstallTree::HostWithVirtualisation);
    m_tree->useTempDirHere();
    m_tree->writeInstallKey();
    const QProcessEnvironment env = m_tree->environment();
    for (const QString &name : {QStringLiteral("APPDATA"), QStringLiteral("LOCALAPPDATA"),
                                QStringLiteral("XDG_CONFIG_HOME"), QStringLiteral("XDG_CONFIG_DIRS")})
        qputenv(name.toLatin1(), QFile::encodeName(env.value(name)));
    qputenv("ORV_RECORD_DIR", QFile::encodeName(m_tree->recordDir()));
    // The update check's two minutes become 1.2 seconds.
    qputenv("ORV_TIMEOUT_SCALE", "0.01");
    QCoreApplication::setOrganizationName(QStringLiteral("Halvora"));
    QCoreApplication::setApplicationName(QStringLiteral("Orvanta"));
    Global::vmName = QStringLiteral("Orvanta_5");
    Global::systemInfo.hostCpuCount = 8;
    Global::systemInfo.memoryMB = 16384;
    QVERIFY(ShellSupport::openEventStore());
    QDesktopServices::setUrlHandler(QStringLiteral("https"), &m_urls, "open");

    SettingDialog::setMessageRunner([this](const QString &text, int kind, QWidget *) {
        m_messages.append({text, kind});
        return kind == static_cast<int>(DialogType::Confirm) ? m_restartAnswer : int(QDialog::Accepted);
    });
    SettingDialog::setUpdatePromptRunner([this](bool clearData, QWidget *) {
        m_updatePrompts.append(clearData);
        return m_updateAnswer;
    });
}

void TestSettingDialog::init()
{
    QFile::remove(SettingModel::filePath());
    SettingModel::instance()->load(true);
    m_messages.clear();
    m_updatePrompts.clear();
    m_restartAnswer = QDialog::Rejected;
    m_updateAnswer = QDialog::Rejected;
    m_urls.urls.clear();
    resolutionChangedFlag = false;
    Global::systemInfo.hostCpuCount = 8;
    Global::systemInfo.memoryMB = 16384;
    ShellSupport::clearEvents();
    QFile::remove(m_tree->recordDir() + QStringLiteral("/OrvantaUpdater.calls"));
}

void TestSettingDialog::cleanup()
{
    if (QFileInfo::exists(SettingModel::filePath()))
        ShellSupport::setReadOnly(SettingModel::filePath(), false);
    QTRY_VERIFY(!QApplication::activeModalWidget());
}

void TestSettingDialog::store(const QVariantMap &values)
{
    QVERIFY(SettingModel::writeValues(values));
    SettingModel::instance()->load(true);
}

QVariant TestSettingDialog::stored(const QString &key) const
{
    QSettings file(SettingModel::filePath(), QSettings::IniFormat);
    return file.value(key);
}

std::unique_ptr<SettingDialog> TestSettingDialog::loadedWindow()
{
    auto window = std::make_unique<SettingDialog>();
    window->loadSettings();
    window->show();
    window->activateWindow();
    QApplication::setActiveWindow(window.get());
    return window;
}

void TestSettingDialog::act(SettingDialog &window, const QString &step)
{
    const QStringList f = step.split(QLatin1Char(' '));
    const QString verb = f.value(0);
    if (verb == QLatin1String("click")) {
        auto *button = child<QAbstractButton>(window, f.value(1));
        QVERIFY(button);
        QTest::mouseClick(button, Qt::LeftButton, Qt::NoModifier, QPoint(8, button->height() / 2));
    } else if (verb == QLatin1String("text")) {
        auto *edit = child<DigitsEdit>(window, f.value(1));
        QVERIFY(edit);
        // The preset tabs and buttons hide some fields; the user reaches them first.
        if (f.value(1).startsWith(QLatin1String("edit_width")) ||
            f.value(1) == QLatin1String("edit_height") || f.value(1) == QLatin1String("edit_dpi")) {
            child<QTabWidget>(window, QStringLiteral("tab_setting"))->setCurrentIndex(1);
            child<QTabWidget>(window, QStringLiteral("tab_dpi"))->setCurrentIndex(1);
        }
        edit->setFocus();
        QTRY_VERIFY(edit->hasFocus());
        edit->selectAll();
        QTest::keyClick(edit, Qt::Key_Backspace);
        QTest::keyClicks(edit, f.value(2));
        child<QPushButton>(window, QStringLiteral("btn_close"))->setFocus();
        QTRY_VERIFY(!edit->hasFocus());
    } else if (verb == QLatin1String("tab")) {
        auto *tabs = child<QTabWidget>(window, f.value(1));
        QVERIFY(tabs);
        tabs->setCurrentIndex(f.value(2).toInt());
    } else if (verb == QLatin1String("check")) {
        auto *box = child<QCheckBox>(window, f.value(1));
        QVERIFY(box);
        if (box->isChecked() != (f.value(2) == QLatin1String("1")))
            QTest::mouseClick(box, Qt::LeftButton, Qt::NoModifier, QPoint(8, box->height() / 2));
    } else {
        QFAIL(qPrintable("unknown step " + step));
    }
}

void TestSettingDialog::fieldsShowWhatIsStored_data()
{
    QTest::addColumn<QVariantMap>("file");
    QTest::addColumn<int>("hostCpus");
    QTest::addColumn<QStringList>("expected"); // "<object> <value>": checked radio, text, range, tab index

    QTest::newRow("nothing stored") << QVariantMap() << 8
                                    << QStringList{"radio radio_mid",
                                                   "edit_cpu 2",
                                                   "edit_memory 2048",
                                                   "readonly edit_cpu 1",
                                                   "range edit_cpu 1 8",
                                                   "range edit_memory 1 16384",
                                                   "tab tab_render 1",
                                                   "check check_fps 1",
                                                   "tab tab_dpi 0",
                                                   "radio radio_dpi_mid",
                                                   "edit_width 720",
                                                   "edit_height 1280",
                                                   "edit_dpi 320",
                                                   "range edit_width 50 1440",
                                                   "range edit_height 51 2560",
                                                   "range edit_dpi 120 640",
                                                   "edit_boss_key Ctrl + Alt + X",
                                                   "edit_return_key Esc",
                                                   "edit_home_key Home",
                                                   "edit_menu_key PaUp",
                                                   "edit_keyboard_key Ctrl + 1",
                                                   "check check_open_hot_key 1",
                                                   "check check_slient 1"};
    QTest::newRow("custom performance, dx, custom resolution, keys off")
        << QVariantMap{{"Orvanta/Performance/Level", 3},         {"Orvanta/Performance/CPUCoresCount", "3"},
                       {"Orvanta/Performance/RAMSize", "3000"},  {"Orvanta/Performance/RenderMode", "dx"},
                       {"Orvanta/Performance/IsShowFPS", false}, {"Orvanta/Resolution/Type", 1},
                       {"Orvanta/Resolution/width", 600},        {"Orvanta/Resolution/height", 1000},
                       {"Orvanta/Resolution/DPI", 200},          {"Orvanta/Shortcuts/BossKeyIsEnable", false},
                       {"Orvanta/Shortcuts/MenuKey", "F5"},      {"Orvanta/Shortcuts/IsEnable", false},
                       {"Orvanta/Shortcuts/IsSilent", false}}
        << 4 << QStringList{"radio radio_cus",        "edit_cpu 3",
                            "edit_memory 3000",       "readonly edit_cpu 0",
                            "range edit_cpu 1 4",     "tab tab_render 0",
                            "check check_fps 0",      "tab tab_dpi 1",
                            "radio radio_dpi_mid",    "edit_width 600",
                            "edit_height 1000",       "edit_dpi 200",
                            "check check_boss_key 0", "check check_return_key 1",
                            "edit_menu_key F5",       "check check_open_hot_key 0",
                            "check check_slient 0"};
    QTest::newRow("low, 540 preset") << QVariantMap{{"Orvanta/Performance/Level", 0},
                                                    {"Orvanta/Resolution/width", 540},
                                                    {"Orvanta/Resolution/height", 960},
                                                    {"Orvanta/Resolution/DPI", 240}}
                                     << 8
                                     << QStringList{"radio radio_low", "edit_cpu 1", "edit_memory 1024",
                                                    "tab tab_dpi 0", "radio radio_dpi_low"};
    QTest::newRow("high, 1080 preset")
        << QVariantMap{{"Orvanta/Performance/Level", 2},
                       {"Orvanta/Resolution/width", 1080},
                       {"Orvanta/Resolution/height", 1920}}
        << 8 << QStringList{"radio radio_high", "edit_cpu 4", "radio radio_dpi_high"};
    QTest::newRow("unknown level counts as mid")
        << QVariantMap{{"Orvanta/Performance/Level", 7}} << 8 << QStringList{"radio radio_mid", "edit_cpu 2"};
    // Host counts not measured yet: the ranges still start at 1.
    QTest::newRow("host counts unknown") << QVariantMap() << 0 << QStringList{"range edit_cpu 1 1"};
}

void TestSettingDialog::fieldsShowWhatIsStored()
{
    QFETCH(QVariantMap, file);
    QFETCH(int, hostCpus);
    QFETCH(QStringList, expected);
    if (!file.isEmpty())
        store(file);
    Global::systemInfo.hostCpuCount = hostCpus;
    if (hostCpus == 0)
        Global::systemInfo.memoryMB = 0;
    auto window = loadedWindow();
    for (const QString &line : expected) {
        const QStringList f = line.split(QLatin1Char(' '));
        const QString kind = f.at(0);
        if (kind == QLatin1String("radio")) {
            auto *radio = child<QRadioButton>(*window, f.at(1));
            QVERIFY2(radio && radio->isChecked(), qPrintable(line));
        } else if (kind == QLatin1String("tab")) {
            QCOMPARE(child<QTabWidget>(*window, f.at(1))->currentIndex(), f.at(2).toInt());
        } else if (kind == QLatin1String("check")) {
            QVERIFY2(child<QCheckBox>(*window, f.at(1))->isChecked() == (f.at(2) == QLatin1String("1")),
                     qPrintable(line));
        } else if (kind == QLatin1String("range")) {
            auto *edit = child<DigitsEdit>(*window, f.at(1));
            QCOMPARE(edit->minimum(), f.at(2).toInt());
            QCOMPARE(edit->maximum(), f.at(3).toInt());
        } else if (kind == QLatin1String("readonly")) {
            QCOMPARE(child<QLineEdit>(*window, f.at(1))->isReadOnly(), f.at(2) == QLatin1String("1"));
        } else {
            QCOMPARE(child<QLineEdit>(*window, kind)->text(), line.section(QLatin1Char(' '), 1));
        }
    }
}

void TestSettingDialog::saveWritesAndDecidesRestart_data()
{
    QTest::addColumn<QVariantMap>("file");
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<bool>("restart");
    QTest::addColumn<QVariantMap>("written");

    const QVariantMap nothing;
    QTest::newRow("no change") << nothing << QStringList() << false
                               << QVariantMap{{"Orvanta/Performance/Level", 1},
                                              {"Orvanta/Performance/CPUCoresCount", "2"},
                                              {"Orvanta/Performance/RAMSize", "2048"},
                                              {"Orvanta/Performance/RenderMode", "gl"},
                                              {"Orvanta/Performance/IsShowFPS", true},
                                              {"Orvanta/Resolution/Type", 0},
                                              {"Orvanta/Resolution/width", 720},
                                              {"Orvanta/Resolution/height", 1280},
                                              {"Orvanta/Resolution/DPI", 320},
                                              {"Orvanta/Shortcuts/BossKey", "Ctrl + Alt + X"},
                                              {"Orvanta/Shortcuts/IsEnable", true}};
    QTest::newRow("preset high") << nothing << QStringList{"click radio_high"} << true
                                 << QVariantMap{{"Orvanta/Performance/Level", 2},
                                                {"Orvanta/Performance/CPUCoresCount", "4"},
                                                {"Orvanta/Performance/RAMSize", "4096"}};
    QTest::newRow("render dx") << nothing << QStringList{"tab tab_render 0"} << true
                               << QVariantMap{{"Orvanta/Performance/RenderMode", "dx"}};
    QTest::newRow("frame rate and switches need no restart")
        << nothing << QStringList{"check check_fps 0", "check check_home_key 0", "check check_slient 0"}
        << false
        << QVariantMap{{"Orvanta/Performance/IsShowFPS", false},
                       {"Orvanta/Shortcuts/HomeKeyIsEnable", false},
                       {"Orvanta/Shortcuts/IsSilent", false}};
    QTest::newRow("preset 1080") << nothing << QStringList{"tab tab_setting 1", "click radio_dpi_high"}
                                 << true
                                 << QVariantMap{{"Orvanta/Resolution/Type", 0},
                                                {"Orvanta/Resolution/width", 1080},
                                                {"Orvanta/Resolution/height", 1920},
                                                {"Orvanta/Resolution/DPI", 480}};
    QTest::newRow("custom equal to the preset: type only")
        << nothing << QStringList{"tab tab_setting 1", "tab tab_dpi 1"} << false
        << QVariantMap{{"Orvanta/Resolution/Type", 1}, {"Orvanta/Resolution/width", 720}};
    QTest::newRow("custom resolution")
        << nothing << QStringList{"text edit_width 800", "text edit_dpi 240"} << true
        << QVariantMap{{"Orvanta/Resolution/Type", 1},
                       {"Orvanta/Resolution/width", 800},
                       {"Orvanta/Resolution/height", 1280},
                       {"Orvanta/Resolution/DPI", 240}};
    QTest::newRow("dpi brought into range") << nothing << QStringList{"text edit_dpi 9999"} << true
                                            << QVariantMap{{"Orvanta/Resolution/DPI", 640}};
    const QVariantMap custom{{"Orvanta/Performance/Level", 3},
                             {"Orvanta/Performance/CPUCoresCount", "3"},
                             {"Orvanta/Performance/RAMSize", "3000"}};
    QTest::newRow("custom unchanged")
        << custom << QStringList() << false
        << QVariantMap{{"Orvanta/Performance/Level", 3}, {"Orvanta/Performance/CPUCoresCount", "3"}};
    QTest::newRow("custom processors")
        << custom << QStringList{"text edit_cpu 5"} << true
        << QVariantMap{{"Orvanta/Performance/CPUCoresCount", "5"}, {"Orvanta/Performance/RAMSize", "3000"}};
    QTest::newRow("custom memory above the host's") << custom << QStringList{"text edit_memory 99999"} << true
                                                    << QVariantMap{{"Orvanta/Performance/RAMSize", "16384"}};
    // Stored more processors than the host now has: the field is brought into range before it is
    // compared and written.
    QTest::newRow("stored count above the host's")
        << QVariantMap{{"Orvanta/Performance/Level", 3},
                       {"Orvanta/Performance/CPUCoresCount", "32"},
                       {"Orvanta/Performance/RAMSize", "3000"}}
        << QStringList() << true << QVariantMap{{"Orvanta/Performance/CPUCoresCount", "8"}};
    QTest::newRow("customize after a preset")
        << nothing << QStringList{"click radio_cus", "text edit_cpu 6"} << true
        << QVariantMap{{"Orvanta/Performance/Level", 3},
                       {"Orvanta/Performance/CPUCoresCount", "6"},
                       {"Orvanta/Performance/RAMSize", "2048"}};
}

void TestSettingDialog::saveWritesAndDecidesRestart()
{
    QFETCH(QVariantMap, file);
    QFETCH(QStringList, steps);
    QFETCH(bool, restart);
    QFETCH(QVariantMap, written);
    if (!file.isEmpty())
        store(file);
    auto window = loadedWindow();
    for (const QString &step : steps)
        act(*window, step);
    m_messages.clear();
    QSignalSpy reboot(window.get(), &SettingDialog::reboot);
    act(*window, QStringLiteral("click btn_save"));
    QCOMPARE(m_messages.size(), 1);
    QCOMPARE(m_messages.at(0).text,
             restart ? QStringLiteral("setting_restart") : QStringLiteral("setting_succeed"));
    QCOMPARE(m_messages.at(0).kind, restart ? 11 : 12);
    QCOMPARE(reboot.count(), 0); // declined
    for (auto it = written.cbegin(); it != written.cend(); ++it)
        QVERIFY2(stored(it.key()).toString() == it.value().toString(),
                 qPrintable(it.key() + " = " + stored(it.key()).toString()));
}

void TestSettingDialog::widthAndHeightRangesFollowEachOther()
{
    auto window = loadedWindow();
    act(*window, QStringLiteral("text edit_width 800"));
    QCOMPARE(child<DigitsEdit>(*window, "edit_height")->minimum(), 801);
    QCOMPARE(child<DigitsEdit>(*window, "edit_height")->maximum(), 2560);
    act(*window, QStringLiteral("text edit_height 700"));
    // The height first comes into its range (801), then narrows the width's.
    QCOMPARE(child<DigitsEdit>(*window, "edit_height")->text(), QStringLiteral("801"));
    QCOMPARE(child<DigitsEdit>(*window, "edit_width")->maximum(), 800);
    act(*window, QStringLiteral("text edit_height 2000"));
    QCOMPARE(child<DigitsEdit>(*window, "edit_width")->minimum(), 50);
    QCOMPARE(child<DigitsEdit>(*window, "edit_width")->maximum(), 1440);
}

void TestSettingDialog::customizeShowsStoredValues()
{
    store({{"Orvanta/Performance/Level", 0},
           {"Orvanta/Performance/CPUCoresCount", "3"},
           {"Orvanta/Performance/RAMSize", "3072"}});
    auto window = loadedWindow();
    act(*window, QStringLiteral("click radio_cus"));
    act(*window, QStringLiteral("text edit_cpu 7"));
    act(*window, QStringLiteral("click radio_mid"));
    QCOMPARE(child<QLineEdit>(*window, "edit_cpu")->text(), QStringLiteral("2"));
    QVERIFY(child<QLineEdit>(*window, "edit_cpu")->isReadOnly());
    act(*window, QStringLiteral("click radio_cus"));
    QCOMPARE(child<QLineEdit>(*window, "edit_cpu")->text(), QStringLiteral("3"));
    QCOMPARE(child<QLineEdit>(*window, "edit_memory")->text(), QStringLiteral("3072"));
    QVERIFY(!child<QLineEdit>(*window, "edit_cpu")->isReadOnly());
}

void TestSettingDialog::restartConfirmedOrDeclined_data()
{
    QTest::addColumn<bool>("confirm");
    QTest::newRow("confirmed") << true;
    QTest::newRow("declined") << false;
}

void TestSettingDialog::restartConfirmedOrDeclined()
{
    QFETCH(bool, confirm);
    auto window = loadedWindow();
    m_restartAnswer = confirm ? QDialog::Accepted : QDialog::Rejected;
    act(*window, QStringLiteral("click radio_low"));
    act(*window, QStringLiteral("check check_fps 0"));
    QSignalSpy reboot(window.get(), &SettingDialog::reboot);
    QSignalSpy fps(window.get(), &SettingDialog::update_fps_status);
    act(*window, QStringLiteral("click btn_save"));
    QCOMPARE(stored("Orvanta/Performance/Level").toInt(), 0);
    QCOMPARE(reboot.count(), confirm ? 1 : 0);
    QCOMPARE(window->isVisible(), !confirm);
    QCOMPARE(fps.count(), confirm ? 0 : 1);
    if (!confirm) {
        QCOMPARE(fps.at(0).at(0).toBool(), false);
        // The model holds what was saved; the machine keeps its settings until the next start.
        QCOMPARE(SettingModel::instance()->performance()->level(), SettingPerformanceData::Low);
    }
}

void TestSettingDialog::unwritableSettingsFile()
{
    store({{"Orvanta/Performance/Level", 1}});
    const QByteArray before = [] {
        QFile f(SettingModel::filePath());
        f.open(QIODevice::ReadOnly);
        return f.readAll();
    }();
    if (!ShellSupport::setReadOnly(SettingModel::filePath(), true))
        QSKIP("the file system here cannot make a file unwritable for this user");
    auto window = loadedWindow();
    m_restartAnswer = QDialog::Accepted;
    act(*window, QStringLiteral("click radio_high"));
    QSignalSpy reboot(window.get(), &SettingDialog::reboot);
    QSignalSpy fps(window.get(), &SettingDialog::update_fps_status);
    act(*window, QStringLiteral("click btn_save"));
    QCOMPARE(m_messages.size(), 1);
    QCOMPARE(m_messages.at(0).text, QStringLiteral("setting_write_failed"));
    QCOMPARE(reboot.count(), 0);
    QCOMPARE(fps.count(), 0);
    QVERIFY(window->isVisible());
    QFile f(SettingModel::filePath());
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), before);
    QCOMPARE(SettingModel::instance()->performance()->level(), SettingPerformanceData::Mid);

    // The reset is refused the same way.
    m_messages.clear();
    act(*window, QStringLiteral("click btn_reset"));
    QCOMPARE(m_messages.size(), 1);
    QCOMPARE(m_messages.at(0).text, QStringLiteral("setting_write_failed"));
    QCOMPARE(reboot.count(), 0);
}

void TestSettingDialog::resetRestoresDefaults()
{
    store({{"Orvanta/Performance/Level", 1},
           {"Orvanta/Performance/IsShowFPS", true},
           {"Orvanta/Shortcuts/HomeKey", "F6"},
           {"Orvanta/Shortcuts/MenuKey", "F7"},
           {"Orvanta/Shortcuts/BossKeyIsEnable", false}});
    auto window = loadedWindow();
    act(*window, QStringLiteral("check check_open_hot_key 0"));
    QSignalSpy fps(window.get(), &SettingDialog::update_fps_status);
    act(*window, QStringLiteral("click btn_reset"));
    // Performance, render and resolution already at the reset values: no restart question.
    QCOMPARE(m_messages.size(), 1);
    QCOMPARE(m_messages.at(0).text, QStringLiteral("setting_reset_succeed"));
    QCOMPARE(fps.count(), 1);
    QCOMPARE(fps.at(0).at(0).toBool(), false);
    const QVariantMap expected{{"Orvanta/Performance/IsShowFPS", false},
                               {"Orvanta/Performance/RenderMode", "gl"},
                               {"Orvanta/Shortcuts/HomeKey", "Home"},
                               {"Orvanta/Shortcuts/MenuKey", "PaUp"},
                               {"Orvanta/Shortcuts/BossKey", "Ctrl + Alt + X"},
                               {"Orvanta/Shortcuts/BossKeyIsEnable", true},
                               {"Orvanta/Shortcuts/IsEnable", true}};
    for (auto it = expected.cbegin(); it != expected.cend(); ++it)
        QVERIFY2(stored(it.key()).toString() == it.value().toString(), qPrintable(it.key()));
    QCOMPARE(SettingModel::instance()->shortcuts()->homeKey(), QStringLiteral("Home"));
    // The taken keys are the five fields' texts.
    QStringList keys = window->shortcutKeys();
    keys.sort();
    QCOMPARE(keys, (QStringList{"Ctrl + 1", "Ctrl + Alt + X", "Esc", "Home", "PaUp"}));

    // From dx, the reset asks for the restart.
    act(*window, QStringLiteral("tab tab_render 0"));
    act(*window, QStringLiteral("click btn_save"));
    m_messages.clear();
    act(*window, QStringLiteral("click btn_reset"));
    QCOMPARE(m_messages.size(), 1);
    QCOMPARE(m_messages.at(0).text, QStringLiteral("setting_restart"));
    QCOMPARE(stored("Orvanta/Performance/RenderMode").toString(), QStringLiteral("gl"));
}

void TestSettingDialog::renderSwitchAndTabReports()
{
    auto window = loadedWindow();
    act(*window, QStringLiteral("tab tab_render 0"));
    act(*window, QStringLiteral("tab tab_render 1"));
    act(*window, QStringLiteral("tab tab_render 0"));
    QCOMPARE(m_messages.size(), 2);
    QCOMPARE(m_messages.at(1).text, QStringLiteral("setting_dx_click"));
    QCOMPARE(m_messages.at(1).kind, 12);
    QCOMPARE(child<QTabWidget>(*window, "tab_render")->currentIndex(), 0);
    for (int index : {1, 2, 3, 0})
        act(*window, QStringLiteral("tab tab_setting %1").arg(index));
    QCOMPARE(ShellSupport::storedEvents(), (QStringList{"2101", "2102", "2100"}));
}

void TestSettingDialog::escapeDoesNotClose()
{
    auto window = loadedWindow();
    QTest::keyClick(window.get(), Qt::Key_Escape);
    QTest::qWait(50);
    QVERIFY(window->isVisible());
    // The back button hides it; unsaved changes stay in the controls.
    act(*window, QStringLiteral("click radio_high"));
    act(*window, QStringLiteral("click btn_close"));
    QVERIFY(!window->isVisible());
    window->show();
    QVERIFY(child<QRadioButton>(*window, "radio_high")->isChecked());
    QVERIFY(!QFileInfo::exists(SettingModel::filePath()));
}

void TestSettingDialog::updateCheck_data()
{
    QTest::addColumn<QString>("answer"); // ORV_UPDATER_EXIT_fromOrvantaToCheck; "missing": no updater
    QTest::addColumn<bool>("acceptUpdate");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QList<bool>>("prompts"); // clear-data flags of the update dialogs shown
    QTest::addColumn<bool>("updaterStarted");

    QTest::newRow("latest") << "0" << false << "lasest version" << QList<bool>() << false;
    QTest::newRow("other bits") << "9" << false << "lasest version" << QList<bool>() << false;
    QTest::newRow("update, declined") << "2" << false << "" << QList<bool>{false} << false;
    QTest::newRow("update, accepted") << "2" << true << "" << QList<bool>{false} << true;
    QTest::newRow("update with data clearing") << "4" << true << "" << QList<bool>{true} << true;
    QTest::newRow("both bits: 2 wins") << "6" << false << "" << QList<bool>{false} << false;
    QTest::newRow("updater missing") << "missing" << false << "check_update_failed" << QList<bool>() << false;
    QTest::newRow("updater crashes") << "crash" << false << "check_update_failed" << QList<bool>() << false;
    QTest::newRow("no answer in time") << "hang" << false << "check_update_failed" << QList<bool>() << false;
}

void TestSettingDialog::updateCheck()
{
    QFETCH(QString, answer);
    QFETCH(bool, acceptUpdate);
    QFETCH(QString, message);
    QFETCH(QList<bool>, prompts);
    QFETCH(bool, updaterStarted);
    const QString updater = QCoreApplication::applicationDirPath() + QStringLiteral("/OrvantaUpdater");
    if (answer == QLatin1String("missing"))
        QVERIFY(QFile::rename(updater, updater + QStringLiteral(".away")));
    else
        qputenv("ORV_UPDATER_EXIT_fromOrvantaToCheck", answer.toLatin1());
    m_updateAnswer = acceptUpdate ? QDialog::Accepted : QDialog::Rejected;
    QSettings userKey(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Halvora"),
                      QStringLiteral("Orvanta"));
    userKey.remove(QStringLiteral("IsUpdateCancel"));
    userKey.remove(QStringLiteral("LastCheckTime"));
    userKey.sync();

    auto window = loadedWindow();
    const quint32 before = static_cast<quint32>(QDateTime::currentSecsSinceEpoch());
    act(*window, QStringLiteral("click btn_chenk_update"));
    if (answer == QLatin1String("missing"))
        QVERIFY(QFile::rename(updater + QStringLiteral(".away"), updater));
    qunsetenv("ORV_UPDATER_EXIT_fromOrvantaToCheck");

    QCOMPARE(m_messages.size(), message.isEmpty() ? 0 : 1);
    if (!message.isEmpty())
        QCOMPARE(m_messages.at(0).text, message);
    QCOMPARE(m_updatePrompts, prompts);
    QCOMPARE(ShellSupport::storedEvents(), QStringList{QStringLiteral("2013")});

    QList<QStringList> expectedCalls;
    if (answer != QLatin1String("missing"))
        expectedCalls << QStringList{QStringLiteral("fromOrvantaToCheck")};
    if (updaterStarted)
        expectedCalls << QStringList{QStringLiteral("fromOrvantaToUpdate")};
    const QString calls = m_tree->recordDir() + QStringLiteral("/OrvantaUpdater.calls");
    QTRY_COMPARE(readRecordedCalls(calls), expectedCalls);

    userKey.sync();
    if (prompts.isEmpty()) {
        QVERIFY(!userKey.contains(QStringLiteral("IsUpdateCancel")));
    } else {
        QCOMPARE(userKey.value(QStringLiteral("IsUpdateCancel")).toBool(), !acceptUpdate);
        if (!acceptUpdate)
            QVERIFY(userKey.value(QStringLiteral("LastCheckTime")).toUInt() >= before);
    }
}

void TestSettingDialog::supportLinks()
{
    auto window = loadedWindow();
    act(*window, QStringLiteral("tab tab_setting 3"));
    act(*window, QStringLiteral("click btn_weibo"));
    act(*window, QStringLiteral("click btn_qq"));
    QCOMPARE(m_urls.urls.size(), 2);
    const QUrlQuery query(m_urls.urls.at(1));
    QVERIFY(query.hasQueryItem(QStringLiteral("_wv")));
    QVERIFY(query.hasQueryItem(QStringLiteral("k")));
}

void TestSettingDialog::optimizeButtonFollowsTheOptionalChecks()
{
    Global::systemInfo.optionalChecksPassed = false;
    auto window = loadedWindow();
    auto *optimize = child<QPushButton>(*window, "btn_optimize");
    QVERIFY(optimize->isVisible());
    QWidget *runParent = nullptr;
    // The checks pass this time (what the check dialog records).
    SettingDialog::setOptimizeRunner([&runParent](QWidget *parent) {
        runParent = parent;
        Global::systemInfo.optionalChecksPassed = true;
    });
    QSignalSpy status(window.get(), &SettingDialog::update_optimize_btn_status);
    act(*window, QStringLiteral("click btn_optimize"));
    SettingDialog::setOptimizeRunner(nullptr);
    QCOMPARE(runParent, static_cast<QWidget *>(window.get()));
    QVERIFY(!optimize->isVisible());
    QCOMPARE(status.count(), 1);
    QCOMPARE(ShellSupport::storedEvents(), QStringList{QStringLiteral("2000 source=1")});
    // Shown again at the next opening when the checks failed since.
    Global::systemInfo.optionalChecksPassed = false;
    window->hide();
    window->show();
    QVERIFY(optimize->isVisible());
}

void TestSettingDialog::dispatcherOpensTheWindow()
{
    DialogControl control;
    control.initSettingDialog();
    SettingDialog *window = control.settingDialog();
    QSignalSpy quit(&control, &DialogControl::quitApp);
    for (bool onTop : {true, false}) {
        stayOnTopFlag = onTop;
        bool shownOnTop = !onTop;
        ShellSupport::whenModal([&](QWidget *dialog) {
            shownOnTop = dialog->windowFlags().testFlag(Qt::WindowStaysOnTopHint);
            QCOMPARE(dialog, static_cast<QWidget *>(window));
            dialog->close();
        });
        control.showDialog(QString(), DialogType::Setting, nullptr,
                           onTop ? QStringLiteral("1") : QStringLiteral("0"));
        QCOMPARE(shownOnTop, onTop);
    }
    stayOnTopFlag = false;
    QCOMPARE(ShellSupport::storedEvents(), (QStringList{"2001 source=1", "2001 source=0"}));

    // A confirmed restart becomes the dispatcher's quit with restart.
    m_restartAnswer = QDialog::Accepted;
    ShellSupport::whenModal([&](QWidget *dialog) {
        QTest::mouseClick(dialog->findChild<QRadioButton *>(QStringLiteral("radio_high")), Qt::LeftButton,
                          Qt::NoModifier, QPoint(8, 8));
        QTest::mouseClick(dialog->findChild<QPushButton *>(QStringLiteral("btn_save")), Qt::LeftButton);
    });
    control.showDialog(QString(), DialogType::Setting, nullptr, QStringLiteral("0"));
    QCOMPARE(quit.count(), 1);
    QCOMPARE(quit.at(0).at(0).toBool(), true);
}

void TestSettingDialog::screenshotsOfEachTab()
{
    auto window = loadedWindow();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    const char *names[] = {"performance", "resolution", "hotkey", "about"};
    auto *tabs = child<QTabWidget>(*window, "tab_setting");
    for (int index = 0; index < 4; ++index) {
        act(*window, QStringLiteral("tab tab_setting %1").arg(index));
        QTest::qWait(50);
        const QImage shot = window->grab().toImage();
        QCOMPARE(shot.size(), QSize(740, 680));
        QVERIFY(shot.save(
            TestArtefacts::path(QStringLiteral("settings-%1.png").arg(QLatin1String(names[index])))));
        // The current tab is the blue one of the left bar, the others are not.
        for (int tab = 0; tab < 4; ++tab) {
            const QRect r = tabs->tabBar()->tabRect(tab);
            const QPoint left = tabs->tabBar()->mapTo(window.get(), QPoint(r.left() + 6, r.center().y()));
            QCOMPARE(shot.pixel(left) == qRgb(0x01, 0x90, 0xff), tab == index);
        }
        if (index == 1) {
            // The Phone/Custom switch stands 120 pixels into its place, the chosen "Phone" segment in
            // grey, nothing of it at the left.
            auto *dpi = child<QTabWidget>(*window, "tab_dpi");
            const QPoint origin = dpi->mapTo(window.get(), QPoint(0, 0));
            QCOMPARE(dpi->tabBar()->x(), 120);
            QCOMPARE(QColor(shot.pixel(origin + QPoint(120 + 8, 21))).name(), QStringLiteral("#7a7d8e"));
            QCOMPARE(QColor(shot.pixel(origin + QPoint(220 + 8, 21))).name(), QStringLiteral("#2d3037"));
            QVERIFY(QColor(shot.pixel(origin + QPoint(60, 21))).name() != QStringLiteral("#7a7d8e"));
            QVERIFY(QColor(shot.pixel(origin + QPoint(60, 21))).name() != QStringLiteral("#2d3037"));
        }
    }
    // The tabs sit in a vertical bar on the left, each 201 x 64.
    QCOMPARE(tabs->tabPosition(), QTabWidget::West);
    QCOMPARE(tabs->tabBar()->tabRect(1).size(), QSize(201, 64));
}

QTEST_MAIN(TestSettingDialog)
#include "tst_settingdialog.moc"
