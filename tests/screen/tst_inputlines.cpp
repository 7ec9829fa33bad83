// The input channel's lines byte for byte, the touch layer's coordinate and key-code rules, the key
// texts by which hot keys are found, the hot-key dispatch and the launcher request bytes: everything of
// the input path that needs no connection.

#include "androidtouchwidget.h"
#include "hotkeytable.h"
#include "keytext.h"
#include "launcherrequest.h"
#include "settingmodel.h"
#include "vinputconnection.h"

#include <QKeyEvent>
#include <QSignalSpy>
#include <QtTest>

class TestInputLines : public QObject
{
    Q_OBJECT

private slots:
    void lines_data();
    void lines();
    void screenCapName_data();
    void screenCapName();
    void screenCapAnswerLength_data();
    void screenCapAnswerLength();
    void mapToDevice_data();
    void mapToDevice();
    void linuxKeyCodes_data();
    void linuxKeyCodes();
    void keyTexts_data();
    void keyTexts();
    void hotKeyDispatch();
    void launcherRequestBytes_data();
    void launcherRequestBytes();
};

void TestInputLines::lines_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QByteArray>("expected");
    using V = VInputConnection;
    QTest::newRow("config") << V::configLine(720, 1280) << QByteArray("CONFIG:720:1280\n");
    QTest::newRow("mouse") << V::mouseOrKeyLine(0, 3, 4, 0, 0) << QByteArray("MOUSE:3:4\n");
    QTest::newRow("finger down") << V::mouseOrKeyLine(1, 10, 20, 0, 0) << QByteArray("MSBPR:10:20\n");
    QTest::newRow("finger up") << V::mouseOrKeyLine(2, 10, 20, 0, 0) << QByteArray("MSBRL:10:20\n");
    QTest::newRow("negative point") << V::mouseOrKeyLine(1, -5, -1, 0, 0) << QByteArray("MSBPR:-5:-1\n");
    QTest::newRow("wheel up") << V::mouseOrKeyLine(3, 100, 200, 120, 0)
                              << QByteArray("WHEEL:100:200:1:120\n");
    QTest::newRow("wheel down") << V::mouseOrKeyLine(4, 100, 200, 120, 0)
                                << QByteArray("WHEEL:100:200:-1:120\n");
    QTest::newRow("shift press") << V::mouseOrKeyLine(5, 42, 0, 0, 0) << QByteArray("KBDPR:42:1\n");
    QTest::newRow("shift release") << V::mouseOrKeyLine(6, 42, 0, 0, 0) << QByteArray("KBDRL:42:0\n");
    QTest::newRow("multi-touch press") << V::mouseOrKeyLine(7, 1, 2, 3, 4) << QByteArray("MSMTPR:1:2:3:4\n");
    QTest::newRow("multi-touch release") << V::mouseOrKeyLine(8, 1, 2, 0, 0) << QByteArray("MSMTRL:1:2\n");
    QTest::newRow("type 9") << V::mouseOrKeyLine(9, 1, 2, 3, 4) << QByteArray();
    QTest::newRow("type 11") << V::mouseOrKeyLine(11, 1, 2, 3, 4) << QByteArray();
    QTest::newRow("type -1") << V::mouseOrKeyLine(-1, 1, 2, 3, 4) << QByteArray();
    QTest::newRow("sensor") << V::mouseOrKeyLine(10, 1, -7, 0, 0) << QByteArray("SENSOR:1:-7\n");
    QTest::newRow("multi none") << V::multiLine(2, {}) << QByteArray("MULTI:0:2\n");
    QTest::newRow("multi two") << V::multiLine(0, {QPoint(10, 20), QPoint(30, 40)})
                               << QByteArray("MULTI:2:0:10:20:30:40\n");
    QTest::newRow("multi state 1") << V::multiLine(1, {QPoint(1, 2)}) << QByteArray("MULTI:1:1:1:2\n");
    QTest::newRow("multi state 3") << V::multiLine(3, {QPoint(1, 2)}) << QByteArray();
    QTest::newRow("text") << V::inputTextLine(QStringLiteral("abc"))
                          << QByteArray("INPUTTEXT:str-PEc+YWJjPFA+\n");
    // Line feeds become blanks; the text is UTF-8 before Base64.
    QTest::newRow("text lines and umlaut")
        << V::inputTextLine(QStringLiteral("h\u00e9\nx"))
        << QByteArray("INPUTTEXT:str-") + QByteArray("<G>h\xc3\xa9 x<P>").toBase64() + '\n';
    QTest::newRow("empty text") << V::inputTextLine(QString()) << QByteArray("INPUTTEXT:str-PEc+PFA+\n");
    QTest::newRow("gps default") << V::gpsLine(116.2317, 39.5427) << QByteArray("GPS:str-116.232|39.5427\n");
    QTest::newRow("gps negative, exponent")
        << V::gpsLine(-0.0000123, -179.99999) << QByteArray("GPS:str--1.23e-05|-180\n");
    QTest::newRow("shake") << V::shakeLine() << QByteArray("SHAKE\n");
    QTest::newRow("screencap") << V::screenCapLine() << QByteArray("SCREENCAP\n");
    QTest::newRow("shell") << V::shellLine(QStringLiteral("getprop dev.bootcomplete"))
                           << QByteArray("SHELL_CMD:str-getprop dev.bootcomplete\n");
    QTest::newRow("shell utf-8") << V::shellLine(QStringLiteral("echo \u00fc"))
                                 << QByteArray("SHELL_CMD:str-echo \xc3\xbc\n");
    QTest::newRow("shell with line feed") << V::shellLine(QStringLiteral("echo a\nreboot")) << QByteArray();
    QTest::newRow("shell with return") << V::shellLine(QStringLiteral("echo a\rreboot")) << QByteArray();
}

