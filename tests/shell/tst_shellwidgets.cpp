// The window shell's widgets in this process, on the offscreen platform: the title bar's layout, its
// buttons' requests, the keep-on-top flag, the optional-check dot driven by the installation key and
// the drag rule; the side bar's layout, volume, script state and key-map menu; the system information
// text and copy; the feedback contact kinds and request; the screenshot notices' timing and the file
// addresses they open; the tray without a notification area.

#include "YeltBaseAPI.pb.h"
#include "YeltPBBase.pb.h"
#include "datareportengine.h"
#include "feedbackrequest.h"
#include "global.h"
#include "installtree.h"
#include "menubar.h"
#include "orvmenu.h"
#include "paths.h"
#include "reportbuilder.h"
#include "scripttoptooltip.h"
#include "settingmodel.h"
#include "sqlitetool.h"
#include "systeminfodialog.h"
#include "titlebar.h"
#include "traytool.h"
#include "uploadbody.h"
#include "urlcatcher.h"
#include "voiceslider.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDesktopServices>
#include <QLabel>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QSlider>
#include <QTextDocument>
#include <QThreadPool>
#include <QtTest>

#include <sys/utsname.h>

class TestShellWidgets : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void titleBarLayout_data();
    void titleBarLayout();
    void titleBarRequests();
    void keepOnTopTwice();
    void checkDot_data();
    void checkDot();
    void dragRule_data();
    void dragRule();
    void menuBarLayout_data();
    void menuBarLayout();
    void volume();
    void scriptState();
    void keyMapMenu();
    void systemInformation();
    void contactKinds_data();
    void contactKinds();
    void feedbackPayload();
    void trayWithoutNotificationArea();

private:
    static QStringList storedEvents();

    InstallTree m_tree;
};

QStringList TestShellWidgets::storedEvents()
{
    QThreadPool::globalInstance()->waitForDone();
    QStringList events;
    for (const DataReportRecord &record : DataReportEngine::instance()->dao().findAll()) {
        if (record.types == DataReportDao::kTypeEvent) {
            events << QString::number(record.event.eventkey());
            continue;
        }
        QString text = QString::number(record.eventEx.eventkey());
        for (const auto &entry : record.eventEx.eventmaps())
            text += QLatin1Char(' ') + QString::fromStdString(entry.datakey()) + QLatin1Char('=') +
                    QString::fromStdString(entry.datavalue());
        events << text;
    }
    return events;
}

void TestShellWidgets::initTestCase()
{
    QVERIFY(m_tree.isValid());
    m_tree.declareHost(InstallTree::HostWithVirtualisation);
    const QProcessEnvironment env = m_tree.environment();
    for (const char *name : {"APPDATA", "LOCALAPPDATA", "XDG_CONFIG_HOME", "XDG_CONFIG_DIRS", "TMPDIR"})
        qputenv(name, env.value(QLatin1String(name)).toUtf8());
    Platform::initSettingsPaths();
    QCoreApplication::setOrganizationName(QStringLiteral("Halvora"));
    QCoreApplication::setApplicationName(QStringLiteral("Orvanta"));
    m_tree.writeInstallKey();
    Global::vmName = QStringLiteral("Orvanta_7");
    Global::imagePath = m_tree.installDir() + QStringLiteral("/share/Orvanta_7/image");
    SQLiteTool::instance().connect();
    QVERIFY(SQLiteTool::instance().isOpen());
    DataReportEngine::init();
}

void TestShellWidgets::init()
{
    DataReportEngine::instance()->dao().clearTable();
    windowMaximizedFlag = false;
    fullScreenFlag = false;
}

void TestShellWidgets::titleBarLayout_data()
{
    QTest::addColumn<double>("share"); // of the natural width
    QTest::newRow("natural") << 1.0;
    QTest::newRow("wider") << 1.5;
    QTest::newRow("half") << 0.5;
}

