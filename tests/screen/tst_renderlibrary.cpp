// The render library binding against the stand-in libraries: which file is loaded, load failures
// (1301) naming what is missing, the helper's frame counter when the library cannot count, and the
// callbacks that the library's own thread makes reaching the window in the GUI thread.

#include "androidwindow.h"
#include "renderlibrary.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <functional>
#include <thread>

using StandInFiles = QMap<QString, QString>;

namespace {

const QString kPlayerDir = QStringLiteral(ORV_PLAYER_DIR);
const QString kSimDir = QStringLiteral(ORV_SIM_BIN_DIR);

// A source that is the file's text itself rather than a file to copy.
const QString kTextSource = QStringLiteral("text:");

// A folder with the given stand-in files copied in (file name -> source).
bool stage(const QString &dir, const QMap<QString, QString> &files)
{
    for (auto it = files.cbegin(); it != files.cend(); ++it) {
        const QString target = dir + QLatin1Char('/') + it.key();
        if (it.value().startsWith(kTextSource)) {
            QFile file(target);
            if (!file.open(QIODevice::WriteOnly) ||
                file.write(it.value().mid(kTextSource.size()).toUtf8()) < 0)
                return false;
            continue;
        }
        if (!QFile::copy(it.value(), target))
            return false;
    }
    return true;
}

} // namespace

class TestRenderLibrary : public QObject
{
    Q_OBJECT

private slots:
    void libraryChoice_data();
    void libraryChoice();
    void loadFailures_data();
    void loadFailures();
    void withoutOptionalEntriesTheHelperCountsFrames();
    void callbacksReachTheWindowInTheGuiThread();
};

void TestRenderLibrary::libraryChoice_data()
{
    QTest::addColumn<QString>("mode");
    QTest::addColumn<QString>("library");
    QTest::newRow("dx") << QStringLiteral("dx") << QStringLiteral("libAngleRender");
    QTest::newRow("gl") << QStringLiteral("gl") << QStringLiteral("libOpenglRender");
    QTest::newRow("empty") << QString() << QStringLiteral("libOpenglRender");
    QTest::newRow("other") << QStringLiteral("DX") << QStringLiteral("libOpenglRender");
}

void TestRenderLibrary::libraryChoice()
{
    QFETCH(QString, mode);
    QFETCH(QString, library);
    QCOMPARE(RenderLibrary::libraryNameFor(mode), library);
    // Found by full path in the program's folder; elsewhere the platform's search gets the bare name.
    QCOMPARE(RenderLibrary::libraryPathFor(library, kPlayerDir),
             kPlayerDir + QLatin1Char('/') + library + ".so");
    QTemporaryDir empty;
    QCOMPARE(RenderLibrary::libraryPathFor(library, empty.path()), library);
}

void TestRenderLibrary::loadFailures_data()
{
    QTest::addColumn<StandInFiles>("files");
    QTest::addColumn<QString>("error");
    const QString helper = kPlayerDir + QStringLiteral("/libDLLHelper.so");
    QTest::newRow("no render library")
        << StandInFiles{{QStringLiteral("libDLLHelper.so"), helper}} << QStringLiteral("Render load err : ");
    QTest::newRow("no helper library")
        << StandInFiles{{QStringLiteral("libOpenglRender.so"), kPlayerDir + "/libOpenglRender.so"}}
        << QStringLiteral("Helper load err : ");
    // A file of the right name that is no shared object: the load fails, and no other library of that
    // name is looked for elsewhere.
    QTest::newRow("render library not a shared object")
        << StandInFiles{{QStringLiteral("libOpenglRender.so"),
                         kTextSource + QStringLiteral("not a library\n")},
                        {QStringLiteral("libDLLHelper.so"), helper}}
        << QStringLiteral("Render load err : ");
    QTest::newRow("helper library not a shared object")
        << StandInFiles{{QStringLiteral("libOpenglRender.so"), kPlayerDir + "/libOpenglRender.so"},
                        {QStringLiteral("libDLLHelper.so"), kTextSource}}
        << QStringLiteral("Helper load err : ");
    QTest::newRow("mandatory entry point missing")
        << StandInFiles{{QStringLiteral("libOpenglRender.so"),
                         kSimDir + "/render-nomandatory/libOpenglRender.so"},
                        {QStringLiteral("libDLLHelper.so"), helper}}
        << QStringLiteral("Render load err : missing entry point AndroVM_setVMIP");
}

