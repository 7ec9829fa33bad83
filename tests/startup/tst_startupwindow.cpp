#include "commandline.h"
#include "loadingcontrol.h"
#include "loadingwindow.h"
#include "progressbar.h"
#include "updater.h"

#include <QDataStream>
#include <QSignalSpy>
#include <QtTest>

Q_DECLARE_METATYPE(SavedWindowSettings)

namespace {

QByteArray pointBytes(const QPoint &point)
{
    QByteArray bytes;
    QDataStream stream(&bytes, QIODevice::WriteOnly);
    stream << point;
    return bytes;
}

// Lets the bar's shown value creep until it stops moving (or `limit` ticks passed).
int tickUntilSteady(ProgressBar &bar, int limit = 100000)
{
    int ticks = 0;
    double before = -1;
    while (ticks < limit && bar.current() != before && !bar.isDone()) {
        before = bar.current();
        bar.stepTick();
        ++ticks;
    }
    return ticks;
}

// Counts the paint events a widget receives.
class PaintCounter : public QObject
{
public:
    int paints = 0;
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            ++paints;
        return false;
    }
};

} // namespace

class TestStartupWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void barCreepsTowardTheAnnouncedStep();
    void barReachesHundredOnce();
    void barRepaintsOnlyWhenItsValueChanges();
    void barTargetClimbsOnePercentASecond();
    void barText_data();
    void barText();
    void geometry_data();
    void geometry();
    void windowCreatesOneBarAndRelaysHundred();
    void picturesCycle();
    void windowPaintsEveryPixelOfThePicture();
    void titleButtonsAskForDialogs();
    void windowRequestsTakeTheNonBlockingPath();
    void updaterDecision_data();
    void updaterDecision();
};

void TestStartupWindow::initTestCase()
{
    qRegisterMetaType<DialogType>("DialogType");
}

void TestStartupWindow::barCreepsTowardTheAnnouncedStep()
{
    ProgressBar bar;
    bar.setBarSize(400, 43);
    // Bring the shown value to 20 first.
    bar.setProgress(20, 20);
    tickUntilSteady(bar);
    QVERIFY(bar.current() >= 20.0 && bar.current() < 20.06);

    bar.setProgress(35, 35);
    const double start = bar.current();
    bar.stepTick();
    QCOMPARE(bar.current(), start + 0.05);
    tickUntilSteady(bar);
    QVERIFY2(bar.current() >= 35.0 && bar.current() < 35.06, qPrintable(QString::number(bar.current())));
    QVERIFY(!bar.isDone());

    // A later, lower report never moves the shown value back.
    bar.setProgress(10, 12);
    const double steady = bar.current();
    for (int i = 0; i < 100; ++i)
        bar.stepTick();
    QCOMPARE(bar.current(), steady);
}

void TestStartupWindow::barReachesHundredOnce()
{
    ProgressBar bar;
    QSignalSpy hundred(&bar, &ProgressBar::process_100);
    bar.setProgress(100, 100);
    tickUntilSteady(bar);
    QVERIFY(bar.isDone());
    QCOMPARE(hundred.count(), 1);
    for (int i = 0; i < 10; ++i)
        bar.stepTick();
    QCOMPARE(hundred.count(), 1);
    QCOMPARE(bar.percentText(), QStringLiteral("100%"));
}

void TestStartupWindow::barRepaintsOnlyWhenItsValueChanges()
{
    ProgressBar bar;
    bar.setBarSize(400, 43);
    bar.setProgress(20, 20);
    tickUntilSteady(bar);
    bar.show();
    QVERIFY(QTest::qWaitForWindowExposed(&bar));
    QCoreApplication::processEvents();
    PaintCounter counter;
    bar.installEventFilter(&counter);

    // Waiting for the next step: the tick keeps running, the picture does not change.
    for (int i = 0; i < 50; ++i) {
        bar.stepTick();
        QCoreApplication::processEvents();
    }
    QCOMPARE(counter.paints, 0);

    // Moving: repainted as it goes.
    bar.setProgress(40, 40);
    for (int i = 0; i < 50; ++i) {
        bar.stepTick();
        QCoreApplication::processEvents();
    }
    QVERIFY2(counter.paints >= 10, qPrintable(QString::number(counter.paints)));

    // The bar's own timers take it on to the new target (the tick rests while there is nothing to do).
    QTRY_VERIFY_WITH_TIMEOUT(bar.current() >= 40.0, 10000);
    bar.setProgress(45, 45);
    QTRY_VERIFY_WITH_TIMEOUT(bar.current() >= 45.0, 10000);
}

