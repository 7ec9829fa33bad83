// Key-map playback on a touch layer of this process, shown on the test run's X server and connected to
// the simulated guest: real X key presses on the window become the lines the guest receives, for each
// kind of mapped key, at the key map's points scaled to the layer; the proportion check's limits and
// what a refused map leaves behind; no finger stays down when the key map is switched off in the middle
// of a press or the package changes.

#include "androidtouchwidget.h"
#include "firebutton.h"
#include "global.h"
#include "installtree.h"
#include "keybutton.h"
#include "keymapfile.h"
#include "keymapoverlay.h"
#include "keymapplayer.h"
#include "keymapwiring.h"
#include "padbutton.h"
#include "programrun.h"
#include "slidebutton.h"
#include "testports.h"
#include "vinputconnection.h"
#include "xtestinput.h"

#include <QCursor>
#include <QLineEdit>
#include <QProcess>
#include <QSettings>
#include <QTcpServer>
#include <QtTest>

#include <algorithm>
#include <memory>

namespace {

const QString kVm = QStringLiteral("Orvanta_0");
const QString kGame = QStringLiteral("com.example.game");

// A port of this test's own block (testports.h): no other test on the machine takes it meanwhile.
quint16 freePort()
{
    return TestPorts::freePort();
}

// The map as the editor saved it on a 540 x 960 screen; the layer here is 360 x 640 (scale 2/3) and
// shows a 720 x 1280 guest (device point = layer point x 2).
KeyMap savedMap()
{
    KeyMap map;
    map.insert("A", {KeyMapKey, {270, 480}});               // layer (180, 320), device (360, 640)
    map.insert("POSCENTER", {KeyMapPosCenter, {150, 750}}); // layer (100, 500)
    map.insert("W", {KeyMapPosUp, {150, 704}});             // layer (100, 469)
    map.insert("D", {KeyMapPosRight, {196, 750}});          // layer (130, 500)
    map.insert("J", {KeyMapSenLeft, {0, 0}});
    map.insert("L", {KeyMapSenRight, {0, 0}});
    map.insert("U", {KeyMapSenUp, {0, 0}});
    map.insert("SENCENTER", {KeyMapSenCenter, {400, 100}});
    map.insert("K", {KeyMapSlideUp, {450, 600}}); // layer (300, 400)
    map.insert("FIRE", {KeyMapFire, {480, 150}}); // layer (320, 100), device (640, 200)
    map.insert("AIM", {KeyMapAim, {60, 150}});    // layer (40, 100), device (80, 200)
    return map;
}

QString down(int x, int y)
{
    return QStringLiteral("MSBPR:%1:%2").arg(x).arg(y);
}

QString move(int x, int y)
{
    return QStringLiteral("MULTI:1:2:%1:%2").arg(x).arg(y);
}

// The lines of the last finger going up at (x, y).
QStringList lift(int x, int y)
{
    return {"MULTI:0:2", "MULTI:0:2", "MULTI:0:2", QStringLiteral("MSBRL:%1:%2").arg(x).arg(y)};
}

} // namespace

class TestKeyMapPlayback : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void keysBecomeTouches_data();
    void keysBecomeTouches();
    void mouseAimAndFire();
    void switchOffInTheMiddleOfAPress();
    void packageChangeLiftsFingers();
    void proportionLimits_data();
    void proportionLimits();
    void refusedMapClearsTheOverlay();
    void mapsBeyondTheCapAreRefused_data();
    void mapsBeyondTheCapAreRefused();

private:
    QStringList guestLines() const;
    QStringList linesAfter(int before, int count);
    void writeMap(const QString &package, const KeyMap &map, const QRect &rect, bool switchedOn);
    bool step(const QString &command);

    std::unique_ptr<InstallTree> m_tree;
    std::unique_ptr<XTestInput> m_x;
    std::unique_ptr<AndroidTouchWidget> m_touch;
    KeyMapOverlay *m_overlay = nullptr;
    QProcess m_guest;
};

