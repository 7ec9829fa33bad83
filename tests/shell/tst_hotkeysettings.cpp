// The shortcut rows of the settings window with real key presses through the X server the tests run
// under (XTest): the recorded text and its modifier order, refused and taken keys, and a hot key
// changed and saved in the window acting at the next key press on the Android screen's touch layer,
// where it is taken before the key could reach Android.

#include "androidtouchwidget.h"
#include "global.h"
#include "installtree.h"
#include "settingdialog.h"
#include "settingmodel.h"
#include "shellsupport.h"
#include "shortlineedit.h"
#include "testartefacts.h"
#include "xtestinput.h"

#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTabWidget>
#include <QVBoxLayout>
#include <QtTest>

#include <memory>

class TestHotKeySettings : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void recording_data();
    void recording();
    void changedHotKeyActsAtTheNextPress();

private:
    // Gives the keyboard to `edit` in its window, as a click into it would.
    void focusOn(QWidget *widget);
    bool press(const QStringList &keys); // held in order, released in reverse
    QStringList guestKeyLines(int from) const;

    std::unique_ptr<InstallTree> m_tree;
    std::unique_ptr<XTestInput> m_x;
    GuestProcess m_guest;
    QStringList m_messages;
};

void TestHotKeySettings::initTestCase()
{
    if (qEnvironmentVariableIsEmpty("DISPLAY"))
        QSKIP("needs an X display: the key presses are real X input");
    m_x = std::make_unique<XTestInput>();
    if (!m_x->isValid())
        QSKIP("the X server has no XTest extension");
    if (m_x->capsLockOn())
        m_x->tap(QStringLiteral("Caps_Lock"));
    m_tree = std::make_unique<InstallTree>();
    QVERIFY(m_tree->isValid());
    m_tree->declareHost(InstallTree::HostWithVirtualisation);
    m_tree->useTempDirHere();
    qputenv("APPDATA", QFile::encodeName(m_tree->appDataDir()));
    qputenv("LOCALAPPDATA", QFile::encodeName(m_tree->localAppDataDir()));
    QCoreApplication::setOrganizationName(QStringLiteral("Halvora"));
    Global::vmName = QStringLiteral("Orvanta_6");
    Global::systemInfo.hostCpuCount = 4;
    Global::systemInfo.memoryMB = 8192;
    SettingModel::instance()->load(true);
    QVERIFY(ShellSupport::openEventStore());
    QVERIFY(m_guest.start());
    SettingDialog::setMessageRunner([this](const QString &text, int, QWidget *) {
        m_messages << text;
        return int(QDialog::Rejected);
    });
}

void TestHotKeySettings::cleanupTestCase()
{
    m_x.reset();
}

void TestHotKeySettings::focusOn(QWidget *widget)
{
    QWidget *window = widget->window();
    m_x->focus(window->winId());
    QTRY_VERIFY(window->isActiveWindow());
    widget->setFocus(Qt::MouseFocusReason);
    QTRY_VERIFY(widget->hasFocus());
}

bool TestHotKeySettings::press(const QStringList &keys)
{
    for (const QString &key : keys) {
        if (!m_x->key(key, true))
            return false;
        QTest::qWait(20);
    }
    for (auto it = keys.crbegin(); it != keys.crend(); ++it) {
        if (!m_x->key(*it, false))
            return false;
        QTest::qWait(20);
    }
    QTest::qWait(100);
    return true;
}

QStringList TestHotKeySettings::guestKeyLines(int from) const
{
    return m_guest.lines().mid(from).filter(QRegularExpression(QStringLiteral("^KBD")));
}

void TestHotKeySettings::recording_data()
{
    QTest::addColumn<QString>("edit");
    QTest::addColumn<QStringList>("keys");
    QTest::addColumn<QString>("shown");   // after the last release
    QTest::addColumn<QString>("refusal"); // tool tip, or empty when accepted

    // Pressed Alt first, then Shift, then Ctrl: the text still names them Ctrl, Shift, Alt.
    QTest::newRow("modifier order") << "edit_boss_key" << QStringList{"Alt_L", "Shift_L", "Control_L", "b"}
                                    << "Ctrl + Shift + Alt + B"
                                    << "";
    QTest::newRow("single key") << "edit_return_key" << QStringList{"F6"} << "F6"
                                << "";
    QTest::newRow("ctrl alone") << "edit_keyboard_key" << QStringList{"Control_L"} << "Ctrl"
                                << "";
    QTest::newRow("system shortcut refused") << "edit_menu_key" << QStringList{"Control_L", "c"} << "PaUp"
                                             << QString::fromUtf8("与系统快捷键冲突!");
    QTest::newRow("full-screen key refused")
        << "edit_menu_key" << QStringList{"F11"} << "PaUp" << QString::fromUtf8("与系统快捷键冲突!");
    QTest::newRow("key of another row refused")
        << "edit_return_key" << QStringList{"Home"} << "Esc" << QString::fromUtf8("与当前设置快捷键冲突!");
    QTest::newRow("own key again") << "edit_home_key" << QStringList{"Home"} << "Home"
                                   << "";
}