void TestShellWidgets::titleBarLayout()
{
    QFETCH(double, share);
    QWidget host;
    TitleBar bar(&host);
    host.show();
    // The natural width: the buttons are 34 wide from there on.
    int full = 200;
    while (true) {
        bar.resize(full, 36);
        if (bar.buttonWidth() == 34)
            break;
        full += 10;
        QVERIFY(full < 2000);
    }
    // Narrow it to the smallest width still at the natural layout.
    while (full > 0) {
        bar.resize(full - 1, 36);
        if (bar.buttonWidth() != 34)
            break;
        --full;
    }
    const int w = static_cast<int>(full * share);
    bar.resize(w, 36);
    auto *close = bar.findChild<QPushButton *>(QStringLiteral("btn_close"));
    auto *max = bar.findChild<QPushButton *>(QStringLiteral("btn_max"));
    auto *more = bar.findChild<QPushButton *>(QStringLiteral("btn_more"));
    const int bw = bar.buttonWidth();
    if (share >= 1)
        QCOMPARE(bw, 34);
    else
        QVERIFY2(bw == 16 || bw == 17, qPrintable(QString::number(bw)));
    QCOMPARE(close->geometry(), QRect(w - bw - 5, 7, bw, 24));
    QCOMPARE(max->x(), close->x() - bw);
    QVERIFY(more->x() > 0);
}

void TestShellWidgets::titleBarRequests()
{
    QWidget host;
    host.setGeometry(100, 50, 800, 600);
    TitleBar bar(&host);
    host.show();
    QVERIFY(QTest::qWaitForWindowExposed(&host));
    host.move(100, 50);
    QSignalSpy dialogs(&bar, &TitleBarBase::showDialogFree);
    QSignalSpy max(&bar, &TitleBarBase::window_max);
    QSignalSpy normal(&bar, &TitleBarBase::window_normal);
    QSignalSpy settings(&bar, &TitleBarBase::title_setting_click);
    QSignalSpy info(&bar, &TitleBarBase::title_systemInfo_click);

    bar.findChild<QPushButton *>(QStringLiteral("btn_more"))->click();
    QCOMPARE(dialogs.size(), 1);
    QCOMPARE(dialogs.at(0).at(0).toString(),
             QStringLiteral("%1|%2").arg(host.x() + 800 - 256).arg(host.y() + 36));
    QCOMPARE(dialogs.at(0).at(1).value<DialogType>(), DialogType::FeedbackMenu);
    QCOMPARE(dialogs.at(0).at(3).toString(), QStringLiteral("0"));
    if (host.pos() == QPoint(100, 50))
        QCOMPARE(dialogs.at(0).at(0).toString(), QStringLiteral("644|86"));

    // The start-up window's maximise button only asks for the message.
    bar.setWindowKind(0);
    bar.findChild<QPushButton *>(QStringLiteral("btn_max"))->click();
    QCOMPARE(dialogs.size(), 2);
    QCOMPARE(dialogs.at(1).at(0).toString(), QStringLiteral("app_starting"));
    QCOMPARE(dialogs.at(1).at(1).value<DialogType>(), DialogType::Message);
    QCOMPARE(max.size() + normal.size(), 0);

    // The Android window's: maximise, then back; the host's handlers change the flag.
    bar.setWindowKind(1);
    connect(&bar, &TitleBarBase::window_max, [] { windowMaximizedFlag = true; });
    connect(&bar, &TitleBarBase::window_normal, [] { windowMaximizedFlag = false; });
    auto *maxButton = bar.findChild<QPushButton *>(QStringLiteral("btn_max"));
    maxButton->click();
    QCOMPARE(max.size(), 1);
    QVERIFY(maxButton->styleSheet().contains(QLatin1String("title_small.png")));
    maxButton->click();
    QCOMPARE(normal.size(), 1);
    QVERIFY(maxButton->styleSheet().contains(QLatin1String("title_max.png")));
    // A double click on the bar does what the button does.
    QTest::mouseDClick(&bar, Qt::LeftButton, Qt::NoModifier, QPoint(60, 18));
    QCOMPARE(max.size(), 2);

    bar.findChild<QPushButton *>(QStringLiteral("btn_setting"))->click();
    bar.findChild<QPushButton *>(QStringLiteral("btn_systemInfo"))->click();
    QCOMPARE(settings.size(), 1);
    QCOMPARE(info.size(), 1);
    // Minimise and close act on the host window.
    bar.findChild<QPushButton *>(QStringLiteral("btn_close"))->click();
    QVERIFY(!host.isVisible());
}