void TestKeyMapPlayback::initTestCase()
{
    if (qEnvironmentVariableIsEmpty("DISPLAY"))
        QSKIP("needs an X display: the keys are real X input on the window");
    m_x = std::make_unique<XTestInput>();
    if (!m_x->isValid())
        QSKIP("the X server has no XTest extension");
    if (m_x->capsLockOn())
        m_x->tap(QStringLiteral("Caps_Lock"));
    m_tree = std::make_unique<InstallTree>();
    QVERIFY(m_tree->isValid());
    m_tree->declareHost(InstallTree::HostWithVirtualisation);
    // This process is the emulator here: its key maps and settings live in the tree.
    qputenv("APPDATA", m_tree->appDataDir().toUtf8());
    qputenv("XDG_CONFIG_HOME", m_tree->userConfigDir().toUtf8());
    Global::vmName = kVm;

    const quint16 port = freePort();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("ORV_SIM_SCREEN_DIR"), m_tree->root() + QStringLiteral("/screens"));
    env.insert(QStringLiteral("ORV_GUEST_BOOT_MS"), QStringLiteral("0"));
    m_guest.setProcessEnvironment(env);
    m_guest.start(
        QStringLiteral(ORV_SIM_BIN_DIR "/orv-guest"),
        {"--vinput-port", QString::number(port), "--dir", m_tree->root() + "/guest", "--die-with-parent"});
    QVERIFY(m_guest.waitForStarted(5000));
    QTRY_VERIFY(QFile::exists(m_tree->root() + QStringLiteral("/guest/guest.pid")));
    Global::vinputPort = QString::number(port);
    VInputConnection::instance().init();
    QTRY_VERIFY_WITH_TIMEOUT(VInputConnection::instance().isConnected(), 5000);

    m_touch = std::make_unique<AndroidTouchWidget>();
    m_touch->setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
    m_touch->setGeometry(100, 100, 360, 640);
    m_touch->setScale(0.5);
    m_overlay = wireKeyMapOverlay(m_touch.get());
    m_touch->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_touch.get()));
    QCOMPARE(m_touch->size(), QSize(360, 640));
}

void TestKeyMapPlayback::cleanupTestCase()
{
    m_touch.reset();
    m_guest.terminate();
    if (!m_guest.waitForFinished(5000))
        m_guest.kill();
}

void TestKeyMapPlayback::init()
{
    if (!m_touch)
        return;
    Global::keyMapEnabledMap.clear();
    Global::keyMapOpacityMap.clear();
    m_touch->resize(360, 640);
    writeMap(kGame, savedMap(), QRect(0, 0, 540, 960), true);
    m_touch->on_pavix_package_changed(kGame);
    QVERIFY(Global::isKeyMapEnabled());
    // The map is in force at once; its buttons follow on the next turn of the event loop.
    QTRY_VERIFY(!m_overlay->isEmpty());
    m_x->focus(m_touch->winId());
    QTRY_VERIFY(m_touch->inputEdit()->hasFocus());
}

QStringList TestKeyMapPlayback::guestLines() const
{
    QFile file(m_tree->root() + QStringLiteral("/guest/input.log"));
    QStringList lines;
    if (file.open(QIODevice::ReadOnly)) {
        for (const QByteArray &line : file.readAll().split('\n'))
            if (line.indexOf(' ') > 0 && !line.contains(" # "))
                lines << QString::fromUtf8(line.mid(line.indexOf(' ') + 1));
    }
    return lines;
}

QStringList TestKeyMapPlayback::linesAfter(int before, int count)
{
    waitUntil([&] { return guestLines().size() >= before + count; }, 5000);
    QTest::qWait(300);
    const QStringList lines = guestLines().mid(before);
    if (lines.size() < count)
        qWarning().noquote() << "guest lines:" << lines.join(QLatin1String(" | "));
    return lines;
}