void TestHotKeySettings::recording()
{
    QFETCH(QString, edit);
    QFETCH(QStringList, keys);
    QFETCH(QString, shown);
    QFETCH(QString, refusal);
    QFile::remove(SettingModel::filePath());
    SettingModel::instance()->load(true);
    SettingDialog window;
    window.loadSettings();
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    window.findChild<QTabWidget *>(QStringLiteral("tab_setting"))->setCurrentIndex(2);
    auto *field = window.findChild<ShortLineEdit *>(edit);
    QVERIFY(field);
    QSignalSpy accepted(field, &ShortLineEdit::recordingAccepted);
    QSignalSpy refused(field, &ShortLineEdit::recordingRefused);
    focusOn(field);
    QVERIFY(press(keys));
    QTRY_COMPARE(field->text(), shown);
    if (refusal.isEmpty()) {
        QCOMPARE(accepted.count(), 1);
        QCOMPARE(refused.count(), 0);
    } else {
        QCOMPARE(accepted.count(), 0);
        QCOMPARE(refused.count(), 1);
        QCOMPARE(refused.at(0).at(1).toString(), refusal);
    }
    // The list of taken keys holds each row's text once.
    QStringList taken = window.shortcutKeys();
    QStringList rows;
    for (const char *name :
         {"edit_boss_key", "edit_return_key", "edit_home_key", "edit_menu_key", "edit_keyboard_key"})
        rows << window.findChild<ShortLineEdit *>(QLatin1String(name))->text();
    taken.sort();
    rows.sort();
    QCOMPARE(taken, rows);

    // Saved as shown.
    QTest::mouseClick(window.findChild<QPushButton *>(QStringLiteral("btn_save")), Qt::LeftButton);
    QSettings file(SettingModel::filePath(), QSettings::IniFormat);
    const QMap<QString, QString> keysOfRows{{"edit_boss_key", "BossKey"},
                                            {"edit_return_key", "ReturnKey"},
                                            {"edit_home_key", "HomeKey"},
                                            {"edit_menu_key", "MenuKey"},
                                            {"edit_keyboard_key", "KeyboardKey"}};
    QCOMPARE(file.value(QStringLiteral("Orvanta/Shortcuts/") + keysOfRows.value(edit)).toString(), shown);
}

void TestHotKeySettings::changedHotKeyActsAtTheNextPress()
{
    QFile::remove(SettingModel::filePath());
    SettingModel::instance()->load(true);

    QWidget screen;
    auto *layout = new QVBoxLayout(&screen);
    auto *touch = new AndroidTouchWidget(&screen);
    layout->addWidget(touch);
    screen.resize(360, 640);
    screen.show();
    QVERIFY(QTest::qWaitForWindowExposed(&screen));
    QSignalSpy back(touch, &AndroidTouchWidget::hotkey_return_click);

    // Before: F6 is an ordinary key and goes to Android; Escape is the return key.
    focusOn(touch->inputEdit());
    int from = m_guest.lines().size();
    QVERIFY(press({QStringLiteral("F6")}));
    QTRY_COMPARE(guestKeyLines(from).size(), 2);
    QVERIFY(guestKeyLines(from).at(0).startsWith(QLatin1String("KBDPR:")));
    QVERIFY(press({QStringLiteral("Escape")}));
    QTRY_COMPARE(back.count(), 1);

    // The settings window makes F6 the return key.
    SettingDialog window;
    window.loadSettings();
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    window.findChild<QTabWidget *>(QStringLiteral("tab_setting"))->setCurrentIndex(2);
    auto *field = window.findChild<ShortLineEdit *>(QStringLiteral("edit_return_key"));
    focusOn(field);
    QVERIFY(press({QStringLiteral("F6")}));
    QTRY_COMPARE(field->text(), QStringLiteral("F6"));
    m_messages.clear();
    QTest::mouseClick(window.findChild<QPushButton *>(QStringLiteral("btn_save")), Qt::LeftButton);
    QCOMPARE(m_messages, QStringList{QStringLiteral("setting_succeed")});
    window.hide();

    // The next press of F6 on the screen is the return key, taken before Android sees it; Escape now
    // goes to Android.
    focusOn(touch->inputEdit());
    from = m_guest.lines().size();
    QVERIFY(press({QStringLiteral("F6")}));
    QTRY_COMPARE(back.count(), 2);
    QVERIFY(press({QStringLiteral("Escape")}));
    QTRY_VERIFY(guestKeyLines(from).contains(QStringLiteral("KBDPR:1:1")));
    QCOMPARE(back.count(), 2);
    const QStringList lines = guestKeyLines(from);
    // Only F6's release reached the guest (releases are not hot keys), never its press.
    QCOMPARE(lines.filter(QStringLiteral("KBDPR:")), QStringList{QStringLiteral("KBDPR:1:1")});
}

QTEST_MAIN(TestHotKeySettings)
#include "tst_hotkeysettings.moc"