void TestRenderLibrary::loadFailures()
{
    QFETCH(StandInFiles, files);
    QFETCH(QString, error);
    QTemporaryDir dir;
    QVERIFY(stage(dir.path(), files));
    RenderLibrary binding;
    QCOMPARE(binding.load(QStringLiteral("gl"), dir.path()), 1301);
    QVERIFY2(binding.loadError().startsWith(error), qPrintable(binding.loadError()));
    QVERIFY(!binding.isLoaded());
    // A second attempt gives the first result.
    QCOMPARE(binding.load(QStringLiteral("gl"), dir.path()), 1301);
}

void TestRenderLibrary::withoutOptionalEntriesTheHelperCountsFrames()
{
    QTemporaryDir dir;
    QVERIFY(stage(dir.path(),
                  {{QStringLiteral("libOpenglRender.so"), kSimDir + "/render-noopt/libOpenglRender.so"},
                   {QStringLiteral("libDLLHelper.so"), kPlayerDir + "/libDLLHelper.so"}}));
    qputenv("ORV_RENDER_GETFPS", "42");
    RenderLibrary binding;
    QCOMPARE(binding.load(QStringLiteral("gl"), dir.path()), 1);
    QVERIFY(!binding.initLibrary);
    QVERIFY(!binding.setFpsCallback);
    QVERIFY(!binding.setViewport);
    QVERIFY(!binding.stopOpenGLRenderer);
    QVERIFY(binding.getFps);
    QCOMPARE(binding.takeFrameCount(), 42);
    qunsetenv("ORV_RENDER_GETFPS");
}

void TestRenderLibrary::callbacksReachTheWindowInTheGuiThread()
{
    QTemporaryDir screens;
    qputenv("ORV_SIM_SCREEN_DIR", screens.path().toLocal8Bit());
    qputenv("ORV_RENDER_ROTATIONS", "0:90,30:270");
    qputenv("ORV_RENDER_FPS", "200");
    RenderLibrary &render = RenderLibrary::instance();
    QCOMPARE(render.load(QStringLiteral("gl"), kPlayerDir), 1);

    AndroidWindow window;
    QList<int> rotations;
    QList<bool> inGuiThread;
    connect(&window, &AndroidWindow::rotation_changed, this, [&](int rotation) {
        rotations << rotation;
        inGuiThread << (QThread::currentThread() == qApp->thread());
    });
    render.initOpenGLRenderer(720, 1280, 0);
    render.setCallbackRotation(&RenderLibrary::rotationCallback);
    render.setFpsCallback(&RenderLibrary::frameCallback);
    QTRY_COMPARE_WITH_TIMEOUT(rotations, (QList<int>{90, 270}), 5000);
    QCOMPARE(inGuiThread, (QList<bool>{true, true}));

    // A report from any other thread is truncated toward zero and queued the same way.
    std::thread([] { RenderLibrary::rotationCallback(89.9f); }).join();
    QTRY_COMPARE_WITH_TIMEOUT(rotations.size(), 3, 5000);
    QCOMPARE(rotations.last(), 89);
    QCOMPARE(inGuiThread.last(), true);

    // The frame callback counts from the library's thread; the count is read and cleared here.
    int frames = 0;
    QTRY_VERIFY_WITH_TIMEOUT((frames += render.takeFrameCount()) >= 5, 5000);
    render.stopOpenGLRenderer();
    qunsetenv("ORV_RENDER_ROTATIONS");
    qunsetenv("ORV_RENDER_FPS");
}

QTEST_MAIN(TestRenderLibrary)
#include "tst_renderlibrary.moc"
