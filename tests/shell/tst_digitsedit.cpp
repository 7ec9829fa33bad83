#include "digitsedit.h"

#include <QLineEdit>
#include <QSignalSpy>
#include <QToolTip>
#include <QVBoxLayout>
#include <QtTest>

// A window with the field under test and a second field that takes the focus away from it.
struct DigitsWindow
{
    QWidget window;
    DigitsEdit *edit;
    QLineEdit *other;

    DigitsWindow()
    {
        auto *layout = new QVBoxLayout(&window);
        edit = new DigitsEdit(&window);
        other = new QLineEdit(&window);
        layout->addWidget(edit);
        layout->addWidget(other);
        window.show();
        window.activateWindow();
        QApplication::setActiveWindow(&window);
    }
    void leave()
    {
        edit->setFocus();
        QTRY_VERIFY(edit->hasFocus());
        other->setFocus();
        QTRY_VERIFY(!edit->hasFocus());
    }
};

class TestDigitsEdit : public QObject
{
    Q_OBJECT

private slots:
    void focusOutBringsIntoRange_data();
    void focusOutBringsIntoRange();
    void reportsOnEveryFocusLoss();
    void onlyDigitsCanBeTyped();
    void tooltipShowsCurrentBounds();
};

void TestDigitsEdit::focusOutBringsIntoRange_data()
{
    QTest::addColumn<int>("min");
    QTest::addColumn<int>("max");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("shown");

    QTest::newRow("empty, 1 to 4") << 1 << 4 << ""
                                   << "1";
    QTest::newRow("empty, 0 to 4") << 0 << 4 << ""
                                   << "0";
    QTest::newRow("leading zeros") << 1 << 4096 << "0007"
                                   << "7";
    QTest::newRow("above the upper bound") << 1 << 8 << "12"
                                           << "8";
    QTest::newRow("below the lower bound") << 120 << 640 << "90"
                                           << "120";
    QTest::newRow("on the bounds") << 50 << 1440 << "1440"
                                   << "1440";
    // More digits than an int holds: above every range, never the lower bound.
    QTest::newRow("too long for a number") << 1 << 16 << "99999999999999"
                                           << "16";
}

void TestDigitsEdit::focusOutBringsIntoRange()
{
    QFETCH(int, min);
    QFETCH(int, max);
    QFETCH(QString, text);
    QFETCH(QString, shown);

    DigitsWindow w;
    w.edit->setRange(min, max);
    QSignalSpy reported(w.edit, &DigitsEdit::text_changed);
    w.edit->setText(text);
    w.leave();
    QCOMPARE(w.edit->text(), shown);
    QCOMPARE(reported.count(), 1);
    QCOMPARE(reported.at(0).at(0).toInt(), shown.toInt());
}

void TestDigitsEdit::reportsOnEveryFocusLoss()
{
    DigitsWindow w;
    w.edit->setRange(1, 4);
    w.edit->setText(QStringLiteral("3"));
    QSignalSpy reported(w.edit, &DigitsEdit::text_changed);
    w.leave();
    w.leave();
    QCOMPARE(reported.count(), 2);
    QCOMPARE(reported.at(1).at(0).toInt(), 3);
}

void TestDigitsEdit::onlyDigitsCanBeTyped()
{
    DigitsWindow w;
    w.edit->setFocus();
    QTRY_VERIFY(w.edit->hasFocus());
    QTest::keyClicks(w.edit, QStringLiteral("1a-2.3 "));
    QCOMPARE(w.edit->text(), QStringLiteral("123"));

    // With a range the integer validator refuses what leaves it for good (more digits than the upper
    // bound has).
    w.edit->clear();
    w.edit->setRange(1, 64);
    QTest::keyClicks(w.edit, QStringLiteral("6x45"));
    QCOMPARE(w.edit->text(), QStringLiteral("64"));
}

void TestDigitsEdit::tooltipShowsCurrentBounds()
{
    DigitsWindow w;
    w.edit->setRange(1, 4);
    w.edit->setFocus();
    QTRY_VERIFY(w.edit->hasFocus());
    QTest::keyClick(w.edit, Qt::Key_2);
    QTRY_COMPARE(QToolTip::text(), QStringLiteral("1 ~ 4"));
    w.edit->setRange(801, 2560);
    QTest::keyClick(w.edit, Qt::Key_Backspace);
    QTRY_COMPARE(QToolTip::text(), QStringLiteral("801 ~ 2560"));
}

QTEST_MAIN(TestDigitsEdit)
#include "tst_digitsedit.moc"