void TestInputLines::lines()
{
    QFETCH(QByteArray, line);
    QFETCH(QByteArray, expected);
    QCOMPARE(line, expected);
}

void TestInputLines::screenCapName_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QString>("name");
    QTest::newRow("path") << QByteArray("SCREENCAP:/sdcard/Pictures/Screenshots/shot_1.png")
                          << QStringLiteral("shot_1.png");
    QTest::newRow("line end trimmed")
        << QByteArray("SCREENCAP:/sdcard/Pictures/shot_2.png\r\n") << QStringLiteral("shot_2.png");
    QTest::newRow("no slash") << QByteArray("SCREENCAP:shot_3.png") << QStringLiteral("shot_3.png");
    QTest::newRow("no file") << QByteArray("SCREENCAP:/sdcard/Pictures/") << QString();
    QTest::newRow("only blanks") << QByteArray("SCREENCAP:/sdcard/ \n") << QString();
    QTest::newRow("shell output") << QByteArray("1\n") << QString();
}

void TestInputLines::screenCapName()
{
    QFETCH(QByteArray, data);
    QFETCH(QString, name);
    QCOMPARE(VInputConnection::screenCapName(data), name);
}

// One read of the guest's channel: where the screenshot answer at its start ends.
void TestInputLines::screenCapAnswerLength_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<int>("length");
    QTest::newRow("one answer") << QByteArray("SCREENCAP:/sdcard/a.png") << 23;
    QTest::newRow("answer, then a reply") << QByteArray("SCREENCAP:/sdcard/a.png1\n") << 23;
    QTest::newRow("answer with its line end, then a reply")
        << QByteArray("SCREENCAP:/sdcard/a.png\r\n1\n") << 25;
    QTest::newRow("two answers") << QByteArray("SCREENCAP:/x/a.pngSCREENCAP:/x/b.png") << 18;
    QTest::newRow("no picture name ends it") << QByteArray("SCREENCAP:/sdcard/shot") << 22;
    QTest::newRow("a reply") << QByteArray("1\n") << 0;
}

void TestInputLines::screenCapAnswerLength()
{
    QFETCH(QByteArray, data);
    QFETCH(int, length);
    QCOMPARE(VInputConnection::screenCapAnswerLength(data), length);
}

