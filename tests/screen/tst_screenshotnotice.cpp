// The screenshot notices in this process: the layout chosen by the touch layer's width and placed
// across its top, the three seconds and the pointer that holds them, and the file addresses their
// buttons open for names with "#", blanks and non-ASCII letters (caught by a URL handler), with the
// usage events stored.

#include "androidtouchwidget.h"
#include "datareportengine.h"
#include "global.h"
#include "installtree.h"
#include "paths.h"
#include "screenshotnotice.h"
#include "sqlitetool.h"
#include "urlcatcher.h"

#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QThreadPool>
#include <QtTest>

#include <sys/stat.h>

class TestScreenshotNotice : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void layoutByWidth_data();
    void layoutByWidth();
    void timing();
    void openActions_data();
    void openActions();
    void openImageTakesOnlyAPictureOfTheShare_data();
    void openImageTakesOnlyAPictureOfTheShare();

private:
    InstallTree m_tree;
    UrlCatcher m_urls;
};

void TestScreenshotNotice::initTestCase()
{
    QVERIFY(m_tree.isValid());
    m_tree.declareHost(InstallTree::HostWithVirtualisation);
    const QProcessEnvironment env = m_tree.environment();
    for (const char *name : {"APPDATA", "LOCALAPPDATA", "XDG_CONFIG_HOME", "XDG_CONFIG_DIRS", "TMPDIR"})
        qputenv(name, env.value(QLatin1String(name)).toUtf8());
    Platform::initSettingsPaths();
    QCoreApplication::setOrganizationName(QStringLiteral("Halvora"));
    QCoreApplication::setApplicationName(QStringLiteral("Orvanta"));
    Global::vmName = QStringLiteral("Orvanta_3");
    // A folder whose own path has a "#" and a blank, as an installation folder may.
    Global::imagePath = m_tree.installDir() + QStringLiteral("/My #1 Apps/share/Orvanta_3/image");
    QVERIFY(QDir().mkpath(Global::imagePath));
    SQLiteTool::instance().connect();
    QVERIFY(SQLiteTool::instance().isOpen());
    DataReportEngine::init();
    QDesktopServices::setUrlHandler(QStringLiteral("file"), &m_urls, "open");
}

void TestScreenshotNotice::layoutByWidth_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<QString>("shown");
    QTest::newRow("wide") << 720 << "ScreenshotHandleWidget";
    QTest::newRow("451") << 451 << "ScreenshotHandleWidget";
    QTest::newRow("450") << 450 << "VerticalScreenshotHandleWidget";
    QTest::newRow("narrow") << 300 << "VerticalScreenshotHandleWidget";
}

void TestScreenshotNotice::layoutByWidth()
{
    QFETCH(int, width);
    QFETCH(QString, shown);
    QWidget window;
    window.resize(800, 900);
    AndroidTouchWidget touch(&window);
    touch.setGeometry(10, 40, width, 600);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    touch.onScreenCapNotify(QStringLiteral("Screenshot_1.png"));
    ScreenshotNotice *wide = touch.screenshotWidget();
    ScreenshotNotice *narrow = touch.verticalScreenshotWidget();
    ScreenshotNotice *visible = wide->isVisible() ? wide : narrow;
    QCOMPARE(visible->objectName(), shown);
    QVERIFY(!(wide->isVisible() && narrow->isVisible()));
    // Across the top of the layer.
    QCOMPARE(visible->geometry(), QRect(touch.mapToGlobal(QPoint(0, 0)), QSize(width, 80)));
    QCOMPARE(visible->text(), QStringLiteral("Screenshot_1.png"));
    // A name from the guest is shown as it is, never as markup.
    touch.onScreenCapNotify(QStringLiteral("<b>x</b>.png"));
    QCOMPARE(visible->nameLabel()->textFormat(), Qt::PlainText);
}

void TestScreenshotNotice::timing()
{
    QWidget window;
    window.resize(800, 300);
    ScreenshotHandleWidget notice(&window);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QElapsedTimer clock;
    clock.start();
    notice.show();
    QVERIFY(notice.isTimerRunning());
    QTest::qWait(1000);
    // Shown again within the time: three seconds from now.
    notice.show();
    notice.hide();
    notice.show();
    clock.restart();
    QTRY_VERIFY_WITH_TIMEOUT(!notice.isVisible(),
                             30000); // on a busy machine the timer may fire late, never early
    QVERIFY2(clock.elapsed() >= 2900, qPrintable(QString::number(clock.elapsed())));
    // The pointer over it holds it; leaving starts three seconds more.
    notice.show();
    QEvent enter(QEvent::Enter);
    QCoreApplication::sendEvent(&notice, &enter);
    QVERIFY(!notice.isTimerRunning());
    QTest::qWait(3300);
    QVERIFY(notice.isVisible());
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(&notice, &leave);
    QVERIFY(notice.isTimerRunning());
    QTRY_VERIFY_WITH_TIMEOUT(!notice.isVisible(), 30000);
}