void TestShellWidgets::keepOnTopTwice()
{
    QWidget host;
    TitleBar bar(&host);
    host.show();
    auto *top = bar.findChild<QPushButton *>(QStringLiteral("btn_top"));
    // The state goes to the window manager (what it then does is seen under a real one, in
    // tst_shellwindowmanager): no window flag changes, so the native window the render library draws
    // into is never made anew.
    const WId native = host.winId();
    const Qt::WindowFlags flags = host.windowFlags();
    QVERIFY(!stayOnTopFlag);
    top->click();
    QVERIFY(stayOnTopFlag);
    QCOMPARE(host.winId(), native);
    QCOMPARE(host.windowFlags(), flags);
    QCOMPARE(top->toolTip(), QStringLiteral("TitleBar_No_Top"));
    QVERIFY(top->styleSheet().contains(QLatin1String("title_top.png")));
    host.hide();
    host.show();
    QCOMPARE(host.winId(), native);
    top->click();
    QVERIFY(!stayOnTopFlag);
    QCOMPARE(host.winId(), native);
    QCOMPARE(top->toolTip(), QStringLiteral("TitleBar_Top"));
    QVERIFY(top->styleSheet().contains(QLatin1String("title_not_top.png")));
    QCOMPARE(storedEvents(), (QStringList{"2012", "2012"}));
}

void TestShellWidgets::checkDot_data()
{
    QTest::addColumn<bool>("passed");
    QTest::addColumn<QVariant>("showDot"); // IsShowECRdDot in the installation key; null: absent
    QTest::addColumn<bool>("buttonShown");
    QTest::addColumn<bool>("dotShown");
    QTest::newRow("passed hides all, whatever the key") << true << QVariant(true) << false << false;
    QTest::newRow("not passed, key absent") << false << QVariant() << true << true;
    QTest::newRow("not passed, key on") << false << QVariant(true) << true << true;
    QTest::newRow("not passed, key off") << false << QVariant(false) << true << false;
}

void TestShellWidgets::checkDot()
{
    QFETCH(bool, passed);
    QFETCH(QVariant, showDot);
    QFETCH(bool, buttonShown);
    QFETCH(bool, dotShown);
    {
        QSettings key(QSettings::NativeFormat, QSettings::SystemScope, QStringLiteral("Halvora"),
                      QStringLiteral("Orvanta"));
        if (showDot.isNull())
            key.remove(QStringLiteral("IsShowECRdDot"));
        else
            key.setValue(QStringLiteral("IsShowECRdDot"), showDot);
    }
    Global::systemInfo.optionalChecksPassed = passed;
    QWidget host;
    TitleBar bar(&host);
    host.show();
    bar.updateCheckRedDot();
    auto *check = bar.findChild<QPushButton *>(QStringLiteral("btn_check"));
    QCOMPARE(check->isVisible(), buttonShown);
    auto *dot = bar.findChild<QLabel *>(QStringLiteral("label_red_dot"));
    QCOMPARE(dot && dot->isVisible(), dotShown);

    // The check button puts the dot away for good and reports 2000 from the title bar.
    if (buttonShown) {
        TitleBar::setOptionalCheckRunner([](QWidget *) { return false; });
        check->click();
        QVERIFY(!(dot && dot->isVisible()));
        QSettings key(QSettings::NativeFormat, QSettings::SystemScope, QStringLiteral("Halvora"),
                      QStringLiteral("Orvanta"));
        QCOMPARE(key.value(QStringLiteral("IsShowECRdDot")).toBool(), false);
        QCOMPARE(storedEvents(), QStringList{"2000 source=0"});
        TitleBar::setOptionalCheckRunner(nullptr);
    }
    Global::systemInfo.optionalChecksPassed = false;
}

