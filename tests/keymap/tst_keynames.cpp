// Key names and shortcut texts, and the key field of the key-map buttons, in one table: for each key
// press the key name, the shortcut text, the hot-key text, and what a key field that held "#" shows
// afterwards and whether it reported the key.

#include "keybutton.h"
#include "keylineedit.h"

#include <QSignalSpy>
#include <QtTest>

class TestKeyNames : public QObject
{
    Q_OBJECT

private slots:
    void keyPress_data();
    void keyPress();
    void everyKeyWithoutAName();
    void focusSignals();
};

void TestKeyNames::keyPress_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<QString>("text"); // the event's text
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("shortcut");
    QTest::addColumn<QString>("hotKey");
    QTest::addColumn<QString>("fieldShows");
    const int none = Qt::NoModifier;
    const int ctrl = Qt::ControlModifier;
    const int shift = Qt::ShiftModifier;
    const int alt = Qt::AltModifier;
    // fieldShows "#" (what the field held before) means the field ignored the key.
    QTest::newRow("letter") << int(Qt::Key_A) << none << "a"
                            << "A"
                            << "A"
                            << "A"
                            << "A";
    QTest::newRow("ctrl + letter: modifiers ignored in the name") << int(Qt::Key_A) << ctrl << "\x01"
                                                                  << "A"
                                                                  << "Ctrl + A"
                                                                  << "Ctrl + A"
                                                                  << "A";
    QTest::newRow("digit") << int(Qt::Key_5) << none << "5"
                           << "5"
                           << "5"
                           << "5"
                           << "5";
    QTest::newRow("keypad digit") << int(Qt::Key_7) << int(Qt::KeypadModifier) << "7"
                                  << "7"
                                  << "7"
                                  << "7"
                                  << "7";
    QTest::newRow("escape") << int(Qt::Key_Escape) << none << "\x1b"
                            << "Esc"
                            << "Esc"
                            << "Esc"
                            << "Esc";
    QTest::newRow("backspace clears the field") << int(Qt::Key_Backspace) << none << "\x08"
                                                << "Back"
                                                << "Backspace"
                                                << "Backspace"
                                                << "";
    QTest::newRow("return") << int(Qt::Key_Return) << none << "\r"
                            << "Enter"
                            << "Enter"
                            << "Enter"
                            << "Enter";
    QTest::newRow("keypad enter") << int(Qt::Key_Enter) << none << "\r"
                                  << "Enter"
                                  << "Enter"
                                  << "Enter"
                                  << "Enter";
    QTest::newRow("insert") << int(Qt::Key_Insert) << none << ""
                            << "Ins"
                            << ""
                            << ""
                            << "Ins";
    QTest::newRow("delete: its control text counts as none") << int(Qt::Key_Delete) << none << "\x7f"
                                                             << "Del"
                                                             << ""
                                                             << ""
                                                             << "Del";
    QTest::newRow("page up") << int(Qt::Key_PageUp) << none << ""
                             << "PgUp"
                             << "PaUp"
                             << "PaUp"
                             << "PgUp";
    QTest::newRow("ctrl + page up") << int(Qt::Key_PageUp) << ctrl << ""
                                    << "PgUp"
                                    << "Ctrl + PaUp"
                                    << "Ctrl + PaUp"
                                    << "PgUp";
    QTest::newRow("page down") << int(Qt::Key_PageDown) << none << ""
                               << "PgDn"
                               << "PaDown"
                               << "PaDown"
                               << "PgDn";
    QTest::newRow("home") << int(Qt::Key_Home) << none << ""
                          << "Home"
                          << "Home"
                          << "Home"
                          << "Home";
    QTest::newRow("end") << int(Qt::Key_End) << none << ""
                         << "End"
                         << "End"
                         << "End"
                         << "End";
    QTest::newRow("arrow") << int(Qt::Key_Left) << none << ""
                           << "Left"
                           << "Left"
                           << "Left"
                           << "Left";
    QTest::newRow("lone shift") << int(Qt::Key_Shift) << shift << ""
                                << "Shift"
                                << "Shift"
                                << "Shift"
                                << "Shift";
    QTest::newRow("lone alt") << int(Qt::Key_Alt) << alt << ""
                              << "Alt"
                              << "Alt"
                              << "Alt"
                              << "Alt";
    QTest::newRow("lone ctrl has no name") << int(Qt::Key_Control) << ctrl << ""
                                           << ""
                                           << "Ctrl"
                                           << "Ctrl"
                                           << "#";
    QTest::newRow("ctrl + shift") << int(Qt::Key_Shift) << (ctrl | shift) << ""
                                  << "Shift"
                                  << "Ctrl + Shift"
                                  << "Ctrl + Shift"
                                  << "Shift";
    QTest::newRow("caps lock") << int(Qt::Key_CapsLock) << none << ""
                               << "Cap"
                               << ""
                               << ""
                               << "Cap";
    QTest::newRow("num lock") << int(Qt::Key_NumLock) << none << ""
                              << "NLock"
                              << ""
                              << ""
                              << "NLock";
    QTest::newRow("F5 with ctrl and shift") << int(Qt::Key_F5) << (ctrl | shift) << ""
                                            << "F5"
                                            << "Ctrl + Shift + F5"
                                            << "Ctrl + Shift + F5"
                                            << "F5";
    QTest::newRow("F12") << int(Qt::Key_F12) << none << ""
                         << "F12"
                         << "F12"
                         << "F12"
                         << "F12";
    QTest::newRow("F13 has no name") << int(Qt::Key_F13) << none << ""
                                     << ""
                                     << ""
                                     << ""
                                     << "#";
    QTest::newRow("alt + shift + Q: shift before alt") << int(Qt::Key_Q) << (alt | shift) << "Q"
                                                       << "Q"
                                                       << "Shift + Alt + Q"
                                                       << "Shift + Alt + Q"
                                                       << "Q";
    QTest::newRow("space") << int(Qt::Key_Space) << none << " "
                           << "Space"
                           << "Space"
                           << "Space"
                           << "Space";
    QTest::newRow("tab: a shortcut, no name") << int(Qt::Key_Tab) << none << "\t"
                                              << ""
                                              << "Tab"
                                              << "Tab"
                                              << "#";
    QTest::newRow("backtab") << int(Qt::Key_Backtab) << shift << ""
                             << ""
                             << "Shift"
                             << "Shift"
                             << "#";
    QTest::newRow("meta") << int(Qt::Key_Meta) << int(Qt::MetaModifier) << ""
                          << ""
                          << ""
                          << ""
                          << "#";
    QTest::newRow("comma") << int(Qt::Key_Comma) << none << ","
                           << ","
                           << ","
                           << ","
                           << ",";
    QTest::newRow("grave accent: its text") << int(Qt::Key_QuoteLeft) << none << "`"
                                            << "`"
                                            << "`"
                                            << "`"
                                            << "`";
    QTest::newRow("backslash") << int(Qt::Key_Backslash) << none << "\\"
                               << "\\"
                               << "\\"
                               << "\\"
                               << "\\";
    QTest::newRow("shift + 1: shifted symbols have no name") << int(Qt::Key_Exclam) << shift << "!"
                                                             << ""
                                                             << "Shift + !"
                                                             << "Shift + !"
                                                             << "#";
    QTest::newRow("at sign") << int(Qt::Key_At) << shift << "@"
                             << ""
                             << "Shift + @"
                             << "Shift + @"
                             << "#";
    QTest::newRow("circumflex doubles") << int(Qt::Key_AsciiCircum) << shift << "^"
                                        << ""
                                        << "Shift + ^^"
                                        << "Shift + ^^"
                                        << "#";
    QTest::newRow("tilde: the event's text") << int(Qt::Key_AsciiTilde) << shift << "~"
                                             << ""
                                             << "Shift + ~"
                                             << "Shift + ~"
                                             << "#";
    QTest::newRow("pause: no text, no part") << int(Qt::Key_Pause) << none << ""
                                             << ""
                                             << ""
                                             << ""
                                             << "#";
    QTest::newRow("ctrl + V pastes, never a hot key") << int(Qt::Key_V) << ctrl << "\x16"
                                                      << "V"
                                                      << "Ctrl + V"
                                                      << ""
                                                      << "#";
    QTest::newRow("ctrl + shift + V") << int(Qt::Key_V) << (ctrl | shift) << "\x16"
                                      << "V"
                                      << "Ctrl + Shift + V"
                                      << "Ctrl + Shift + V"
                                      << "V";
    QTest::newRow("shift + insert pastes") << int(Qt::Key_Insert) << shift << ""
                                           << "Ins"
                                           << "Shift"
                                           << "Shift"
                                           << "#";
}

