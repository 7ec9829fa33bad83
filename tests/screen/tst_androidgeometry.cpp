// The Android window's layout arithmetic: the picture inside "showWindow" in the three window states,
// the side menu bar's place, the frame regions and the frame drag that keeps the screen's aspect.

#include "androidgeometry.h"
#include "orvwindow.h"

#include <QtTest>

class TestAndroidGeometry : public QObject
{
    Q_OBJECT

private slots:
    void layoutView_data();
    void layoutView();
    void menuBarPosition_data();
    void menuBarPosition();
    void regionAt_data();
    void regionAt();
    void resizedRect_data();
    void resizedRect();
};

void TestAndroidGeometry::layoutView_data()
{
    QTest::addColumn<QSize>("area");
    QTest::addColumn<QSize>("oriented");
    QTest::addColumn<bool>("maximized");
    QTest::addColumn<bool>("fullScreen");
    QTest::addColumn<QSize>("view");
    QTest::addColumn<QPoint>("offset");

    // Normal: the window already has the screen's aspect; the picture fills "showWindow".
    QTest::newRow("normal") << QSize(720, 1276) << QSize(720, 1280) << false << false << QSize(720, 1276)
                            << QPoint(0, 0);
    // Maximized, portrait: the full height, centred left of the menu bar's 40 pixels.
    QTest::newRow("maximized portrait") << QSize(1916, 1000) << QSize(720, 1280) << true << false
                                        << QSize(562, 1000) << QPoint((1876 - 562) / 2, 0);
    // Maximized, landscape on a screen narrower than 16:9: the width, centred vertically.
    QTest::newRow("maximized landscape narrow") << QSize(1276, 984) << QSize(1280, 720) << true << false
                                                << QSize(1236, 695) << QPoint(0, (984 - 695) / 2);
    // Full screen, landscape on 16:9: the whole width, no vertical room to spare.
    QTest::newRow("full landscape") << QSize(1916, 1080) << QSize(1280, 720) << false << true
                                    << QSize(1916, 1077) << QPoint(0, 1);
    // Full screen wins over maximized, and the menu bar's room is not kept.
    QTest::newRow("full while maximized portrait") << QSize(1916, 1080) << QSize(720, 1280) << true << true
                                                   << QSize(607, 1080) << QPoint((1916 - 607) / 2, 0);
}

void TestAndroidGeometry::layoutView()
{
    QFETCH(QSize, area);
    QFETCH(QSize, oriented);
    QFETCH(bool, maximized);
    QFETCH(bool, fullScreen);
    QFETCH(QSize, view);
    QFETCH(QPoint, offset);
    const AndroidGeometry::ViewLayout layout =
        AndroidGeometry::layoutView(area, oriented, maximized, fullScreen, 40);
    QCOMPARE(layout.viewSize, view);
    QCOMPARE(layout.offset, offset);
}

void TestAndroidGeometry::menuBarPosition_data()
{
    QTest::addColumn<QRect>("window");
    QTest::addColumn<bool>("maximized");
    QTest::addColumn<QPoint>("expected");
    // Outside the right edge, overlapping the last pixel column.
    QTest::newRow("normal") << QRect(318, 162, 724, 1316) << false << QPoint(318 + 724 - 1, 162);
    // Inside the window under the title bar (34 + 2).
    QTest::newRow("maximized") << QRect(0, 0, 1920, 1040) << true << QPoint(1920 - 40, 36);
    QTest::newRow("maximized, area off the origin")
        << QRect(64, 27, 1856, 1053) << true << QPoint(64 + 1856 - 40, 27 + 36);
}

void TestAndroidGeometry::menuBarPosition()
{
    QFETCH(QRect, window);
    QFETCH(bool, maximized);
    QFETCH(QPoint, expected);
    QCOMPARE(AndroidGeometry::menuBarPosition(window, maximized, 40, 34), expected);
}