void TestShellWidgets::dragRule_data()
{
    QTest::addColumn<QPoint>("point");
    QTest::addColumn<bool>("maximized");
    QTest::addColumn<bool>("full");
    QTest::addColumn<bool>("drags");
    QTest::newRow("middle") << QPoint(200, 20) << false << false << true;
    QTest::newRow("top edge") << QPoint(200, 2) << false << false << false;
    QTest::newRow("left edge") << QPoint(2, 20) << false << false << false;
    QTest::newRow("right edge") << QPoint(597, 20) << false << false << false;
    QTest::newRow("just inside the right edge") << QPoint(596, 20) << false << false << true;
    QTest::newRow("maximized") << QPoint(200, 20) << true << false << false;
    QTest::newRow("full screen") << QPoint(200, 20) << false << true << false;
}

void TestShellWidgets::dragRule()
{
    QFETCH(QPoint, point);
    QFETCH(bool, maximized);
    QFETCH(bool, full);
    QFETCH(bool, drags);
    QWidget host;
    TitleBar bar(&host);
    bar.resize(600, 36);
    windowMaximizedFlag = maximized;
    fullScreenFlag = full;
    QCOMPARE(bar.isDragPoint(point), drags);
}

void TestShellWidgets::menuBarLayout_data()
{
    QTest::addColumn<int>("height");
    QTest::addColumn<int>("buttonHeight");
    QTest::addColumn<int>("gap");
    QTest::addColumn<int>("step");
    QTest::addColumn<int>("fullY");
    QTest::addColumn<int>("returnY");
    QTest::newRow("half of 756") << 378 << 17 << 5 << 27 << 10 << 296;
    QTest::newRow("natural") << 756 << 35 << 10 << 55 << 20 << 591;
    QTest::newRow("taller") << 900 << 35 << 10 << 55 << 20 << 735;
}

void TestShellWidgets::menuBarLayout()
{
    QFETCH(int, height);
    QFETCH(int, buttonHeight);
    QFETCH(int, gap);
    QFETCH(int, step);
    QFETCH(int, fullY);
    QFETCH(int, returnY);
    QWidget host;
    MenuBar bar(&host);
    bar.setBarHeight(height);
    QCOMPARE(bar.size(), QSize(40, height));
    QCOMPARE(bar.currentButtonHeight(), buttonHeight);
    QCOMPARE(bar.currentGap(), gap);
    QCOMPARE(bar.bottomStep(), step);
    QCOMPARE(bar.findChild<QPushButton *>(QStringLiteral("btn_full"))->geometry(),
             QRect(1, fullY, 35, buttonHeight));
    QCOMPARE(bar.findChild<QPushButton *>(QStringLiteral("btn_return"))->y(), returnY);
    QCOMPARE(bar.findChild<QPushButton *>(QStringLiteral("btn_home"))->y(), returnY + step);
    QCOMPARE(bar.findChild<QPushButton *>(QStringLiteral("btn_task"))->y(), returnY + 2 * step);
    // The column does not overlap: each button starts below the one before.
    const QStringList column{"btn_full",       "btn_keyboard",     "btn_install",
                             "btn_script",     "btn_multi_player", "btn_virtual_location",
                             "btn_screenshot", "btn_shake",        "btn_share",
                             "btn_voice"};
    for (int i = 1; i < column.size(); ++i) {
        const QRect above = bar.findChild<QPushButton *>(column.at(i - 1))->geometry();
        QCOMPARE(bar.findChild<QPushButton *>(column.at(i))->y(), above.bottom() + 1 + gap);
    }
}

void TestShellWidgets::volume()
{
    QFile::remove(SettingModel::filePath());
    QWidget host;
    MenuBar bar(&host);
    VoiceSlider *voice = bar.voiceSlider();
    // No stored volume: 5 of 15.
    QCOMPARE(voice->value(), 5);
    QCOMPARE(voice->label()->text(), QStringLiteral("33%"));
    QCOMPARE(voice->slider()->minimum(), 0);
    QCOMPARE(voice->slider()->maximum(), 15);
    QSignalSpy commands(&bar, &MenuBarBase::guestShellCommand);
    // Moving only changes the label.
    voice->slider()->setSliderDown(true);
    voice->slider()->setSliderPosition(10);
    QCOMPARE(voice->label()->text(), QStringLiteral("66%"));
    QCOMPARE(commands.size(), 0);
    voice->slider()->setSliderDown(false);
    QCOMPARE(commands.size(), 1);
    QCOMPARE(commands.at(0).at(0).toString(),
             QStringLiteral("am broadcast -a com.corvel.MusicVolumeReceiver --ei VOLUME 10"));
    QCOMPARE(SettingModel::instance()->volume(), 10);
    QSettings file(SettingModel::filePath(), QSettings::IniFormat);
    QCOMPARE(file.value(QStringLiteral("Orvanta/Volume/volume")).toInt(), 10);
    // The next bar starts from the stored volume.
    MenuBar again(&host);
    QCOMPARE(again.voiceSlider()->value(), 10);
    QCOMPARE(again.voiceSlider()->label()->text(), QStringLiteral("66%"));
}

