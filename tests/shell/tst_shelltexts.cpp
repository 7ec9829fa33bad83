// The shell's windows with the emulator's English texts loaded as the program loads them: every message
// the dispatcher or the crash notice puts into the common dialog, the quit, update and VirtualBox error
// dialogs, the title bar of the narrowest (portrait) window, the settings window's tabs, the system
// information, the feedback pop-up and form, the shared-folder dialog, the tray menu, the side bar's
// menus and the screenshot notices show finished texts that fit their controls (or, cut short, keep the
// whole text as their tip).

#include "commandline.h"
#include "commondialog.h"
#include "dialogtype.h"
#include "feedbackdialog.h"
#include "menubar.h"
#include "orvmenu.h"
#include "quitorvdialog.h"
#include "screenshotnotice.h"
#include "settingdialog.h"
#include "sharefolderdialog.h"
#include "systeminfodialog.h"
#include "titlebar.h"
#include "translations.h"
#include "traytool.h"
#include "updatedialog.h"
#include "vboxerrordialog.h"
#include "windowtexts.h"

#include <QLabel>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

class TestShellTexts : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void messages_data();
    void messages();
    void dialogs_data();
    void dialogs();
    void windows_data();
    void windows();
    void titleOfThePortraitWindow_data();
    void titleOfThePortraitWindow();
    void menus_data();
    void menus();

private:
    QTemporaryDir m_root;
    QHash<QPair<QString, QString>, QString> m_texts;
    QSet<QString> m_bare;
};

void TestShellTexts::initTestCase()
{
    qputenv("LOCALAPPDATA", m_root.path().toLocal8Bit()); // no update notes
    QVERIFY(!Translations::install(QStringLiteral(":/translations/orvanta_en.qm"),
                                   m_root.path() + QStringLiteral("/player/language/Orvanta_zh_CN.qm")));
    m_texts = WindowTexts::readSource(QStringLiteral(ORV_TRANSLATIONS_DIR "/orvanta_en.ts"));
    QVERIFY(!m_texts.isEmpty());
    m_bare = WindowTexts::bareKeys(m_texts);
}

void TestShellTexts::messages_data()
{
    QTest::addColumn<QString>("context");
    QTest::addColumn<QString>("key");
    QTest::addColumn<int>("type");
    // Every error-code message, as the dispatcher shows it.
    const QHash<QPair<QString, QString>, QString> texts =
        WindowTexts::readSource(QStringLiteral(ORV_TRANSLATIONS_DIR "/orvanta_en.ts"));
    QStringList errorKeys;
    for (auto it = texts.cbegin(); it != texts.cend(); ++it)
        if (it.key().first == QLatin1String("DialogControl"))
            errorKeys << it.key().second;
    errorKeys.sort();
    QVERIFY(errorKeys.size() >= 12);
    for (const QString &key : errorKeys)
        QTest::addRow("%s", qPrintable(key)) << "DialogControl" << key << int(DialogType::ErrorCodeTutorial);
    QTest::newRow("crash notice") << "CrashHandler"
                                  << "Crash_Message" << int(DialogType::Message);
    QTest::newRow("starting") << "LoadingWindow"
                              << "starting" << int(DialogType::Message);
    QTest::newRow("exiting") << "MainControl"
                             << "exiting" << int(DialogType::Message);
    QTest::newRow("files missing") << "LoadingControl"
                                   << "file miss" << int(DialogType::Message);
    QTest::newRow("update clears data") << "UpdateDialog"
                                        << "need_clear_data" << int(DialogType::ClearData);
}

void TestShellTexts::messages()
{
    QFETCH(QString, context);
    QFETCH(QString, key);
    QFETCH(int, type);
    const QString text = QCoreApplication::translate(context.toUtf8().constData(), key.toUtf8().constData());
    QCOMPARE(text, m_texts.value({context, key}));
    CommonDialog dialog(text, type, nullptr);
    int shown = 0;
    const QStringList problems = WindowTexts::problems(&dialog, m_bare, false, &shown);
    QVERIFY2(problems.isEmpty(), qPrintable(problems.join(QStringLiteral("; "))));
    QVERIFY(shown >= 2); // the message and a button
}

void TestShellTexts::dialogs_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("quit") << "quit";
    QTest::newRow("update") << "update";
    QTest::newRow("update that clears data") << "update clear";
    QTest::newRow("VirtualBox error") << "vbox error";
}

void TestShellTexts::dialogs()
{
    QFETCH(QString, name);
    std::unique_ptr<QDialog> dialog;
    if (name == QLatin1String("quit"))
        dialog = std::make_unique<QuitOrvDialog>();
    else if (name.startsWith(QLatin1String("update")))
        dialog = std::make_unique<UpdateDialog>(name.endsWith(QLatin1String("clear")));
    else
        dialog = std::make_unique<VBoxErrorDialog>();
    dialog->show();
    QVERIFY(QTest::qWaitForWindowExposed(dialog.get()));
    int shown = 0;
    const QStringList problems = WindowTexts::problems(dialog.get(), m_bare, false, &shown);
    QVERIFY2(problems.isEmpty(), qPrintable(problems.join(QStringLiteral("; "))));
    QVERIFY(shown >= 3);
}

void TestShellTexts::windows_data()
{
    QTest::addColumn<QString>("name");
    for (const char *name : {"settings performance", "settings resolution", "settings hot keys",
                             "settings about", "system information", "feedback pop-up", "feedback form",
                             "share folder", "screenshot notice", "vertical screenshot notice"})
        QTest::newRow(name) << name;
}

