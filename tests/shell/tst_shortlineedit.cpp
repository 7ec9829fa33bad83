#include "shortlineedit.h"

#include <QApplication>
#include <QKeyEvent>
#include <QSignalSpy>
#include <QToolTip>
#include <QtTest>

#ifdef ORV_HAVE_XTEST
#include "xtestinput.h"
#endif

// One step a keyboard gives: "+Key" a press, "-Key" a release, each with the modifier state before the
// step as X reports it ("C" Ctrl, "S" Shift, "A" Alt, "K" keypad): "+Ctrl +1:C -1:C -Ctrl:C" is Ctrl
// held around a tap of 1. QKeyEvent itself flips the bit of a modifier key's own press or release.
static void play(ShortLineEdit &edit, const QString &steps)
{
    static const QMap<QString, int> keys{
        {"Ctrl", Qt::Key_Control}, {"Shift", Qt::Key_Shift}, {"Alt", Qt::Key_Alt},
        {"1", Qt::Key_1},          {"C", Qt::Key_C},         {"V", Qt::Key_V},
        {"X", Qt::Key_X},          {"Z", Qt::Key_Z},         {"F3", Qt::Key_F3},
        {"F5", Qt::Key_F5},        {"F11", Qt::Key_F11},     {"Esc", Qt::Key_Escape},
        {"Tab", Qt::Key_Tab},      {"PgUp", Qt::Key_PageUp}, {"Home", Qt::Key_Home},
        {"Q", Qt::Key_Q},          {"Enter", Qt::Key_Enter}, {"Del", Qt::Key_Delete},
        {"Ins", Qt::Key_Insert},   {"Pause", Qt::Key_Pause}, {"Super", Qt::Key_Super_L},
    };
    for (const QString &step : steps.split(' ', Qt::SkipEmptyParts)) {
        const bool press = step.startsWith('+');
        const QStringList parts = step.mid(1).split(':');
        QVERIFY2(keys.contains(parts[0]), qPrintable(step));
        Qt::KeyboardModifiers mods;
        const QString flags = parts.value(1);
        if (flags.contains('C'))
            mods |= Qt::ControlModifier;
        if (flags.contains('S'))
            mods |= Qt::ShiftModifier;
        if (flags.contains('A'))
            mods |= Qt::AltModifier;
        if (flags.contains('K'))
            mods |= Qt::KeypadModifier;
        QKeyEvent event(press ? QEvent::KeyPress : QEvent::KeyRelease, keys[parts[0]], mods);
        QApplication::sendEvent(&edit, &event);
    }
}

class TestShortLineEdit : public QObject
{
    Q_OBJECT

private slots:
    void recording_data();
    void recording();
    void shownWhileHeld();
    void setTextCommitsOnce();
    void withoutKeyList();
    void afterReset();
    void realKeys();
};