void TestShellWidgets::scriptState()
{
    SettingModel::instance()->setScriptFirstRun(true);
    QWidget host;
    MenuBar bar(&host);
    bar.setBarHeight(378);
    bar.show();
    auto *script = bar.findChild<QPushButton *>(QStringLiteral("btn_script"));
    const QRect placed = script->geometry();
    // A click while no script runs changes no picture.
    script->click();
    QVERIFY(script->styleSheet().contains(QLatin1String("menu_script_off.png")));
    bar.setScriptRunning(false);

    // The first state change shows the tooltip once and stores the flag.
    bar.setScriptRunning(true);
    QVERIFY(script->styleSheet().contains(QLatin1String("menu_script_on.png")));
    // Restyled on a short bar, the button keeps the layout's place and size.
    QCOMPARE(script->geometry(), placed);
    QVERIFY(bar.scriptTooltip()->isVisible());
    QCOMPARE(bar.scriptTooltip()->size(), QSize(189, 67));
    QVERIFY(!SettingModel::instance()->isScriptFirstRun());
    QSettings file(SettingModel::filePath(), QSettings::IniFormat);
    QCOMPARE(file.value(QStringLiteral("Global/isScriptFirstRun")).toBool(), false);
    bar.scriptTooltip()->hide();
    bar.setScriptRunning(false);
    QVERIFY(!bar.scriptTooltip()->isVisible());
    // The stop click while it runs sets the picture off.
    bar.setScriptRunning(true);
    script->click();
    QVERIFY(script->styleSheet().contains(QLatin1String("menu_script_off.png")));

    // In full screen the first change stores the flag without showing.
    SettingModel::instance()->setScriptFirstRun(true);
    fullScreenFlag = true;
    MenuBar second(&host);
    second.show();
    second.setScriptRunning(true);
    QVERIFY(!second.scriptTooltip()->isVisible());
    QVERIFY(!SettingModel::instance()->isScriptFirstRun());

    // A second showAt moves the tooltip; the first timer still closes it.
    ScriptTopTooltip tip;
    tip.showAt(QPoint(10, 10), 300);
    QTest::qWait(100);
    tip.showAt(QPoint(50, 60), 300);
    QCOMPARE(tip.pos(), QPoint(50, 60));
    QTRY_VERIFY_WITH_TIMEOUT(!tip.isVisible(), 290);
}

void TestShellWidgets::keyMapMenu()
{
    QWidget host;
    MenuBar bar(&host);
    QSignalSpy triggered(&bar, &MenuBarBase::triggereKeyMap);
    QAction *action = bar.keyboardMenu()->findChild<QAction *>(QStringLiteral("action_keymap"));
    QVERIFY(action);
    Global::currentPackage = QStringLiteral("com.example.game");
    Global::keyMapEnabledMap.clear();
    action->trigger();
    QCOMPARE(triggered.size(), 0);
    Global::keyMapEnabledMap.insert(Global::currentPackage, false);
    action->trigger();
    QCOMPARE(triggered.size(), 1);
    QCOMPARE(triggered.at(0).at(0).toBool(), true);
    Global::keyMapEnabledMap.insert(Global::currentPackage, true);
    bar.keyboardStatusChangedSlot();
    auto *keyboard = bar.findChild<QPushButton *>(QStringLiteral("btn_keyboard"));
    QVERIFY(keyboard->styleSheet().contains(QLatin1String("menu_keyboard_on.png")));
    QCOMPARE(keyboard->toolTip(), QStringLiteral("MenuBar_Keyboard_On"));
    QCOMPARE(action->text(), QStringLiteral("close keyMap"));
    action->trigger();
    QCOMPARE(triggered.at(1).at(0).toBool(), false);
    // The opacity slider follows the touch layer without sending anything back.
    QSignalSpy moved(&bar, &MenuBarBase::opacitySliderMoved);
    bar.opacityValueChangedSlot(70);
    QCOMPARE(bar.opacitySlider()->property("value").toInt(), 70);
    QCOMPARE(moved.size(), 0);
    Global::keyMapEnabledMap.clear();
}