void TestStartupWindow::barTargetClimbsOnePercentASecond()
{
    ProgressBar bar;
    bar.setProgress(27, 34);
    QList<double> targets;
    for (int i = 0; i < 9; ++i) {
        bar.secondTick();
        targets << bar.target();
    }
    QCOMPARE(targets, (QList<double>{28, 29, 30, 31, 32, 33, 34, 34, 34}));
    // The shown value follows the target, not the step's end.
    tickUntilSteady(bar);
    QVERIFY(bar.current() >= 34.0 && bar.current() < 34.06);
}

void TestStartupWindow::barText_data()
{
    QTest::addColumn<int>("target");
    QTest::addColumn<int>("ticks");
    QTest::addColumn<QString>("text");
    QTest::newRow("fresh bar") << 0 << 0 << "1%";
    // 1.0 + 679 * 0.05 = 34.95, shown as 35.
    QTest::newRow("34.95 shows 35") << 40 << 679 << "35%";
    QTest::newRow("halfway rounds up") << 40 << 10 << "2%";
}

void TestStartupWindow::barText()
{
    QFETCH(int, target);
    QFETCH(int, ticks);
    QFETCH(QString, text);
    ProgressBar bar;
    bar.setProgress(target, target);
    for (int i = 0; i < ticks; ++i)
        bar.stepTick();
    QCOMPARE(bar.percentText(), text);
}

void TestStartupWindow::geometry_data()
{
    QTest::addColumn<SavedWindowSettings>("saved");
    QTest::addColumn<QSize>("available");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QPoint>("position");
    QTest::addColumn<int>("portrait");

    SavedWindowSettings defaults;
    QTest::newRow("defaults on 1920x1040")
        << defaults << QSize(1920, 1040) << QSize(1284, 756) << QPoint(318, 142) << 756;
    QTest::newRow("small screen caps the height")
        << defaults << QSize(1366, 728) << QSize(1156, 684) << QPoint(105, 22) << 684;

    SavedWindowSettings wide = defaults;
    wide.width = 1440;
    QTest::newRow("width above height falls back")
        << wide << QSize(1920, 1040) << QSize(1284, 756) << QPoint(318, 142) << 756;
    SavedWindowSettings narrow = defaults;
    narrow.width = 49;
    QTest::newRow("width 49 falls back")
        << narrow << QSize(1920, 1040) << QSize(1284, 756) << QPoint(318, 142) << 756;
    SavedWindowSettings tall = defaults;
    tall.height = 2561;
    QTest::newRow("height 2561 falls back")
        << tall << QSize(1920, 1040) << QSize(1284, 756) << QPoint(318, 142) << 756;

    SavedWindowSettings zeroPos = defaults;
    zeroPos.pos = pointBytes(QPoint(0, 0));
    QTest::newRow("saved (0,0) counts as none")
        << zeroPos << QSize(1920, 1040) << QSize(1284, 756) << QPoint(318, 142) << 756;
    SavedWindowSettings placed = defaults;
    placed.pos = pointBytes(QPoint(40, 50));
    placed.horizontalHeight = 500;
    placed.verticalHeight = 900;
    // 500 - 36 = 464 content rows; 464 / 0.5625 = 824.88 -> 824 + 4.
    QTest::newRow("saved position and heights")
        << placed << QSize(1920, 1040) << QSize(828, 500) << QPoint(40, 50) << 900;
}