void TestInputLines::mapToDevice_data()
{
    QTest::addColumn<QSize>("widget");
    QTest::addColumn<int>("rotation");
    QTest::addColumn<double>("scale");
    QTest::addColumn<QPoint>("point");
    QTest::addColumn<QPoint>("device");
    QTest::newRow("90, scale 1") << QSize(1280, 720) << 90 << 1.0 << QPoint(100, 200) << QPoint(520, 100);
    QTest::newRow("90, scale 0.5") << QSize(1280, 720) << 90 << 0.5 << QPoint(100, 200) << QPoint(1040, 200);
    QTest::newRow("0, scale 0.75 truncates")
        << QSize(540, 960) << 0 << 0.75 << QPoint(100, 200) << QPoint(133, 266);
    QTest::newRow("180") << QSize(720, 1280) << 180 << 1.0 << QPoint(100, 200) << QPoint(620, 1080);
    QTest::newRow("270") << QSize(1280, 720) << 270 << 1.0 << QPoint(100, 200) << QPoint(200, 1180);
    QTest::newRow("other rotation kept") << QSize(720, 1280) << 45 << 1.0 << QPoint(7, 9) << QPoint(7, 9);
}

void TestInputLines::mapToDevice()
{
    QFETCH(QSize, widget);
    QFETCH(int, rotation);
    QFETCH(double, scale);
    QFETCH(QPoint, point);
    QFETCH(QPoint, device);
    QCOMPARE(AndroidTouchWidget::mapToDevice(point.x(), point.y(), widget.width(), widget.height(), rotation,
                                             scale),
             device);
}

void TestInputLines::linuxKeyCodes_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("scanCode"); // the key's Linux code as the keyboard gives it
    QTest::addColumn<int>("linux");
    QTest::newRow("A from its scan code") << int(Qt::Key_A) << 30 << 30;
    QTest::newRow("F11 from its scan code") << int(Qt::Key_F11) << 87 << 87;
    QTest::newRow("1") << int(Qt::Key_1) << 79 << 2;
    QTest::newRow("9") << int(Qt::Key_9) << 73 << 10;
    QTest::newRow("0 on the keypad") << int(Qt::Key_0) << 82 << 11;
    QTest::newRow("!") << int(Qt::Key_Exclam) << 2 << 2;
    QTest::newRow("@") << int(Qt::Key_At) << 3 << 3;
    QTest::newRow("$") << int(Qt::Key_Dollar) << 5 << 5;
    QTest::newRow("&") << int(Qt::Key_Ampersand) << 8 << 8;
    QTest::newRow("* main block") << int(Qt::Key_Asterisk) << 9 << 9;
    QTest::newRow("* keypad") << int(Qt::Key_Asterisk) << 55 << 240;
    QTest::newRow("+ always unknown") << int(Qt::Key_Plus) << 78 << 240;
    QTest::newRow("(") << int(Qt::Key_ParenLeft) << 10 << 10;
    QTest::newRow(")") << int(Qt::Key_ParenRight) << 11 << 11;
    QTest::newRow("- keypad") << int(Qt::Key_Minus) << 74 << 12;
    QTest::newRow(". keypad") << int(Qt::Key_Period) << 83 << 52;
    QTest::newRow("/ keypad") << int(Qt::Key_Slash) << 98 << 53;
    QTest::newRow("macron") << int(Qt::Key_macron) << 0 << 112;
    QTest::newRow("mu") << int(Qt::Key_mu) << 0 << 113;
    QTest::newRow("keypad enter") << int(Qt::Key_Enter) << 96 << 28;
    QTest::newRow("insert") << int(Qt::Key_Insert) << 110 << 110;
    QTest::newRow("delete") << int(Qt::Key_Delete) << 111 << 111;
    QTest::newRow("pause") << int(Qt::Key_Pause) << 119 << 119;
    QTest::newRow("sysreq") << int(Qt::Key_SysReq) << 0 << 99;
    QTest::newRow("home") << int(Qt::Key_Home) << 71 << 102;
    QTest::newRow("end") << int(Qt::Key_End) << 79 << 107;
    QTest::newRow("left") << int(Qt::Key_Left) << 75 << 105;
    QTest::newRow("up") << int(Qt::Key_Up) << 72 << 103;
    QTest::newRow("right") << int(Qt::Key_Right) << 77 << 106;
    QTest::newRow("down") << int(Qt::Key_Down) << 80 << 108;
    QTest::newRow("page up") << int(Qt::Key_PageUp) << 73 << 104;
    QTest::newRow("page down") << int(Qt::Key_PageDown) << 81 << 109;
    QTest::newRow("caps lock") << int(Qt::Key_CapsLock) << 58 << 58;
    QTest::newRow("num lock") << int(Qt::Key_NumLock) << 69 << 69;
}