void TestShellWidgets::systemInformation()
{
    SystemInfo saved = Global::systemInfo;
    const QString savedVersion = Global::installInfo.productVersion;
    Global::installInfo.productVersion = QStringLiteral("1.4.2");
    Global::systemInfo.windowsName = QStringLiteral("Debian <12>");
    Global::systemInfo.windowsBuild = QStringLiteral("R&D");
    Global::systemInfo.is64Bit = true;
    Global::systemInfo.cpuName = QStringLiteral("Vendor <b>Fast</b> & Co");
    Global::systemInfo.hostCpuCount = 8;
    Global::systemInfo.vtSupported = true;
    Global::systemInfo.startWithVt = false;
    Global::systemInfo.memoryMB = 16384;
    Global::systemInfo.renderer = QString();
    Global::systemInfo.openglVersion = QStringLiteral("4.5 <core>");
    Global::systemInfo.adapters = QStringList{QStringLiteral("Card <A>"), QStringLiteral("Card &B")};
    SettingModel::instance()->performance()->setRenderMode(QStringLiteral("dx"));
    SettingModel::instance()->performance()->setRamSize(2048);
    SettingModel::instance()->performance()->setCpuCoresCount(0);

    const QString expected = QStringLiteral(
        "Info_Orvanta_Version:1.4.2\r\nInfo_System_Version:Debian <12> R&D\r\nInfo_System_Type:64\r\n"
        "CPU:Vendor <b>Fast</b> & Co\r\nInfo_CPU_NUM:8\r\nInfo_CPU_VT:Info_VT_Open\r\n"
        "Info_StartUp_VT:Info_VT_NO\r\nInfo_Memory:16384MB\r\nInfo_Render_Mode:DirectX\r\n"
        "Info_Render:Info_Checking\r\nInfo_Opengl_Version:4.5 <core>\r\nInfo_Graphics_Card1:Card <A>\r\n"
        "Info_Graphics_Card2:Card &B\r\nInfo_Orvanta_memory:2048MB\r\nInfo_Orvanta_cpuNum:Info_Checking\r\n");
    SystemInfoDialog dialog;
    QCOMPARE(dialog.copyText(), expected);
    auto *label = dialog.findChild<QLabel *>(QStringLiteral("label_info"));
    QCOMPARE(label->textFormat(), Qt::RichText);
    const QString rich = label->text();
    QVERIFY(rich.contains(QLatin1String("Vendor &lt;b&gt;Fast&lt;/b&gt; &amp; Co")));
    QVERIFY(!rich.contains(QLatin1String("<b>")));
    QVERIFY(rich.startsWith(QLatin1String(
        " <p style='line-height:50%'> <font color='white'>Info_Orvanta_Version:</font>1.4.2 </p> ")));
    // What the user sees is the raw names.
    QTextDocument shown;
    shown.setHtml(rich);
    QVERIFY(shown.toPlainText().contains(QLatin1String("CPU:Vendor <b>Fast</b> & Co")));
    QVERIFY(shown.toPlainText().contains(QLatin1String("Info_Graphics_Card2:Card &B")));

    // One adapter: the label alone; none: no row.
    Global::systemInfo.adapters = QStringList{QStringLiteral("Only")};
    QVERIFY(SystemInfoDialog::copyText(SystemInfoDialog::currentRows())
                .contains(QLatin1String("\r\nInfo_Graphics_Card:Only\r\n")));
    Global::systemInfo.adapters.clear();
    QVERIFY(!SystemInfoDialog::copyText(SystemInfoDialog::currentRows())
                 .contains(QLatin1String("Info_Graphics_Card")));
    SettingModel::instance()->performance()->setRenderMode(QStringLiteral("gl"));
    QVERIFY(SystemInfoDialog::copyText(SystemInfoDialog::currentRows())
                .contains(QLatin1String("Info_Render_Mode:OpenGL\r\n")));

    // Copy: the raw text on the clipboard, the dialog stays open.
    dialog.show();
    dialog.findChild<QPushButton *>(QStringLiteral("btn_copy"))->click();
    QCOMPARE(QApplication::clipboard()->text(QClipboard::Clipboard), expected);
    QVERIFY(dialog.isVisible());
    dialog.findChild<QPushButton *>(QStringLiteral("btn_close"))->click();
    QVERIFY(!dialog.isVisible());

    // Opened during start-up, before anything was measured: the system type is already the host's (the
    // kernel's machine type, "x86_64" on a 64-bit host), not a default of 32.
    Global::systemInfo = SystemInfo();
    struct utsname host;
    QCOMPARE(uname(&host), 0);
    const QString bits = QString::fromLatin1(host.machine).contains(QLatin1String("64")) ? "64" : "32";
    QVERIFY2(SystemInfoDialog::copyText(SystemInfoDialog::currentRows())
                 .contains(QStringLiteral("\r\nInfo_System_Type:%1\r\n").arg(bits)),
             qPrintable(SystemInfoDialog::copyText(SystemInfoDialog::currentRows())));

    Global::systemInfo = saved;
    Global::installInfo.productVersion = savedVersion;
    SettingModel::instance()->performance()->setCpuCoresCount(2);
}