void TestStartupWindow::geometry()
{
    QFETCH(SavedWindowSettings, saved);
    QFETCH(QSize, available);
    QFETCH(QSize, size);
    QFETCH(QPoint, position);
    QFETCH(int, portrait);
    OrvWindow frame;
    const StartupGeometry g = LoadingWindow::computeGeometry(frame, saved, available);
    QCOMPARE(g.windowSize, size);
    QCOMPARE(g.position, position);
    QCOMPARE(g.landscapeHeight, size.height());
    QCOMPARE(g.portraitHeight, portrait);
}

void TestStartupWindow::windowCreatesOneBarAndRelaysHundred()
{
    LoadingWindow window;
    window.resize(1284, 756);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    ProgressBar *bar = window.findChild<ProgressBar *>(QStringLiteral("progressBar"));
    QVERIFY(bar);
    QCOMPARE(window.barTop(), 655);
    QCOMPARE(bar->geometry(), QRect(2, 617, 1280, 43));

    window.resize(1000, 600);
    QTRY_COMPARE(window.barTop(), 520);
    QCOMPARE(window.findChildren<ProgressBar *>().size(), 1);
    QCOMPARE(bar->geometry(), QRect(2, 482, 996, 43));

    QSignalSpy hundred(&window, &LoadingWindow::process_100);
    emit window.scheduleChanged(100, 100);
    QCOMPARE(bar->target(), 100.0);
    QVERIFY(hundred.wait(20000));
    QTest::qWait(50);
    QCOMPARE(hundred.count(), 1);
}

void TestStartupWindow::picturesCycle()
{
    LoadingWindow window;
    QList<int> order{window.pictureIndex()};
    for (int i = 0; i < 9; ++i) {
        window.changePicture();
        order << window.pictureIndex();
    }
    QCOMPARE(order, (QList<int>{1, 2, 3, 4, 5, 2, 3, 4, 5, 2}));
}

void TestStartupWindow::windowPaintsEveryPixelOfThePicture()
{
    // The window tells Qt that it paints all of itself, so nothing is filled for it: a pixel that its
    // paint leaves out would show whatever was there before. A grab starts from transparent pixels
    // for such a window and shows any pixel left out.
    LoadingWindow window;
    window.resize(1284, 756);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    window.changePicture();
    const QImage shown = window.grab().toImage().convertToFormat(QImage::Format_ARGB32);
    const QImage picture = QImage(QStringLiteral(":/images/init_bg_%1.png").arg(window.pictureIndex()))
                               .convertToFormat(QImage::Format_ARGB32);
    QCOMPARE(shown.size(), window.size());
    int checked = 0;
    for (int sy = 0; sy < picture.height(); sy += 7) {
        for (int sx = 0; sx < picture.width(); sx += 7) {
            // The middle of the window's block of picture pixel (sx, sy), inside the 2-pixel border.
            const int x = static_cast<int>((sx + 0.5) * shown.width() / picture.width());
            const int y = static_cast<int>((sy + 0.5) * shown.height() / picture.height());
            if (x < 3 || y < 3 || x >= shown.width() - 3 || y >= shown.height() - 3)
                continue;
            const QColor want = picture.pixelColor(sx, sy);
            QColor got = shown.pixelColor(x, y);
            QCOMPARE(got.alpha(), 255);
            QColor expected = want;
            if (y >= window.barTop()) {
                // The dark band: black at alpha 175 over the picture.
                const auto dark = [](int c) { return c * (255 - 175) / 255; };
                expected = QColor(dark(want.red()), dark(want.green()), dark(want.blue()));
            }
            if (window.findChild<ProgressBar *>()->geometry().contains(x, y))
                continue; // the bar's own drawing
            QVERIFY2(qAbs(got.red() - expected.red()) <= 2 && qAbs(got.green() - expected.green()) <= 2 &&
                         qAbs(got.blue() - expected.blue()) <= 2,
                     qPrintable(QStringLiteral("(%1, %2): %3 instead of %4")
                                    .arg(x)
                                    .arg(y)
                                    .arg(got.name(), expected.name())));
            ++checked;
        }
    }
    QVERIFY(checked > 500);
}

