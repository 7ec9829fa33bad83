// The Android window's sizes as the X server shows them, on two screen sizes (each its own virtual X
// server): portrait, landscape after a rotation, maximized, full screen and back, with the remembered
// heights 1316 and 760 of a 720 x 1280 guest.

#include <QProcess>
#include <QStandardPaths>
#include <QtTest>

class TestAndroidWindowSizes : public QObject
{
    Q_OBJECT

private slots:
    void sizes_data();
    void sizes();
};

void TestAndroidWindowSizes::sizes_data()
{
    QTest::addColumn<QString>("screen");
    QTest::addColumn<QString>("workArea");
    QTest::addColumn<QStringList>("expected");
    // Frame: title bar 34 + bottom 2 in the arithmetic, side borders 2; the form's title bar is 36 high
    // and its margins 2, so "showWindow" is (w - 4) x (h - 40).
    // Two thousand reports turning to and fro, then 270: the remembered heights stay as they were.
    const QString kAfterStorm =
        QStringLiteral("after-storm 10 20 1291 760 view 1287 720 at 0 0 menu 1300 20");
    const QStringList normal{
        // (1316 - 36) x 0.5625 = 720, + 4
        QStringLiteral("portrait 10 20 724 1316 view 720 1276 at 0 0 menu 733 20"),
        // (760 - 36) / 0.5625 = 1287.1 -> 1287, + 4; the 1316 stays remembered
        QStringLiteral("landscape 10 20 1291 760 view 1287 720 at 0 0 menu 1300 20"),
    };
    QTest::newRow("1920x1080")
        << QStringLiteral("1920x1080") << QString()
        << (QStringList(normal)
            // The available area; the picture fits left of the menu bar's 40 pixels: 1876 x 1040.
            << QStringLiteral("maximized-landscape 0 0 1920 1080 view 1848 1040 at 14 0 menu 1880 36")
            << QStringLiteral("normal-landscape 10 20 1291 760 view 1287 720 at 0 0 menu 1300 20")
            << QStringLiteral("portrait-again 10 20 724 1316 view 720 1276 at 0 0 menu 733 20")
            << QStringLiteral("maximized-portrait 0 0 1920 1080 view 585 1040 at 645 0 menu 1880 36")
            // x 0, y -40, the screen's width, its height + 40; the menu bar is hidden.
            << QStringLiteral("full-portrait 0 -40 1920 1120 view 607 1080 at 654 0 menu 733 20")
            << QStringLiteral("normal-portrait 10 20 724 1316 view 720 1276 at 0 0 menu 733 20")
            << kAfterStorm << QStringLiteral("storm-reports-taken 1"));
    // Narrower than 16:9: a landscape picture fills the width and is centred vertically.
    QTest::newRow("1280x1024")
        << QStringLiteral("1280x1024") << QString()
        << (QStringList(normal)
            << QStringLiteral("maximized-landscape 0 0 1280 1024 view 1236 695 at 0 144 menu 1240 36")
            << QStringLiteral("normal-landscape 10 20 1291 760 view 1287 720 at 0 0 menu 1300 20")
            << QStringLiteral("portrait-again 10 20 724 1316 view 720 1276 at 0 0 menu 733 20")
            << QStringLiteral("maximized-portrait 0 0 1280 1024 view 553 984 at 341 0 menu 1240 36")
            << QStringLiteral("full-portrait 0 -40 1280 1064 view 576 1024 at 350 0 menu 733 20")
            << QStringLiteral("normal-portrait 10 20 724 1316 view 720 1276 at 0 0 menu 733 20")
            << kAfterStorm << QStringLiteral("storm-reports-taken 1"));
    // Panels on the left and at the top: maximized fills the free area where it lies, not from (0, 0);
    // the menu bar stays under the window's title bar inside its right edge.
    QTest::newRow("1920x1080, panels left and top")
        << QStringLiteral("1920x1080") << QStringLiteral("64 27 1856 1053")
        << (QStringList(normal)
            // "showWindow" 1852 x 1013, 1812 wide left of the menu bar
            << QStringLiteral("maximized-landscape 64 27 1856 1053 view 1800 1013 at 6 0 menu 1880 63")
            << QStringLiteral("normal-landscape 10 20 1291 760 view 1287 720 at 0 0 menu 1300 20")
            << QStringLiteral("portrait-again 10 20 724 1316 view 720 1276 at 0 0 menu 733 20")
            << QStringLiteral("maximized-portrait 64 27 1856 1053 view 569 1013 at 621 0 menu 1880 63")
            << QStringLiteral("full-portrait 0 -40 1920 1120 view 607 1080 at 654 0 menu 733 20")
            << QStringLiteral("normal-portrait 10 20 724 1316 view 720 1276 at 0 0 menu 733 20")
            << kAfterStorm << QStringLiteral("storm-reports-taken 1"));
}

void TestAndroidWindowSizes::sizes()
{
    QFETCH(QString, screen);
    QFETCH(QString, workArea);
    QFETCH(QStringList, expected);
    if (QStandardPaths::findExecutable(QStringLiteral("xvfb-run")).isEmpty())
        QSKIP("needs xvfb-run");
    QTemporaryDir home;
    QProcess fixture;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("APPDATA"), home.path());
    env.insert(QStringLiteral("ORV_RENDER_ROTATIONS"), QStringLiteral("none"));
    env.insert(QStringLiteral("ORV_SIM_SCREEN_DIR"), home.path() + QStringLiteral("/screens"));
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    if (!workArea.isEmpty())
        env.insert(QStringLiteral("ORV_FIXTURE_WORKAREA"), workArea);
    fixture.setProcessEnvironment(env);
    fixture.start(QStringLiteral("xvfb-run"),
                  {QStringLiteral("-a"), QStringLiteral("-s"), QStringLiteral("-screen 0 %1x24").arg(screen),
                   QStringLiteral(ANDROIDWINDOW_FIXTURE)});
    QVERIFY(fixture.waitForFinished(60000));
    QCOMPARE(fixture.exitCode(), 0);
    const QStringList lines =
        QString::fromUtf8(fixture.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(lines, expected);
}

QTEST_GUILESS_MAIN(TestAndroidWindowSizes)
#include "tst_androidwindowsizes.moc"