void TestShellWidgets::contactKinds_data()
{
    QTest::addColumn<QString>("contact");
    QTest::addColumn<int>("kind");
    QTest::newRow("e-mail") << "a.b-c_d+e@example.co.uk" << int(FeedbackRequest::Email);
    QTest::newRow("e-mail without a dotted host") << "name@localhost" << int(FeedbackRequest::NoContact);
    QTest::newRow("5-digit QQ") << "12345" << int(FeedbackRequest::QQ);
    QTest::newRow("11-digit mobile is QQ") << "13812345678" << int(FeedbackRequest::QQ);
    QTest::newRow("12 digits") << "123456789012" << int(FeedbackRequest::NoContact);
    QTest::newRow("4 digits") << "1234" << int(FeedbackRequest::NoContact);
    QTest::newRow("7 digits from 0") << "0123456" << int(FeedbackRequest::Phone);
    QTest::newRow("area code and number") << "010-12345678" << int(FeedbackRequest::Phone);
    QTest::newRow("area code, number, extension") << "0755-1234567-1234" << int(FeedbackRequest::Phone);
    QTest::newRow("number and extension") << "01234567-12" << int(FeedbackRequest::Phone);
    QTest::newRow("extension of 5 digits") << "010-12345678-12345" << int(FeedbackRequest::NoContact);
    QTest::newRow("letters") << "call me" << int(FeedbackRequest::NoContact);
    QTest::newRow("empty") << "" << int(FeedbackRequest::NoContact);
}

void TestShellWidgets::contactKinds()
{
    QFETCH(QString, contact);
    QFETCH(int, kind);
    QCOMPARE(int(FeedbackRequest::contactKind(contact)), kind);
    // The field's validator never refuses a whole contact of a known kind.
    if (kind != FeedbackRequest::NoContact) {
        const QRegularExpression union_(FeedbackRequest::validatorPattern());
        QVERIFY(union_.match(contact).hasMatch());
    }
}