void TestShellTexts::windows()
{
    QFETCH(QString, name);
    std::unique_ptr<QWidget> window;
    if (name.startsWith(QLatin1String("settings"))) {
        auto settings = std::make_unique<SettingDialog>();
        settings->loadSettings();
        const QStringList tabs{"settings performance", "settings resolution", "settings hot keys",
                               "settings about"};
        settings->findChild<QTabWidget *>(QStringLiteral("tab_setting"))->setCurrentIndex(tabs.indexOf(name));
        window = std::move(settings);
    } else if (name == QLatin1String("system information")) {
        window = std::make_unique<SystemInfoDialog>();
    } else if (name == QLatin1String("feedback pop-up")) {
        window = std::make_unique<FeedbackPopuMenu>();
    } else if (name == QLatin1String("feedback form")) {
        window = std::make_unique<FeedbackDialog>();
    } else if (name == QLatin1String("share folder")) {
        window = std::make_unique<ShareFolderDialog>();
    } else {
        std::unique_ptr<ScreenshotNotice> notice;
        if (name.startsWith(QLatin1String("vertical")))
            notice = std::make_unique<VerticalScreenshotHandleWidget>();
        else
            notice = std::make_unique<ScreenshotHandleWidget>();
        // A screenshot's file name as the guest makes them.
        notice->setText(QStringLiteral("Screenshot_20260108-142533_com.example.longgamename.png"));
        window = std::move(notice);
    }
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    int shown = 0;
    const QStringList problems = WindowTexts::problems(window.get(), m_bare, false, &shown);
    QVERIFY2(problems.isEmpty(), qPrintable(problems.join(QStringLiteral("; "))));
    QVERIFY(shown >= 1);
    if (auto *notice = qobject_cast<ScreenshotNotice *>(window.get())) {
        // Cut short or not, the notice still opens the whole name.
        QCOMPARE(notice->text(), QStringLiteral("Screenshot_20260108-142533_com.example.longgamename.png"));
        const QString label = notice->nameLabel()->text();
        QVERIFY(label == notice->text() || notice->nameLabel()->toolTip() == notice->text());
    }
}

void TestShellTexts::titleOfThePortraitWindow_data()
{
    QTest::addColumn<QString>("title");
    QTest::addColumn<int>("width");
    QTest::addColumn<bool>("whole");
    // The portrait window of the smallest screens is 409 pixels wide.
    QTest::newRow("the product's name, portrait") << "Orvanta" << 409 << true;
    QTest::newRow("the product's name, narrower still") << "Orvanta" << 330 << true;
    QTest::newRow("a long title of an instance")
        << "Orvanta instance number twelve of the office" << 409 << false;
}

void TestShellTexts::titleOfThePortraitWindow()
{
    QFETCH(QString, title);
    QFETCH(int, width);
    QFETCH(bool, whole);
    const QString saved = CommandLine::title;
    CommandLine::title = title;
    QWidget host;
    host.resize(width, 36);
    TitleBar bar(&host);
    bar.setWindowKind(1);
    bar.setTitle();
    bar.resize(width, 36);
    host.show();
    QVERIFY(QTest::qWaitForWindowExposed(&host));
    CommandLine::title = saved;
    auto *label = bar.findChild<QLabel *>(QStringLiteral("label_title"));
    const QStringList problems = WindowTexts::problems(&host, m_bare, false);
    QVERIFY2(problems.isEmpty(), qPrintable(problems.join(QStringLiteral("; "))));
    if (whole) {
        QCOMPARE(label->text(), title);
    } else {
        QVERIFY(label->text() != title);
        QCOMPARE(label->toolTip(), title);
    }
    // The title ends before the first button.
    auto *more = bar.findChild<QWidget *>(QStringLiteral("btn_more"));
    QVERIFY(label->geometry().right() < more->x());
}

void TestShellTexts::menus_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("padding");
    QTest::newRow("tray menu") << "tray" << 20;
    QTest::newRow("side bar's keyboard menu") << "keyboard" << 84;
    QTest::newRow("side bar's screenshot menu") << "screenshot" << 84;
}

void TestShellTexts::menus()
{
    QFETCH(QString, name);
    QFETCH(int, padding);
    std::unique_ptr<TrayTool> tray;
    QWidget host;
    std::unique_ptr<MenuBar> bar;
    QMenu *menu = nullptr;
    if (name == QLatin1String("tray"))
        menu = (tray = std::make_unique<TrayTool>()).get();
    else
        bar = std::make_unique<MenuBar>(&host);
    if (bar)
        menu = name == QLatin1String("keyboard") ? static_cast<QMenu *>(bar->keyboardMenu())
                                                 : static_cast<QMenu *>(bar->screenshotMenu());
    // Each text an entry can take: the tray's keyboard entry switches between "on" and "off", its
    // status entry between "show" and "hide"; the keyboard menu's entry between "open" and "close".
    for (int variant = 0; variant < 2; ++variant) {
        if (tray) {
            tray->updateStatusAction(variant == 0);
            menu->findChild<QAction *>(QStringLiteral("action_keyboard"))
                ->setText(QCoreApplication::translate("TrayTool", variant == 0 ? "Tray_Keyboard_Show"
                                                                               : "Tray_Keyboard_Hide"));
        } else if (name == QLatin1String("keyboard")) {
            menu->actions().first()->setText(
                QCoreApplication::translate("MenuBar", variant == 0 ? "open keyMap" : "close keyMap"));
        }
        menu->popup(QPoint(100, 100));
        QVERIFY(QTest::qWaitForWindowExposed(menu));
        int shown = 0;
        const QStringList problems = WindowTexts::menuProblems(menu, m_bare, padding, &shown);
        menu->hide();
        QVERIFY2(problems.isEmpty(), qPrintable(problems.join(QStringLiteral("; "))));
        QVERIFY(shown >= 1);
    }
}

QTEST_MAIN(TestShellTexts)
#include "tst_shelltexts.moc"