void TestStartupWindow::titleButtonsAskForDialogs()
{
    CommandLine::title.clear();
    LoadingWindow window;
    QCOMPARE(window.windowTitle(), QStringLiteral("Orvanta"));
    QCOMPARE(window.objectName(), QStringLiteral("LoadingWindow"));
    QVERIFY(window.findChild<QWidget *>(QStringLiteral("titlebar")));

    QSignalSpy free(&window, &LoadingWindow::showDialogFree);
    window.at_title_setting_click();
    window.at_title_systemInfo_click();
    QCOMPARE(free.count(), 2);
    QCOMPARE(free.at(0).at(0).toString(), QStringLiteral("starting"));
    QCOMPARE(free.at(0).at(1).value<DialogType>(), DialogType::Message);
    QCOMPARE(free.at(0).at(2).value<QWidget *>(), nullptr);
    QCOMPARE(free.at(0).at(3).toString(), QStringLiteral("0"));
    QCOMPARE(free.at(1).at(0).toString(), QString());
    QCOMPARE(free.at(1).at(1).value<DialogType>(), DialogType::SystemInfo);
}

void TestStartupWindow::windowRequestsTakeTheNonBlockingPath()
{
    // The controller joins the worker's showDialog to the dispatcher with a blocking queued connection;
    // a request of the window (GUI thread) relayed into it would wait for the GUI thread itself.
    LoadingControl control;
    QSignalSpy blocking(&control, &LoadingControl::showDialog);
    QSignalSpy free(&control, &LoadingControl::showDialogFree);
    LoadingWindow *window = control.loadingWindow();
    emit window->showDialog(QStringLiteral("starting"), DialogType::Message, nullptr, QStringLiteral("0"));
    window->at_title_systemInfo_click();
    QCOMPARE(blocking.count(), 0);
    QCOMPARE(free.count(), 2);
    QCOMPARE(free.at(0).at(0).toString(), QStringLiteral("starting"));
    QCOMPARE(free.at(1).at(1).value<DialogType>(), DialogType::SystemInfo);
}

void TestStartupWindow::updaterDecision_data()
{
    using D = Updater::StartCheckDecision;
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("version");
    QTest::addColumn<int>("prompt");
    QTest::addColumn<bool>("reinstall");
    QTest::addColumn<bool>("goOn");
    QTest::newRow("no answer") << -1 << "1.4.2" << int(D::NoPrompt) << false << true;
    QTest::newRow("nothing to do") << 0 << "1.4.2" << int(D::NoPrompt) << false << true;
    QTest::newRow("bit 2 wins over 4") << 6 << "1.5.0" << int(D::UpdatePrompt) << false << true;
    QTest::newRow("clear data") << 4 << "1.4.2" << int(D::UpdatePromptClearData) << false << true;
    QTest::newRow("files missing ends, no reinstall")
        << 72 << "1.4.2" << int(D::FileMissing) << false << false;
    QTest::newRow("prompt then reinstall") << 66 << "1.4.2" << int(D::UpdatePrompt) << true << true;
    QTest::newRow("old version ignores prompts") << 8 << "1.3" << int(D::NoPrompt) << false << true;
    QTest::newRow("old version still reinstalls") << 64 << "1.3" << int(D::NoPrompt) << true << true;
}

void TestStartupWindow::updaterDecision()
{
    QFETCH(int, code);
    QFETCH(QString, version);
    QFETCH(int, prompt);
    QFETCH(bool, reinstall);
    QFETCH(bool, goOn);
    const Updater::StartCheckDecision decision = Updater::decideStartCheck(code, version);
    QCOMPARE(int(decision.prompt), prompt);
    QCOMPARE(decision.reinstallVBox, reinstall);
    QCOMPARE(decision.goOn, goOn);
}

QTEST_MAIN(TestStartupWindow)
#include "tst_startupwindow.moc"