void TestShellWidgets::feedbackPayload()
{
    ReportIdentity identity;
    identity.uuid = QStringLiteral("5c0e6a1b");
    identity.version = QStringLiteral("1.4.2");
    identity.channelId = QStringLiteral("1208");
    const QString text = QStringLiteral("Der Bildschirm fl\u00e4ckert <&>");
    const QByteArray bytes =
        FeedbackRequest::payload(text, QStringLiteral("12345"), FeedbackRequest::QQ, identity);
    YeltProto::YeltUnityCSPkg package;
    QVERIFY(package.ParseFromArray(bytes.constData(), bytes.size()));
    QCOMPARE(package.result(), 0);
    QCOMPARE(package.head().cmd(), 1001u);
    QCOMPARE(package.head().uin(), 0u);
    QCOMPARE(int(package.head().requesttype()), 1);
    YeltProto::YeltBaseAPIProto proto;
    QVERIFY(proto.ParseFromString(package.body()));
    QCOMPARE(proto.result(), 0);
    QCOMPARE(proto.subcmd(), 5);
    const YeltProto::YeltBaseAPIReq &request = proto.baseapi_req();
    QCOMPARE(QString::fromStdString(request.details()), text);
    QCOMPARE(QString::fromStdString(request.qqnumber()), QStringLiteral("12345"));
    QVERIFY(!request.has_phonenumber());
    QVERIFY(!request.has_emailaddress());
    // The two user records are equal and filled as the usage report fills them.
    QCOMPARE(request.user_info().SerializeAsString(), package.head().user_info().SerializeAsString());
    QCOMPARE(int(request.user_info().productid()), 123);
    QCOMPARE(int(request.user_info().platformtype()), 103);
    QCOMPARE(request.user_info().channelid(), 1208);
    // The body: the payload enciphered with the report key, in Base64.
    QCOMPARE(FeedbackRequest::body(text, QStringLiteral("12345"), FeedbackRequest::QQ, identity),
             UploadBody::encode(bytes, QByteArray(UploadBody::kReportKey)));
}

void TestShellWidgets::trayWithoutNotificationArea()
{
    QVERIFY(!QSystemTrayIcon::isSystemTrayAvailable());
    TrayTool tray;
    QCOMPARE(TrayNotice::instance(), &tray);
    QSignalSpy balloons(&tray, &TrayTool::balloonShown);
    QSignalSpy icon(&tray, &TrayTool::tray_icon_click);
    QSignalSpy settings(&tray, &TrayTool::tray_setting_click);
    QSignalSpy status(&tray, &TrayTool::tray_status_click);
    // The entries in their order and first texts.
    QStringList texts;
    for (QAction *action : tray.actions())
        texts << action->text();
    QCOMPARE(texts, (QStringList{"Tray_Keyboard", "Tray_Status", "Tray_Setting", "Tray_Quit"}));
    TrayNotice::message(QStringLiteral("Info_Copy_Success"));
    QCOMPARE(balloons.size(), 1);
    QCOMPARE(balloons.at(0).at(1).toString(), QStringLiteral("Info_Copy_Success"));
    tray.iconIsActived(QSystemTrayIcon::Trigger);
    tray.iconIsActived(QSystemTrayIcon::Context);
    QCOMPARE(icon.size(), 0);
    tray.iconIsActived(QSystemTrayIcon::DoubleClick);
    QCOMPARE(icon.size(), 1);
    tray.settingAction()->trigger();
    tray.statusAction()->trigger();
    QCOMPARE(settings.at(0).at(0).toString(), QStringLiteral("1"));
    QCOMPARE(status.at(0).at(0).toString(), QStringLiteral("1"));
    tray.updateStatusAction(true);
    QCOMPARE(tray.statusAction()->text(), QStringLiteral("tray_show"));
    tray.updateStatusAction(false);
    QCOMPARE(tray.statusAction()->text(), QStringLiteral("tray_hide"));
    Global::currentPackage = QStringLiteral("com.example.game");
    Global::keyMapEnabledMap.insert(Global::currentPackage, true);
    TrayNotice::keyboardChanged();
    QCOMPARE(tray.keyboardAction()->text(), QStringLiteral("Tray_Keyboard_Hide"));
    Global::keyMapEnabledMap.clear();
    tray.updateKeyboardAction();
    QCOMPARE(tray.keyboardAction()->text(), QStringLiteral("Tray_Keyboard_Show"));
    tray.hideIcon();
    QVERIFY(!tray.icon()->isVisible());
}

QTEST_MAIN(TestShellWidgets)
#include "tst_shellwidgets.moc"