void TestKeyMapPlayback::writeMap(const QString &package, const KeyMap &map, const QRect &rect,
                                  bool switchedOn)
{
    QVERIFY(KeyMapFile::write(KeyMapFile::filePath(kVm, package), map, rect, 0));
    QSettings settings(KeyMapFile::settingsPath(kVm), QSettings::IniFormat);
    settings.setValue(package + "/KeyboardKeyIsEnable", switchedOn);
    settings.setValue(package + "/Opacity", 70);
}

bool TestKeyMapPlayback::step(const QString &command)
{
    const QStringList f = command.split(QLatin1Char(' '));
    if (f.value(0) == QLatin1String("press"))
        return m_x->key(f.value(1), true);
    if (f.value(0) == QLatin1String("release"))
        return m_x->key(f.value(1), false);
    if (f.value(0) == QLatin1String("tap"))
        return m_x->tap(f.value(1));
    return false;
}

void TestKeyMapPlayback::keysBecomeTouches_data()
{
    QTest::addColumn<QStringList>("script");
    QTest::addColumn<QStringList>("lines");
    QTest::newRow("key: a finger while held")
        << QStringList{"press a", "release a"} << (QStringList{down(360, 640)} + lift(360, 640));
    QTest::newRow("direction pad: centre, then the key's point")
        << QStringList{"press w", "release w"}
        << (QStringList{down(200, 1000), move(200, 938)} + lift(200, 938));
    QTest::newRow("direction pad: two keys give the midpoint")
        << QStringList{"press w", "press d", "release w", "release d"}
        << (QStringList{down(200, 1000), move(200, 938), move(230, 970), move(260, 1000)} + lift(260, 1000));
    QTest::newRow("tilt left and right, level on release")
        << QStringList{"press j", "release j", "press l", "release l"}
        << QStringList{"SENSOR:0:7", "SENSOR:0:0", "SENSOR:0:-7", "SENSOR:0:0"};
    QTest::newRow("slide: four steps of 50 layer pixels on the press")
        << QStringList{"press k", "release k"}
        << (QStringList{down(600, 800), move(600, 700), move(600, 600), move(600, 500), move(600, 400)} +
            lift(600, 400));
    // The sensor pad's up key is shown and taken, but sends nothing; the next key shows it was taken.
    QTest::newRow("sensor up key sends nothing")
        << QStringList{"tap u", "tap a"} << (QStringList{down(360, 640)} + lift(360, 640));
    QTest::newRow("unmapped key goes to the guest as a key")
        << QStringList{"tap b"} << QStringList{"KBDPR:48:1", "KBDRL:48:0"};
}

void TestKeyMapPlayback::keysBecomeTouches()
{
    QFETCH(QStringList, script);
    QFETCH(QStringList, lines);
    const int before = guestLines().size();
    for (const QString &command : script)
        QVERIFY2(step(command), qPrintable(command));
    QCOMPARE(linesAfter(before, lines.size()), lines);
    // The overlay shows the map's buttons at their layer points.
    QCOMPARE(m_overlay->keyButtons().value("A")->center(), QPoint(180, 320));
    QCOMPARE(m_overlay->positionButton()->center(), QPoint(100, 500));
    QCOMPARE(m_overlay->positionButton()->keys(), (QStringList{"W", "", "", "D"}));
    QCOMPARE(m_overlay->slideButtons().value("K")->direction(), QStringLiteral("up"));
    QCOMPARE(m_overlay->sensorButton()->keys(), (QStringList{"U", "", "J", "L"}));
    QVERIFY(m_overlay->fireButton()->isVisible());
    QCOMPARE(m_overlay->aimButton()->center(), QPoint(40, 100));
    QCOMPARE(m_overlay->keyButtons().value("A")->opacity(), 0.7);
}