// Each row: the field's committed text, the window's list of taken texts, what the
// keyboard does, then what the field shows, what it has committed, the list afterwards and the tool tip.
void TestShortLineEdit::recording_data()
{
    QTest::addColumn<QString>("committed");
    QTest::addColumn<QStringList>("keyList");
    QTest::addColumn<QString>("steps");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("committedAfter");
    QTest::addColumn<QStringList>("keyListAfter");
    QTest::addColumn<QString>("tip");

    const QStringList defaults{"Ctrl + Alt + X", "Esc", "Home", "PaUp", "Ctrl + 1"};
    const QString system = QStringLiteral("与系统快捷键冲突!");
    const QString taken = QStringLiteral("与当前设置快捷键冲突!");

    QTest::newRow("ctrl+1 checked once ctrl is up") << "Esc" << defaults << "+Ctrl +1:C -1:C -Ctrl:C"
                                                    << "Esc"
                                                    << "Esc" << defaults << taken;
    QTest::newRow("free combination accepted")
        << "Esc" << defaults << "+Ctrl +Shift:C +F5:CS -F5:CS -Shift:CS -Ctrl:C"
        << "Ctrl + Shift + F5"
        << "Ctrl + Shift + F5"
        << QStringList{"Ctrl + Alt + X", "Home", "PaUp", "Ctrl + 1", "Ctrl + Shift + F5"} << QString();
    QTest::newRow("shift before alt whatever the order")
        << "Home" << defaults << "+Alt +Shift:A +Q:AS -Q:AS -Alt:AS -Shift:S"
        << "Shift + Alt + Q"
        << "Shift + Alt + Q" << QStringList{"Ctrl + Alt + X", "Esc", "PaUp", "Ctrl + 1", "Shift + Alt + Q"}
        << QString();
    QTest::newRow("ctrl alone is a shortcut")
        << "Esc" << defaults << "+Ctrl -Ctrl:C"
        << "Ctrl"
        << "Ctrl" << QStringList{"Ctrl + Alt + X", "Home", "PaUp", "Ctrl + 1", "Ctrl"} << QString();
    QTest::newRow("ctrl+c system") << "Esc" << defaults << "+Ctrl +C:C -C:C -Ctrl:C"
                                   << "Esc"
                                   << "Esc" << defaults << system;
    QTest::newRow("ctrl+v system") << "Esc" << defaults << "+V:C -V:C -Ctrl:C"
                                   << "Esc"
                                   << "Esc" << defaults << system;
    QTest::newRow("ctrl+z system") << "Home" << defaults << "+Z:C -Ctrl:C"
                                   << "Home"
                                   << "Home" << defaults << system;
    QTest::newRow("f3 system") << "Home" << defaults << "+F3 -F3"
                               << "Home"
                               << "Home" << defaults << system;
    QTest::newRow("f11 system") << "Home" << defaults << "+F11 -F11"
                                << "Home"
                                << "Home" << defaults << system;
    QTest::newRow("system key into an empty field")
        << QString() << QStringList() << "+F11 -F11" << QString() << QString() << QStringList() << system;
    QTest::newRow("boss key's text into the return field")
        << "Esc" << defaults << "+Ctrl +Alt:C +X:CA -X:CA -Alt:CA -Ctrl:C"
        << "Esc"
        << "Esc" << defaults << taken;
    QTest::newRow("own text again keeps one entry")
        << "Esc" << defaults << "+Esc -Esc"
        << "Esc"
        << "Esc" << QStringList{"Ctrl + Alt + X", "Home", "PaUp", "Ctrl + 1", "Esc"} << QString();
    QTest::newRow("tab is recorded, not acted on")
        << "Esc" << defaults << "+Tab -Tab"
        << "Tab"
        << "Tab" << QStringList{"Ctrl + Alt + X", "Home", "PaUp", "Ctrl + 1", "Tab"} << QString();
    QTest::newRow("page up as stored") << "Home" << defaults << "+PgUp -PgUp"
                                       << "Home"
                                       << "Home" << defaults << taken;
    // Keys without a name of their own would record an empty text (or only the modifiers), which then
    // matched every other such key: refused like a conflict.
    const QString nameless = QStringLiteral("This key cannot be a shortcut!");
    for (const char *key : {"Del", "Ins", "Pause", "Super"})
        QTest::addRow("%s has no name", key)
            << "Ctrl + Alt + X" << defaults << QStringLiteral("+%1 -%1").arg(QLatin1String(key))
            << "Ctrl + Alt + X"
            << "Ctrl + Alt + X" << defaults << nameless;
    QTest::newRow("ctrl+delete would record ctrl alone") << "Esc" << defaults << "+Ctrl +Del:C -Del:C -Ctrl:C"
                                                         << "Esc"
                                                         << "Esc" << defaults << nameless;
    QTest::newRow("nameless key into an empty field")
        << QString() << QStringList() << "+Del -Del" << QString() << QString() << QStringList() << nameless;
    QTest::newRow("keypad flag alone counts as no modifier")
        << "Home" << defaults << "+Enter:K -Enter:K"
        << "Enter"
        << "Enter" << QStringList{"Ctrl + Alt + X", "Esc", "PaUp", "Ctrl + 1", "Enter"} << QString();
}

void TestShortLineEdit::recording()
{
    QFETCH(QString, committed);
    QFETCH(QStringList, keyList);
    QFETCH(QString, steps);
    QFETCH(QString, shown);
    QFETCH(QString, committedAfter);
    QFETCH(QStringList, keyListAfter);
    QFETCH(QString, tip);

    QWidget window;
    ShortLineEdit edit(&window);
    edit.setReadOnly(true);
    edit.move(30, 40);
    edit.setText(committed);
    edit.setKeyList(&keyList);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QSignalSpy refused(&edit, &ShortLineEdit::recordingRefused);

    play(edit, steps);

    QCOMPARE(edit.text(), shown);
    QCOMPARE(edit.committedText(), committedAfter);
    QCOMPARE(keyList, keyListAfter);
    if (tip.isEmpty()) {
        QCOMPARE(refused.count(), 0);
    } else {
        QCOMPARE(refused.count(), 1);
        QCOMPARE(refused.at(0).at(1).toString(), tip);
        QTRY_VERIFY(QToolTip::isVisible());
        QCOMPARE(QToolTip::text(), tip);
        QToolTip::hideText();
    }
}

// While keys are held the field shows the text of the press, and nothing is checked before the last
// modifier is released.
void TestShortLineEdit::shownWhileHeld()
{
    QStringList keyList{"Esc", "Home"};
    ShortLineEdit edit;
    edit.setText("Esc");
    edit.setKeyList(&keyList);
    QSignalSpy accepted(&edit, &ShortLineEdit::recordingAccepted);
    QSignalSpy refused(&edit, &ShortLineEdit::recordingRefused);

    play(edit, "+Ctrl +C:C");
    QCOMPARE(edit.text(), QStringLiteral("Ctrl + C"));
    play(edit, "-C:C");
    QCOMPARE(edit.text(), QStringLiteral("Ctrl + C"));
    QCOMPARE(accepted.count() + refused.count(), 0);
    play(edit, "-Ctrl:C");
    QCOMPARE(refused.count(), 1);
    QCOMPARE(edit.text(), QStringLiteral("Esc"));
    QCOMPARE(keyList, (QStringList{"Esc", "Home"}));
}