void TestInputLines::linuxKeyCodes()
{
    QFETCH(int, key);
    QFETCH(int, scanCode);
    QFETCH(int, linux);
    QCOMPARE(AndroidTouchWidget::qtKeyToLinuxKey(key, scanCode), linux);
}

void TestInputLines::keyTexts_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("shortcut");
    QTest::addColumn<QString>("hotKey");
    QTest::addColumn<QString>("name");
    const int ctrl = Qt::ControlModifier, shift = Qt::ShiftModifier, alt = Qt::AltModifier;
    QTest::newRow("ctrl shift f5") << int(Qt::Key_F5) << (ctrl | shift) << QString() << "Ctrl + Shift + F5"
                                   << "Ctrl + Shift + F5"
                                   << "F5";
    QTest::newRow("alt shift q") << int(Qt::Key_Q) << (alt | shift) << "Q"
                                 << "Shift + Alt + Q"
                                 << "Shift + Alt + Q"
                                 << "Q";
    QTest::newRow("ctrl page up") << int(Qt::Key_PageUp) << ctrl << QString() << "Ctrl + PaUp"
                                  << "Ctrl + PaUp"
                                  << "PgUp";
    // A modifier's own press: the event's modifiers are those held before it, and QKeyEvent adds the key's.
    QTest::newRow("ctrl alone") << int(Qt::Key_Control) << 0 << QString() << "Ctrl"
                                << "Ctrl" << QString();
    QTest::newRow("shift with ctrl held") << int(Qt::Key_Shift) << ctrl << QString() << "Ctrl + Shift"
                                          << "Ctrl + Shift"
                                          << "Shift";
    QTest::newRow("ctrl alt x") << int(Qt::Key_X) << (ctrl | alt) << "\x18"
                                << "Ctrl + Alt + X"
                                << "Ctrl + Alt + X"
                                << "X";
    QTest::newRow("caret") << int(Qt::Key_AsciiCircum) << shift << "^"
                           << "Shift + ^^"
                           << "Shift + ^^" << QString();
    QTest::newRow("page down") << int(Qt::Key_PageDown) << 0 << QString() << "PaDown"
                               << "PaDown"
                               << "PgDn";
    QTest::newRow("ctrl v") << int(Qt::Key_V) << ctrl << "\x16"
                            << "Ctrl + V" << QString() << "V";
    QTest::newRow("ctrl shift v") << int(Qt::Key_V) << (ctrl | shift) << "\x16"
                                  << "Ctrl + Shift + V"
                                  << "Ctrl + Shift + V"
                                  << "V";
    QTest::newRow("escape") << int(Qt::Key_Escape) << 0 << "\x1b"
                            << "Esc"
                            << "Esc"
                            << "Esc";
    QTest::newRow("ctrl 1") << int(Qt::Key_1) << ctrl << "1"
                            << "Ctrl + 1"
                            << "Ctrl + 1"
                            << "1";
    QTest::newRow("tab") << int(Qt::Key_Tab) << 0 << "\t"
                         << "Tab"
                         << "Tab" << QString();
    QTest::newRow("backspace") << int(Qt::Key_Backspace) << 0 << "\b"
                               << "Backspace"
                               << "Backspace"
                               << "Back";
    QTest::newRow("keypad flag adds nothing") << int(Qt::Key_5) << int(Qt::KeypadModifier) << "5"
                                              << "5"
                                              << "5"
                                              << "5";
    QTest::newRow("other key gives its text") << int(Qt::Key_Adiaeresis) << 0 << "\u00e4"
                                              << "\u00e4"
                                              << "\u00e4" << QString();
}