void TestKeyMapPlayback::mouseAimAndFire()
{
    const QPoint layer = m_touch->mapToGlobal(QPoint(0, 0));
    m_x->moveTo(layer + QPoint(200, 200));
    QTest::qWait(100);
    const int before = guestLines().size();
    // Right click: aim mode on, the aim finger down at the aim point and the pointer moved there.
    m_x->click(3);
    QTRY_VERIFY(m_touch->keyMapPlayer()->mouseAimMode());
    QTRY_COMPARE(QCursor::pos(), layer + QPoint(40, 100));
    QTest::qWait(200);
    // A left click fires at the fire point; the aim finger comes back where the click was.
    m_x->click(1);
    QTest::qWait(200);
    // Right click again: aim mode off, the aim finger up.
    m_x->click(3);
    QTRY_VERIFY(!m_touch->keyMapPlayer()->mouseAimMode());
    QStringList lines = linesAfter(before, 17);
    // Pointer motion while aiming moves the aim finger to where it already is: repeats say nothing.
    lines.erase(std::unique(lines.begin(), lines.end()), lines.end());
    const QStringList expected = QStringList{down(80, 200), move(80, 200)} + lift(80, 200) +
                                 QStringList{down(640, 200)} + lift(640, 200) +
                                 QStringList{down(80, 200), move(80, 200)} + lift(80, 200);
    QStringList collapsed = expected;
    collapsed.erase(std::unique(collapsed.begin(), collapsed.end()), collapsed.end());
    QCOMPARE(lines, collapsed);
    QVERIFY(m_touch->fingerPoints().isEmpty());
}

void TestKeyMapPlayback::switchOffInTheMiddleOfAPress()
{
    const int before = guestLines().size();
    QVERIFY(step("press a"));
    QVERIFY(step("press d"));
    // Ctrl+1, the key-control hot key, while both are held: both fingers come up at once.
    QVERIFY(step("press Control_L"));
    QVERIFY(step("tap 1"));
    QVERIFY(step("release Control_L"));
    QTRY_VERIFY(!Global::isKeyMapEnabled());
    QVERIFY(m_overlay->isEmpty());
    QVERIFY(step("release a"));
    QVERIFY(step("release d"));
    // With the map off, "a" is an ordinary key again.
    QVERIFY(step("tap a"));
    // Fingers go in name order: "A" (the key), then "POSITION" (the pad). The release of "1" reaches
    // the guest (releases are never hot keys); those of "a" and "d" are the key map's.
    const QStringList expected = QStringList{down(360, 640), "MULTI:2:0:360:640:200:1000",
                                             "MULTI:2:2:360:640:260:1000", "MULTI:1:2:260:1000"} +
                                 lift(260, 1000) + QStringList{"KBDRL:2:0", "KBDPR:30:1", "KBDRL:30:0"};
    QCOMPARE(linesAfter(before, expected.size()), expected);
    QVERIFY(m_touch->fingerPoints().isEmpty());
    QVERIFY(m_touch->keyMapPlayer()->heldKeys().isEmpty());
}

void TestKeyMapPlayback::packageChangeLiftsFingers()
{
    const int before = guestLines().size();
    QVERIFY(step("press w"));
    QTRY_COMPARE(m_touch->fingerPoints().size(), 1);
    // Another package comes to the foreground while the pad key is held.
    m_touch->on_pavix_package_changed(QStringLiteral("com.example.other"));
    QVERIFY(step("release w"));
    const QStringList expected = QStringList{down(200, 1000), move(200, 938)} + lift(200, 938);
    QCOMPARE(linesAfter(before, expected.size()), expected);
    QVERIFY(m_touch->fingerPoints().isEmpty());
    QVERIFY(currentKeyMap.isEmpty());
    QVERIFY(m_overlay->isEmpty());
}

void TestKeyMapPlayback::proportionLimits_data()
{
    QTest::addColumn<QRect>("saved");
    QTest::addColumn<QSize>("layer");
    QTest::addColumn<bool>("loads");
    QTest::newRow("same proportions") << QRect(0, 0, 540, 960) << QSize(360, 640) << true;
    // 24 / 1200 - 12 / 1200 is 0.01 exactly in doubles.
    QTest::newRow("difference exactly 0.01") << QRect(0, 0, 12, 1200) << QSize(24, 1200) << true;
    QTest::newRow("difference 0.0101") << QRect(0, 0, 1000, 1000) << QSize(1010, 1000) << false;
    QTest::newRow("turned screen") << QRect(0, 0, 540, 960) << QSize(640, 360) << false;
    QTest::newRow("missing width (null rectangle)")
        << QRect(QPoint(0, 0), QPoint(-1, 959)) << QSize(360, 640) << false;
}