void TestShortLineEdit::setTextCommitsOnce()
{
    ShortLineEdit edit;
    QVERIFY(!edit.hasCommittedText());
    edit.setText("Home");
    edit.setText("End");
    QCOMPARE(edit.text(), QStringLiteral("End"));
    QCOMPARE(edit.committedText(), QStringLiteral("Home"));

    // The first key press commits when nothing was set.
    ShortLineEdit fresh;
    play(fresh, "+Q");
    QCOMPARE(fresh.committedText(), QStringLiteral("Q"));
}

// A field whose owner never gave it the list still records (nothing counts as taken) and never crashes.
void TestShortLineEdit::withoutKeyList()
{
    ShortLineEdit edit;
    edit.setText("Esc");
    play(edit, "+Home -Home");
    QCOMPARE(edit.committedText(), QStringLiteral("Home"));
    play(edit, "+F3 -F3");
    QCOMPARE(edit.text(), QStringLiteral("Home"));
}

// After a reset the fields show the reset texts but keep their earlier committed texts: a new recording
// removes the earlier text from the rebuilt list (which does not hold it) and the reset text stays taken.
void TestShortLineEdit::afterReset()
{
    QStringList keyList{"Ctrl + Alt + X", "F5", "Home", "PaUp", "Ctrl + 1"};
    ShortLineEdit edit;
    edit.setText("F5");
    edit.setKeyList(&keyList);
    // Reset: the window shows the default text and rebuilds the list from the defaults.
    edit.setText("Esc");
    keyList = QStringList{"Ctrl + Alt + X", "Esc", "Home", "PaUp", "Ctrl + 1"};
    play(edit, "+Q -Q");
    QCOMPARE(edit.committedText(), QStringLiteral("Q"));
    QCOMPARE(keyList, (QStringList{"Ctrl + Alt + X", "Esc", "Home", "PaUp", "Ctrl + 1", "Q"}));
}

// Real key presses through the X server: the modifier state X reports with each press and release is
// what the field sees in use.
void TestShortLineEdit::realKeys()
{
#ifdef ORV_HAVE_XTEST
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        QSKIP("needs the X server the tests run under");
    XTestInput x;
    if (!x.isValid())
        QSKIP("the X server has no XTest extension");
    QStringList keyList{"Ctrl + Alt + X", "Esc", "Home", "PaUp", "Ctrl + 1"};
    QWidget window;
    window.resize(300, 80);
    ShortLineEdit edit(&window);
    edit.setReadOnly(true);
    edit.setText("Esc");
    edit.setKeyList(&keyList);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    window.activateWindow();
    edit.setFocus();
    QTRY_VERIFY(edit.hasFocus());

    QSignalSpy accepted(&edit, &ShortLineEdit::recordingAccepted);
    QSignalSpy refused(&edit, &ShortLineEdit::recordingRefused);
    x.key("Control_L", true);
    x.key("Shift_L", true);
    x.tap("F5");
    QTRY_COMPARE(edit.text(), QStringLiteral("Ctrl + Shift + F5"));
    x.key("Shift_L", false);
    x.key("Control_L", false);
    QTRY_COMPARE(accepted.count(), 1);
    QCOMPARE(edit.committedText(), QStringLiteral("Ctrl + Shift + F5"));
    QVERIFY(keyList.contains("Ctrl + Shift + F5"));
    QVERIFY(!keyList.contains("Esc"));

    x.key("Control_L", true);
    x.tap("c");
    x.key("Control_L", false);
    QTRY_COMPARE(refused.count(), 1);
    QCOMPARE(edit.text(), QStringLiteral("Ctrl + Shift + F5"));

    x.tap("Home");
    QTRY_COMPARE(refused.count(), 2);
    QCOMPARE(refused.at(1).at(1).toString(), QStringLiteral("与当前设置快捷键冲突!"));
    QCOMPARE(edit.text(), QStringLiteral("Ctrl + Shift + F5"));

    // Delete carries a control character as its text on X: no name, refused.
    x.tap("Delete");
    QTRY_COMPARE(refused.count(), 3);
    QCOMPARE(refused.at(2).at(1).toString(), QStringLiteral("This key cannot be a shortcut!"));
    QCOMPARE(edit.text(), QStringLiteral("Ctrl + Shift + F5"));
    QVERIFY(!keyList.contains(QString()));
#else
    QSKIP("built without the XTest library");
#endif
}

QTEST_MAIN(TestShortLineEdit)
#include "tst_shortlineedit.moc"