void TestKeyNames::keyPress()
{
    QFETCH(int, key);
    QFETCH(int, modifiers);
    QFETCH(QString, text);
    QFETCH(QString, name);
    QFETCH(QString, shortcut);
    QFETCH(QString, hotKey);
    QFETCH(QString, fieldShows);
    // The modifiers column is what the event reports; for a modifier key itself Qt reports its own
    // modifier as held although the window system's state did not hold it yet, so the event is made
    // without it, as the platform makes it.
    int own = 0;
    if (key == Qt::Key_Shift)
        own = Qt::ShiftModifier;
    else if (key == Qt::Key_Control)
        own = Qt::ControlModifier;
    else if (key == Qt::Key_Alt)
        own = Qt::AltModifier;
    else if (key == Qt::Key_Meta)
        own = Qt::MetaModifier;
    QKeyEvent event(QEvent::KeyPress, key, Qt::KeyboardModifiers(modifiers & ~own), text);
    QCOMPARE(int(event.modifiers()), modifiers);
    QCOMPARE(KeyButton::keyName(key), name);
    QCOMPARE(KeyButton::shortcutText(&event), shortcut);
    QCOMPARE(KeyButton::hotKeyText(&event), hotKey);

    // The key field: shown, focused, holding "#".
    KeyLineEdit field;
    field.setText(QStringLiteral("#"));
    field.show();
    QVERIFY(QTest::qWaitForWindowExposed(&field));
    field.setFocus();
    QSignalSpy reports(&field, &KeyLineEdit::keyPress);
    QKeyEvent press(QEvent::KeyPress, key, Qt::KeyboardModifiers(modifiers & ~own), text);
    QApplication::sendEvent(&field, &press);
    QVERIFY(press.isAccepted());
    QCOMPARE(field.text(), fieldShows);
    const bool reported = fieldShows != QLatin1String("#") && !fieldShows.isEmpty();
    QCOMPARE(reports.count(), reported ? 1 : 0);
    if (reported) {
        QCOMPARE(reports.at(0).at(0).value<KeyLineEdit *>(), &field);
        QCOMPARE(reports.at(0).at(1).toString(), name);
    }
    // The field keeps the focus: Tab moves nothing.
    QVERIFY(field.hasFocus());
}

