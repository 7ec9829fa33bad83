#include "funcbasedialog.h"

#include <QPushButton>
#include <QSignalSpy>
#include <QtTest>

class TestFuncBaseDialog : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { stayOnTopFlag = false; }
    void flags();
    void stayOnTopIsReadAtConstruction();
    void dragPoints_data();
    void dragPoints();
    void dragByTopBand_data();
    void dragByTopBand();
    void excludedControlKeepsItsClicks();
};

void TestFuncBaseDialog::flags()
{
    FuncBaseDialog dialog(nullptr, 385, 419, 15, 39);
    QCOMPARE(dialog.windowFlags() & Qt::WindowType_Mask, Qt::Tool);
    QVERIFY(dialog.windowFlags().testFlag(Qt::FramelessWindowHint));
    QVERIFY(!dialog.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
}

void TestFuncBaseDialog::stayOnTopIsReadAtConstruction()
{
    stayOnTopFlag = true;
    FuncBaseDialog onTop(nullptr, 30, 43, 20, 44);
    stayOnTopFlag = false;
    FuncBaseDialog normal(nullptr, 30, 43, 20, 44);
    onTop.show();
    QVERIFY(onTop.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    QVERIFY(onTop.windowFlags().testFlag(Qt::FramelessWindowHint));
    QCOMPARE(onTop.windowFlags() & Qt::WindowType_Mask, Qt::Tool);
    QVERIFY(!normal.windowFlags().testFlag(Qt::WindowStaysOnTopHint));

    stayOnTopFlag = true;
    QVERIFY(!normal.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
}

void TestFuncBaseDialog::dragPoints_data()
{
    QTest::addColumn<QPoint>("pos");
    QTest::addColumn<bool>("drags");

    // Rectangle 30 < x < 43, 20 < y < 44.
    QTest::newRow("band top left") << QPoint(0, 0) << true;
    QTest::newRow("y 59") << QPoint(200, 59) << true;
    QTest::newRow("y 60") << QPoint(200, 60) << false;
    QTest::newRow("below band") << QPoint(200, 150) << false;
    QTest::newRow("inside rectangle") << QPoint(35, 30) << false;
    QTest::newRow("on left edge") << QPoint(30, 30) << true;
    QTest::newRow("on right edge") << QPoint(43, 30) << true;
    QTest::newRow("on top edge") << QPoint(35, 20) << true;
    QTest::newRow("on bottom edge") << QPoint(35, 44) << true;
    QTest::newRow("just inside corner") << QPoint(31, 21) << false;
}

void TestFuncBaseDialog::dragPoints()
{
    QFETCH(QPoint, pos);
    QFETCH(bool, drags);
    FuncBaseDialog dialog(nullptr, 30, 43, 20, 44);
    QCOMPARE(dialog.isDragPoint(pos), drags);
}

void TestFuncBaseDialog::dragByTopBand_data()
{
    QTest::addColumn<QPoint>("press");
    QTest::addColumn<bool>("moves");

    QTest::newRow("in the band") << QPoint(200, 30) << true;
    QTest::newRow("last row of the band") << QPoint(200, 59) << true;
    QTest::newRow("below the band") << QPoint(200, 60) << false;
    QTest::newRow("inside the excluded rectangle") << QPoint(35, 30) << false;
}

// Real input through the dialog's native window, as the window system delivers it.
void TestFuncBaseDialog::dragByTopBand()
{
    QFETCH(QPoint, press);
    QFETCH(bool, moves);

    FuncBaseDialog dialog(nullptr, 30, 43, 20, 44);
    dialog.resize(400, 300);
    dialog.move(100, 100);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QWindow *window = dialog.windowHandle();
    const QPoint start = dialog.pos();

    QTest::mousePress(window, Qt::LeftButton, Qt::NoModifier, press);
    QTest::mouseMove(window, press + QPoint(50, 20));
    if (moves) {
        QTRY_COMPARE(dialog.pos(), start + QPoint(50, 20));
        // The window followed the pointer, which is again over the point first pressed.
        QTest::mouseRelease(window, Qt::LeftButton, Qt::NoModifier, press);
        QCOMPARE(dialog.pos(), start + QPoint(50, 20));
        // A plain move after the release drags nothing.
        QTest::mouseMove(window, press + QPoint(10, 10));
        QCOMPARE(dialog.pos(), start + QPoint(50, 20));
    } else {
        QTest::mouseRelease(window, Qt::LeftButton, Qt::NoModifier, press + QPoint(50, 20));
        QCOMPARE(dialog.pos(), start);
    }
}

void TestFuncBaseDialog::excludedControlKeepsItsClicks()
{
    FuncBaseDialog dialog(nullptr, 385, 419, 15, 39);
    dialog.resize(420, 300);
    auto *close = new QPushButton(&dialog);
    close->setObjectName(QStringLiteral("btn_close"));
    close->setGeometry(390, 20, 20, 15);
    auto *inBand = new QPushButton(&dialog);
    inBand->setGeometry(100, 20, 20, 15);
    QObject::connect(close, &QPushButton::clicked, &dialog, &QDialog::reject);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QSignalSpy closeClicks(close, &QPushButton::clicked);
    QSignalSpy bandClicks(inBand, &QPushButton::clicked);

    // A control in the band outside the rectangle is part of the drag handle, as on the original
    // window system; the one inside the rectangle is clickable.
    QTest::mouseClick(dialog.windowHandle(), Qt::LeftButton, Qt::NoModifier, QPoint(110, 27));
    QCOMPARE(bandClicks.count(), 0);
    QTest::mouseClick(dialog.windowHandle(), Qt::LeftButton, Qt::NoModifier, QPoint(400, 27));
    QCOMPARE(closeClicks.count(), 1);
    QVERIFY(!dialog.isVisible());
}

QTEST_MAIN(TestFuncBaseDialog)
#include "tst_funcbasedialog.moc"