void TestInputLines::keyTexts()
{
    QFETCH(int, key);
    QFETCH(int, modifiers);
    QFETCH(QString, text);
    QFETCH(QString, shortcut);
    QFETCH(QString, hotKey);
    QFETCH(QString, name);
    const QKeyEvent event(QEvent::KeyPress, key, Qt::KeyboardModifiers(modifiers), text);
    QCOMPARE(KeyText::shortcutText(&event), shortcut);
    QCOMPARE(KeyText::hotKeyText(&event), hotKey);
    QCOMPARE(KeyText::keyName(key), name);
}

void TestInputLines::hotKeyDispatch()
{
    AndroidTouchWidget widget;
    QSignalSpy boss(&widget, &AndroidTouchWidget::hotkey_bosskey_click);
    QSignalSpy back(&widget, &AndroidTouchWidget::hotkey_return_click);
    QSignalSpy home(&widget, &AndroidTouchWidget::hotkey_home_click);
    QSignalSpy menu(&widget, &AndroidTouchWidget::hotkey_menu_click);
    SettingShortcutsData *shortcuts = SettingModel::instance()->shortcuts();

    QStringList names;
    for (const HotKeyRow &row : hotKeyTable())
        names << row.name;
    QCOMPARE(names, (QStringList{"bossKey", "returnKey", "homeKey", "menuKey", "keyboardKey"}));

    QVERIFY(!dispatchHotKey(QString(), &widget));
    QVERIFY(!dispatchHotKey(QStringLiteral("volumeKey"), &widget));
    QVERIFY(dispatchHotKey(QStringLiteral("bossKey"), &widget));
    QVERIFY(dispatchHotKey(QStringLiteral("returnKey"), &widget));
    QVERIFY(dispatchHotKey(QStringLiteral("homeKey"), &widget));
    QVERIFY(dispatchHotKey(QStringLiteral("menuKey"), &widget));
    QCOMPARE(boss.size(), 1);
    QCOMPARE(boss.at(0).at(0).toString(), QStringLiteral("0"));
    QCOMPARE(back.at(0).at(0).toString(), QStringLiteral("1"));
    QCOMPARE(home.at(0).at(0).toString(), QStringLiteral("1"));
    QCOMPARE(menu.at(0).at(0).toString(), QStringLiteral("1"));

    // Each switch is read at the call: off, the row does nothing and says so.
    shortcuts->setHomeKeyIsEnable(false);
    QVERIFY(!dispatchHotKey(QStringLiteral("homeKey"), &widget));
    QVERIFY(dispatchHotKey(QStringLiteral("menuKey"), &widget));
    shortcuts->setHomeKeyIsEnable(true);
    // The master switch stops all four; the keyboard row obeys none.
    shortcuts->setIsEnable(false);
    for (const char *name : {"bossKey", "returnKey", "homeKey", "menuKey"})
        QVERIFY2(!dispatchHotKey(QLatin1String(name), &widget), name);
    QVERIFY(dispatchHotKey(QStringLiteral("keyboardKey"), &widget));
    shortcuts->setIsEnable(true);
    QCOMPARE(boss.size(), 1);
    QCOMPARE(back.size(), 1);
    QCOMPARE(home.size(), 1);
    QCOMPARE(menu.size(), 2);
}

void TestInputLines::launcherRequestBytes_data()
{
    QTest::addColumn<int>("action");
    QTest::addColumn<QString>("data");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("home") << 2 << QString() << QByteArray::fromHex("08020a");
    QTest::newRow("ctrl plus") << 17 << QStringLiteral("1")
                               << QByteArray::fromHex("0811120131"
                                                      "0a");
    QTest::newRow("script state, two-byte varint") << 259 << QString() << QByteArray::fromHex("0883020a");
    QTest::newRow("toast utf-8") << 10 << QStringLiteral("\u00e9") << QByteArray::fromHex("080a1202c3a90a");
}

void TestInputLines::launcherRequestBytes()
{
    QFETCH(int, action);
    QFETCH(QString, data);
    QFETCH(QByteArray, bytes);
    QCOMPARE(LauncherRequest::encode(action, data), bytes);
}

QTEST_MAIN(TestInputLines)
#include "tst_inputlines.moc"