void TestKeyNames::everyKeyWithoutAName()
{
    // Only the listed keys have names: everything from Qt's key table that is not in it has none.
    QSet<int> named;
    for (int k = Qt::Key_0; k <= Qt::Key_9; ++k)
        named << k;
    for (int k = Qt::Key_A; k <= Qt::Key_Z; ++k)
        named << k;
    for (int k = Qt::Key_F1; k <= Qt::Key_F12; ++k)
        named << k;
    for (int k :
         {Qt::Key_Escape,       Qt::Key_Backspace, Qt::Key_Return,  Qt::Key_Enter,       Qt::Key_Insert,
          Qt::Key_Delete,       Qt::Key_Home,      Qt::Key_End,     Qt::Key_Left,        Qt::Key_Up,
          Qt::Key_Right,        Qt::Key_Down,      Qt::Key_PageUp,  Qt::Key_PageDown,    Qt::Key_Shift,
          Qt::Key_Alt,          Qt::Key_CapsLock,  Qt::Key_NumLock, Qt::Key_Space,       Qt::Key_Apostrophe,
          Qt::Key_Asterisk,     Qt::Key_Plus,      Qt::Key_Comma,   Qt::Key_Minus,       Qt::Key_Period,
          Qt::Key_Slash,        Qt::Key_Semicolon, Qt::Key_Equal,   Qt::Key_BracketLeft, Qt::Key_Backslash,
          Qt::Key_BracketRight, Qt::Key_QuoteLeft})
        named << k;
    const QList<int> ranges[] = {{0x20, 0xff}, {Qt::Key_Escape, Qt::Key_Direction_R}};
    for (const QList<int> &range : ranges) {
        for (int k = range.at(0); k <= range.at(1); ++k)
            QCOMPARE(KeyButton::keyName(k).isEmpty(), !named.contains(k));
    }
}

void TestKeyNames::focusSignals()
{
    QWidget window;
    auto *a = new KeyLineEdit(&window);
    auto *b = new KeyLineEdit(&window);
    b->move(0, 40);
    QSignalSpy inA(a, &KeyLineEdit::focusIn);
    QSignalSpy outA(a, &KeyLineEdit::focusOut);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    a->setFocus();
    QTRY_COMPARE(inA.count(), 1);
    QCOMPARE(inA.at(0).at(0).value<KeyLineEdit *>(), a);
    b->setFocus();
    QTRY_COMPARE(outA.count(), 1);
    QCOMPARE(outA.at(0).at(0).value<KeyLineEdit *>(), a);
}

QTEST_MAIN(TestKeyNames)
#include "tst_keynames.moc"