void TestKeyMapPlayback::proportionLimits()
{
    QFETCH(QRect, saved);
    QFETCH(QSize, layer);
    QFETCH(bool, loads);
    m_touch->resize(layer);
    QTRY_COMPARE(m_touch->size(), layer);
    const QString package = QStringLiteral("com.example.shape");
    writeMap(package, savedMap(), saved, true);
    m_touch->on_pavix_package_changed(package);
    QCOMPARE(!currentKeyMap.isEmpty(), loads);
    QTest::qWait(50);
    QCOMPARE(!m_overlay->isEmpty(), loads);
    // A file that was found but did not fit starts no download.
    QVERIFY(m_touch->keyMapPlayer()->keyMapFileLoaded());
}

void TestKeyMapPlayback::refusedMapClearsTheOverlay()
{
    QVERIFY(!m_overlay->isEmpty());
    const int before = guestLines().size();
    QVERIFY(step("press a"));
    QTRY_COMPARE(m_touch->fingerPoints().size(), 1);
    // The window turns: the map made for portrait no longer fits, its buttons and finger go.
    m_touch->resize(640, 360);
    m_touch->reloadKeyMap();
    QVERIFY(currentKeyMap.isEmpty());
    QVERIFY(m_overlay->isEmpty());
    QVERIFY(step("release a"));
    QCOMPARE(linesAfter(before, 5), QStringList{down(360, 640)} + lift(360, 640));
    // Back to portrait: it loads again.
    m_touch->resize(360, 640);
    m_touch->reloadKeyMap();
    QTRY_VERIFY(!m_overlay->isEmpty());
}

void TestKeyMapPlayback::mapsBeyondTheCapAreRefused_data()
{
    QTest::addColumn<int>("keys");
    QTest::addColumn<bool>("plays");
    QTest::newRow("256 buttons, the cap") << 256 << true;
    QTest::newRow("257 buttons") << 257 << false;
    QTest::newRow("20000 buttons") << 20000 << false;
}

void TestKeyMapPlayback::mapsBeyondTheCapAreRefused()
{
    // A map with more buttons than any game needs is not played (a log line says so) and its file
    // stays as it is; a map at the cap plays whole.
    QFETCH(int, keys);
    QFETCH(bool, plays);
    KeyMap map;
    for (int i = 0; i < keys; ++i)
        map.insert(QStringLiteral("K%1").arg(i), {KeyMapKey, {10 + i % 500, 10 + i % 900}});
    const QString package = QStringLiteral("com.example.many");
    writeMap(package, map, QRect(0, 0, 540, 960), true);
    const QString path = KeyMapFile::filePath(kVm, package);
    QFile before(path);
    QVERIFY(before.open(QIODevice::ReadOnly));
    const QByteArray bytes = before.readAll();
    if (!plays)
        QTest::ignoreMessage(QtInfoMsg,
                             QRegularExpression(QStringLiteral("key map of %1 has %2 buttons, more than 256")
                                                    .arg(QRegularExpression::escape(package))
                                                    .arg(keys)));
    m_touch->on_pavix_package_changed(package);
    QCOMPARE(currentKeyMap.size(), plays ? keys : 0);
    if (plays)
        QTRY_COMPARE(m_overlay->buttons().size(), keys);
    QTest::qWait(50);
    QCOMPARE(m_overlay->isEmpty(), !plays);
    // The file was found: no download, and it is kept byte for byte.
    QVERIFY(m_touch->keyMapPlayer()->keyMapFileLoaded());
    QFile after(path);
    QVERIFY(after.open(QIODevice::ReadOnly));
    QCOMPARE(after.readAll(), bytes);
}

QTEST_MAIN(TestKeyMapPlayback)
#include "tst_keymapplayback.moc"