void TestScreenshotNotice::openActions_data()
{
    QTest::addColumn<bool>("vertical");
    QTest::addColumn<QString>("name");
    QTest::newRow("plain") << false << "Screenshot_1.png";
    QTest::newRow("hash and question mark") << false << "shot #2?.png";
    QTest::newRow("blanks") << true << "my  shot 3.png";
    QTest::newRow("non-ASCII") << true << QString::fromUtf8("Bildschirmfoto_\xc3\xa4\xe5\xb1\x8f.png");
}

void TestScreenshotNotice::openActions()
{
    QFETCH(bool, vertical);
    QFETCH(QString, name);
    DataReportEngine::instance()->dao().clearTable();
    m_urls.urls.clear();
    QWidget window;
    window.resize(800, 300);
    std::unique_ptr<ScreenshotNotice> notice;
    if (vertical)
        notice = std::make_unique<VerticalScreenshotHandleWidget>(&window);
    else
        notice = std::make_unique<ScreenshotHandleWidget>(&window);
    window.show();
    {
        QFile picture(Global::imagePath + QLatin1Char('/') + name);
        QVERIFY(picture.open(QIODevice::WriteOnly));
        picture.write("png");
    }
    notice->setText(name);
    notice->show();
    notice->openImageButton()->click();
    QVERIFY(!notice->isVisible());
    notice->show();
    notice->openFolderButton()->click();
    QVERIFY(!notice->isVisible());
    QCOMPARE(m_urls.urls.size(), 2);
    const QUrl image = m_urls.urls.at(0);
    QVERIFY(image.isLocalFile());
    QCOMPARE(image.toLocalFile(), Global::imagePath + QLatin1Char('/') + name);
    QCOMPARE(image.fileName(), name);
    QCOMPARE(m_urls.urls.at(1).toLocalFile(), Global::imagePath);
    QThreadPool::globalInstance()->waitForDone();
    QList<int> keys;
    for (const DataReportRecord &record : DataReportEngine::instance()->dao().findAll())
        keys << int(record.types == DataReportDao::kTypeEvent ? record.event.eventkey()
                                                              : record.eventEx.eventkey());
    // Stored by pool tasks, in either order.
    std::sort(keys.begin(), keys.end());
    QCOMPARE(keys, (QList<int>{2301, 2302}));
}

void TestScreenshotNotice::openImageTakesOnlyAPictureOfTheShare_data()
{
    // The name comes from the guest's answer: "Open image" opens only an existing regular picture file
    // directly in the picture share.
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("make"); // what lies in the share under that name
    QTest::addColumn<bool>("opened");
    QTest::newRow("a picture") << "shot 7.png"
                               << "file" << true;
    QTest::newRow("a desktop entry") << "shot.desktop"
                                     << "file" << false;
    QTest::newRow("the share's parent") << ".."
                                        << "" << false;
    QTest::newRow("the share itself") << "."
                                      << "" << false;
    QTest::newRow("a picture that is not there") << "gone.png"
                                                 << "" << false;
    QTest::newRow("a link to a host picture") << "link.png"
                                              << "link" << false;
    QTest::newRow("a folder named as a picture") << "folder.png"
                                                 << "folder" << false;
    QTest::newRow("a pipe named as a picture") << "pipe.png"
                                               << "fifo" << false;
}

void TestScreenshotNotice::openImageTakesOnlyAPictureOfTheShare()
{
    QFETCH(QString, name);
    QFETCH(QString, make);
    QFETCH(bool, opened);
    const QString path = Global::imagePath + QLatin1Char('/') + name;
    const QString outside = m_tree.root() + QStringLiteral("/host-picture.png");
    {
        QFile picture(outside);
        QVERIFY(picture.open(QIODevice::WriteOnly));
        picture.write("png");
    }
    if (make == QLatin1String("file")) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("[Desktop Entry]\nExec=touch /tmp/pwned\n");
    } else if (make == QLatin1String("link")) {
        QVERIFY(QFile::link(outside, path));
    } else if (make == QLatin1String("folder")) {
        QVERIFY(QDir().mkpath(path));
    } else if (make == QLatin1String("fifo")) {
        QVERIFY(::mkfifo(QFile::encodeName(path).constData(), 0600) == 0);
    }
    m_urls.urls.clear();
    QWidget window;
    window.resize(800, 300);
    ScreenshotHandleWidget notice(&window);
    window.show();
    notice.setText(name);
    notice.show();
    notice.openImageButton()->click();
    QVERIFY(!notice.isVisible());
    if (opened) {
        QCOMPARE(m_urls.urls.size(), 1);
        QCOMPARE(m_urls.urls.at(0).toLocalFile(), path);
    } else {
        QCOMPARE(m_urls.urls.size(), 0);
    }
    QThreadPool::globalInstance()->waitForDone();
}

QTEST_MAIN(TestScreenshotNotice)
#include "tst_screenshotnotice.moc"