void TestAndroidGeometry::regionAt_data()
{
    QTest::addColumn<QPoint>("point");
    QTest::addColumn<int>("region");
    // Window from (100, 100) to (499, 399) inclusive.
    QTest::newRow("top-left corner") << QPoint(100, 100) << int(ResizeTopLeft);
    QTest::newRow("top-left band end") << QPoint(102, 102) << int(ResizeTopLeft);
    QTest::newRow("bottom-right") << QPoint(499, 399) << int(ResizeBottomRight);
    QTest::newRow("bottom-left") << QPoint(101, 398) << int(ResizeBottomLeft);
    QTest::newRow("top-right") << QPoint(497, 100) << int(ResizeTopRight);
    QTest::newRow("left") << QPoint(100, 250) << int(ResizeLeft);
    QTest::newRow("right") << QPoint(499, 250) << int(ResizeRight);
    QTest::newRow("top") << QPoint(300, 102) << int(ResizeTop);
    QTest::newRow("bottom") << QPoint(300, 397) << int(ResizeBottom);
    QTest::newRow("inside, just past the band") << QPoint(103, 103) << int(ResizeNone);
    QTest::newRow("middle") << QPoint(300, 250) << int(ResizeNone);
}

void TestAndroidGeometry::regionAt()
{
    QFETCH(QPoint, point);
    QFETCH(int, region);
    QCOMPARE(int(AndroidGeometry::regionAt(QRect(QPoint(100, 100), QPoint(499, 399)), point)), region);
}

void TestAndroidGeometry::resizedRect_data()
{
    QTest::addColumn<int>("region");
    QTest::addColumn<QPoint>("pointer");
    QTest::addColumn<QRect>("expected");
    // A portrait 720 x 1280 guest in its frame: W(h) and H(w) of the window base.
    const QRect window(QPoint(100, 50), QSize(724, 1316));
    // Bottom edge dragged up by 316: h = 1000, width W(1000) = 546.
    QTest::newRow("bottom") << int(ResizeBottom) << QPoint(400, 1050)
                            << QRect(QPoint(100, 50), QSize(546, 1000));
    // Dragged above the top edge: stops at the minimum height 50, the width follows the aspect.
    QTest::newRow("bottom above top") << int(ResizeBottom) << QPoint(400, 10)
                                      << QRect(QPoint(100, 50), QSize(4 + int((50 - 36) * 0.5625), 50));
    // Right edge: w = 400, height H(400) = 396 / 0.5625 + 36.
    QTest::newRow("right") << int(ResizeRight) << QPoint(500, 600)
                           << QRect(QPoint(100, 50), QSize(400, int(396 / 0.5625) + 36));
    // Top edge moved down by 316: the bottom stays; the width is W(bottom - top) = W(999) = 545.
    QTest::newRow("top") << int(ResizeTop) << QPoint(400, 366) << QRect(QPoint(100, 366), QSize(545, 1000));
    // Left edge beyond the right edge: the edge stays; the height is H(right - left) = H(723) = 1314.
    QTest::newRow("left past right") << int(ResizeLeft) << QPoint(900, 600)
                                     << QRect(window.topLeft(), QSize(724, 1314));
}

void TestAndroidGeometry::resizedRect()
{
    QFETCH(int, region);
    QFETCH(QPoint, pointer);
    QFETCH(QRect, expected);
    OrvWindow frame;
    const double ratio = 720.0 / 1280.0;
    const auto widthFor = [&](int h) { return frame.widthForHeight(h, ratio, false); };
    const auto heightFor = [&](int w) { return frame.heightForWidth(w, ratio, false); };
    const QRect window(QPoint(100, 50), QSize(724, 1316));
    QCOMPARE(AndroidGeometry::resizedRect(ResizeRegion(region), window, pointer, QSize(50, 50), widthFor,
                                          heightFor),
             expected);
}

QTEST_MAIN(TestAndroidGeometry)
#include "tst_androidgeometry.moc"
