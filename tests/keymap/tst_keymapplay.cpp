// A key map made in the editor of the real program plays: real X input opens the editor from the side
// bar, drags a key and the direction pad from the palette onto the Android screen (the palette buttons
// are found on the screen by the colours of their placeholder pictures), types the key, saves, moves the
// opacity handle; then real key presses reach the simulated guest as touches at the places the buttons
// were dropped. Screenshots of the editor and of the overlay in play are kept as test artefacts.

#include "keymapfile.h"
#include "picturesonscreen.h"
#include "screenfixture.h"
#include "testartefacts.h"
#include "xtestinput.h"

#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QJsonDocument>
#include <QJsonObject>
#include <QScreen>
#include <QtTest>

#include <memory>

namespace {

const char *const kVm = ScreenFixture::kVm;
const QString kPackage = QStringLiteral("com.example.game");
const QString kOverlayTitle = QStringLiteral("key map overlay");

// Where the key-map picture `name` is drawn at its size in `image` (offset by `origin`): its centre, or a
// null point. A placed button's tip may cover a quarter of it.
QPoint findPicture(const QImage &image, const char *name, const QPoint &origin, double share = 1.0)
{
    const QImage picture(QStringLiteral(ORV_SOURCE_DIR "/resources/images/") + QLatin1String(name) +
                         QStringLiteral(".png"));
    const QPoint at = PicturesOnScreen::findPictureIn(image, image.rect(), picture, 6, share);
    return at.isNull() ? QPoint() : origin + at;
}

QImage grabScreen(const QRect &rect)
{
    return QGuiApplication::primaryScreen()
        ->grabWindow(0, rect.x(), rect.y(), rect.width(), rect.height())
        .toImage();
}

} // namespace

class TestKeyMapPlay : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void editorMapPlays();

private:
    void drag(const QPoint &from, const QPoint &to);
    QList<XTestInput::TopWindow> windows() const;
    XTestInput::TopWindow overlayWindow() const;
    void heldKeysAreOnePress();

    std::unique_ptr<ScreenFixture> m_fixture;
    std::unique_ptr<ProgramRun> m_emulator;
    std::unique_ptr<XTestInput> m_x;
    unsigned long m_androidWindow = 0;
    QRect m_android;
    QRect m_view;
    QRect m_menu;
};

QList<XTestInput::TopWindow> TestKeyMapPlay::windows() const
{
    // The play overlay's own window is looked at apart (overlayWindow).
    QList<XTestInput::TopWindow> all = m_x->mappedWindowsOf(m_emulator->pid());
    all.erase(std::remove_if(all.begin(), all.end(),
                             [](const XTestInput::TopWindow &w) { return w.title.contains(kOverlayTitle); }),
              all.end());
    return all;
}

XTestInput::TopWindow TestKeyMapPlay::overlayWindow() const
{
    for (const XTestInput::TopWindow &w : m_x->mappedWindowsOf(m_emulator->pid())) {
        if (w.title.contains(kOverlayTitle))
            return w;
    }
    return {};
}

void TestKeyMapPlay::drag(const QPoint &from, const QPoint &to)
{
    m_x->moveTo(from);
    QTest::qWait(80);
    m_x->button(1, true);
    QTest::qWait(80);
    m_x->moveTo(from + QPoint(2, 1));
    QTest::qWait(60);
    for (int i = 1; i <= 10; ++i) {
        m_x->moveTo(from + (to - from) * i / 10);
        QTest::qWait(50);
    }
    m_x->button(1, false);
    QTest::qWait(300);
}

void TestKeyMapPlay::initTestCase()
{
    if (qEnvironmentVariableIsEmpty("DISPLAY"))
        QSKIP("needs an X display: the input is real X input on the real window");
    m_x = std::make_unique<XTestInput>();
    if (!m_x->isValid())
        QSKIP("the X server has no XTest extension");
    if (m_x->capsLockOn())
        m_x->tap(QStringLiteral("Caps_Lock"));
    m_fixture = std::make_unique<ScreenFixture>();
    QVERIFY(m_fixture->isValid());
    m_fixture->setGuestControls({{QStringLiteral("boot_ms"), QStringLiteral("0")}});
    m_emulator = m_fixture->startEmulator();
    QVERIFY(m_emulator);
    QVERIFY2(m_fixture->attachGuest(*m_emulator), qPrintable(m_fixture->tree().logText().right(3000)));
    QVERIFY(m_emulator->waitForText(QLatin1String(ScreenFixture::kShowAndroid), 30000));
    QList<XTestInput::TopWindow> found;
    QVERIFY(waitUntil(
        [&] {
            found = windows();
            return found.size() == 2;
        },
        10000));
    std::sort(found.begin(), found.end(), [](const XTestInput::TopWindow &a, const XTestInput::TopWindow &b) {
        return a.geometry.width() > b.geometry.width();
    });
    m_android = found.at(0).geometry;
    m_menu = found.at(1).geometry;
    // The picture fills the area below the 36-pixel title bar, inside the 2-pixel margins.
    m_view = QRect(m_android.x() + 2, m_android.y() + 38, m_android.width() - 4, m_android.height() - 40);
    m_androidWindow = found.at(0).id;
    m_x->focus(m_androidWindow);
    // The channel stands (a guest slow to listen costs a 2 s retry). Install trees of other test runs
    // on this machine pick their ports on their own: when our connection went to a listener that is not
    // our guest (which then saw no connection at all), the run says so and skips.
    const bool connected = waitUntil([this] { return m_fixture->guest().inputLines().size() >= 3; }, 20000);
    if (!connected && m_fixture->guest().inputLines().isEmpty() &&
        m_fixture->tree().logText().contains(QLatin1String("vinput connect error")))
        QSKIP("the input port answered for another program on this machine, not this test's guest");
    QVERIFY2(connected, qPrintable(m_fixture->guest().inputLines().join(" | ") + " / " +
                                   m_fixture->tree().logText().right(1500)));
}

void TestKeyMapPlay::cleanupTestCase()
{
    if (m_emulator)
        m_emulator->terminate();
}

void TestKeyMapPlay::editorMapPlays()
{
    // The launcher reports the game in the foreground (a PackageChanged reply file); it has no key map.
    {
        // Written whole under another name first: the guest acts on the request file as soon as it sees it.
        const QString request = m_fixture->guest().dir() + QStringLiteral("/reply");
        QFile reply(request + QStringLiteral(".part"));
        QVERIFY(reply.open(QIODevice::WriteOnly));
        reply.write(
            QJsonDocument(QJsonObject{{"action", 9}, {"data", kPackage}}).toJson(QJsonDocument::Compact));
        reply.close();
        QVERIFY(QFile::rename(reply.fileName(), request));
    }
    QVERIFY2(m_emulator->waitForText(" ---------------> " + kPackage, 15000),
             qPrintable(m_fixture->tree().logText().right(2000)));

    // The side bar's keyboard button (the second of its column, which shrinks in proportion on a bar
    // shorter than 756 pixels) opens the editor over the picture.
    int gap = 10;
    int button = 35;
    if (m_menu.height() < 756) {
        const int top = m_menu.height() * 460 / 756;
        gap = 10 * top / 460;
        button = static_cast<int>((top - gap) / 10.0 - gap);
    }
    m_x->moveTo(m_menu.topLeft() + QPoint(18, 2 * gap + (button + gap) + button / 2));
    m_x->click(1);
    XTestInput::TopWindow editor;
    QVERIFY(waitUntil(
        [&] {
            for (const XTestInput::TopWindow &w : windows()) {
                if (w.geometry != m_android && w.geometry != m_menu && w.geometry.width() > 300)
                    editor = w;
            }
            return editor.id != 0;
        },
        10000));
    QVERIFY(m_emulator->waitForText(QStringLiteral("Android    : menuKeyboard in"), 5000));
    const QRect area = editor.geometry;
    QVERIFY2(qAbs(area.width() - m_view.width()) <= 2 && qAbs(area.height() - m_view.height()) <= 2,
             qPrintable(QStringLiteral("editor %1x%2, view %3x%4")
                            .arg(area.width())
                            .arg(area.height())
                            .arg(m_view.width())
                            .arg(m_view.height())));
    QTest::qWait(500);

    // The palette's pictures, each found by its shape in the editor's top bar.
    const QImage bar = grabScreen(QRect(area.topLeft(), QSize(area.width(), 70)));
    const QPoint keyKind = findPicture(bar, "key_title_key", area.topLeft());
    const QPoint padKind = findPicture(bar, "key_title_position", area.topLeft());
    const QPoint fireKind = findPicture(bar, "key_title_fire", area.topLeft());
    const QPoint close = findPicture(bar, "keyboardClose", area.topLeft());
    QVERIFY2(!keyKind.isNull() && !padKind.isNull() && !fireKind.isNull() && !close.isNull(),
             "the palette's pictures are not on the screen");
    // Right to left from the right edge: close, then (after save and clear) the palette.
    QVERIFY(close.x() > fireKind.x() && fireKind.x() > keyKind.x() && keyKind.x() > padKind.x());

    const QPoint keyDrop(area.width() / 4, area.height() / 2);
    const QPoint padDrop(area.width() / 2, area.height() * 3 / 4);
    const QPoint fireDrop(area.width() * 3 / 4, area.height() / 3);
    drag(keyKind, area.topLeft() + keyDrop);
    m_x->tap(QStringLiteral("q"));
    QTest::qWait(200);
    drag(padKind, area.topLeft() + padDrop);
    drag(fireKind, area.topLeft() + fireDrop);
    const QPoint aimDrop(area.width() / 4, area.height() / 4);
    const QPoint slideDrop(area.width() * 3 / 4, area.height() * 55 / 100);
    drag(findPicture(bar, "key_title_aim", area.topLeft()), area.topLeft() + aimDrop);
    drag(findPicture(bar, "key_title_slide", area.topLeft()), area.topLeft() + slideDrop);
    m_x->tap(QStringLiteral("e"));
    QTest::qWait(300);

    // One button of each dropped kind over the Android window, as the user sees it.
    const QImage editing = grabScreen(m_android.united(area));
    editing.save(TestArtefacts::path(QStringLiteral("keymap-editor-over-android.png")));
    const QImage placed = grabScreen(area);
    QVERIFY2(!findPicture(placed, "key_operate_position", QPoint(), 0.7).isNull(),
             "no direction pad on the screen");
    QVERIFY2(!findPicture(placed, "key_operate_fire", QPoint(), 0.7).isNull(), "no fire button");

    // Save: the bar's blue button left of the close button.
    const QPoint save = close - QPoint(20 + 34, 0);
    m_x->moveTo(save);
    m_x->click(1);
    const QString file =
        m_fixture->tree().appDataDir() + QStringLiteral("/Halvora/keyMap/") + kVm + "/" + kPackage + ".json";
    QVERIFY2(waitUntil([&] { return QFile::exists(file); }, 10000),
             qPrintable(m_fixture->tree().logText().right(2000)));

    // The opacity dialog follows the save: its handle dragged to the far left (0 %), then its save.
    XTestInput::TopWindow opacity;
    QVERIFY(waitUntil(
        [&] {
            for (const XTestInput::TopWindow &w : windows()) {
                if (w.geometry.size() == QSize(400, 220))
                    opacity = w;
            }
            return opacity.id != 0;
        },
        10000));
    const QRect o = opacity.geometry;
    // The slider (79, 58, 260 x 16) starts at the stored 50 of 0..99.
    const QPoint handle = o.topLeft() + QPoint(79 + 8 + (260 - 16) * 50 / 99, 66);
    // To 70 %: the handle's centre at 8 + 244 * 70 / 99 pixels into the slider.
    drag(handle, o.topLeft() + QPoint(79 + 8 + 244 * 70 / 99, 66));
    QTest::qWait(300);
    m_x->moveTo(o.topLeft() + QPoint(200, 138 + 19 + 22));
    m_x->click(1);
    QVERIFY(waitUntil(
        [&] {
            for (const XTestInput::TopWindow &w : windows()) {
                if (w.geometry.size() == QSize(400, 220) || w.geometry == area)
                    return false;
            }
            return true;
        },
        10000));

    // The file: the key, the pad with its four points, the fire point, in the touch layer's pixels.
    QFile f(file);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QJsonObject json = QJsonDocument::fromJson(f.readAll()).object();
    QCOMPARE(json.value("rotation").toInt(), 0);
    KeyMapFile::Contents contents;
    f.seek(0);
    QVERIFY(KeyMapFile::parse(f.readAll(), &contents));
    QCOMPARE(contents.rect.size(), area.size());
    QCOMPARE(contents.map.value("Q"), (KeyMapItem{KeyMapKey, keyDrop}));
    QCOMPARE(contents.map.value("E"), (KeyMapItem{KeyMapSlideUp, slideDrop}));
    QCOMPARE(contents.map.value("FIRE"), (KeyMapItem{KeyMapFire, fireDrop}));
    QCOMPARE(contents.map.value("AIM"), (KeyMapItem{KeyMapAim, aimDrop}));
    QCOMPARE(contents.map.value("POSCENTER"), (KeyMapItem{KeyMapPosCenter, padDrop}));
    QCOMPARE(contents.map.value("W"), (KeyMapItem{KeyMapPosUp, padDrop - QPoint(0, 46)}));
    QCOMPARE(contents.map.value("D"), (KeyMapItem{KeyMapPosRight, padDrop + QPoint(46, 0)}));
    QCOMPARE(contents.map.size(), 9);

    // The window in play as the user sees it: the overlay's buttons over the guest's picture (drawn by
    // the render library into its own window inside the Android window), on a root-window screenshot.
    // Without a compositing manager the buttons are opaque: each shows its picture where it was dropped.
    XTestInput::TopWindow overlay;
    QVERIFY2(waitUntil(
                 [&] {
                     overlay = overlayWindow();
                     return overlay.id != 0;
                 },
                 10000),
             "the play overlay has no window on the screen");
    QCOMPARE(overlay.geometry, area);
    QImage inPlay;
    const auto shownNear = [&](const char *picture, const QPoint &drop) {
        const QPoint found = findPicture(inPlay, picture, QPoint(), 0.9);
        return !found.isNull() && (found - drop).manhattanLength() <= 12;
    };
    const bool seen = waitUntil(
        [&] {
            inPlay = grabScreen(area);
            return shownNear("key_operate_position", padDrop) && shownNear("key_operate_fire", fireDrop);
        },
        10000);
    grabScreen(m_android).save(TestArtefacts::path(QStringLiteral("keymap-window-in-play.png")));
    QVERIFY2(seen, "the overlay's buttons are not on the screen over the picture");

    // Play: q taps where the key button was dropped, w moves the pad's finger from its centre upward.
    // The keyboard goes back to the Android window, as a window manager gives it after the dialogs.
    QTest::qWait(500);
    m_x->focus(m_androidWindow);
    QTest::qWait(200);
    const double scale = m_view.width() / 720.0;
    const auto device = [&](const QPoint &p) {
        return QStringLiteral("%1:%2").arg(int(p.x() / scale)).arg(int(p.y() / scale));
    };
    int before = m_fixture->guest().inputLines().size();
    m_x->tap(QStringLiteral("q"));
    QStringList lines;
    const auto touches = [&] {
        QStringList out;
        for (const QString &line : m_fixture->guest().inputLines().mid(before)) {
            // Another program of this machine that reached this guest's port takes over its connection.
            if (line.startsWith(QLatin1String("# connected from")) &&
                line != QStringLiteral("# connected from %1").arg(m_emulator->pid()))
                return QStringList{line};
            if (line.startsWith(QLatin1String("MSB")) || line.startsWith(QLatin1String("MULTI")))
                out << line;
        }
        return out;
    };
    QVERIFY(waitUntil(
        [&] {
            lines = touches();
            return lines.size() >= 2 || (lines.size() == 1 && lines.first().startsWith('#'));
        },
        5000));
    if (lines.first().startsWith('#'))
        QSKIP(qPrintable("another program on this machine took this test's guest: " + lines.first()));
    // One finger: the tap of a single touch point.
    QVERIFY2(lines.first() == "MSBPR:" + device(keyDrop),
             qPrintable(lines.join(" | ") + " expected at " + device(keyDrop)));

    before = m_fixture->guest().inputLines().size();
    m_x->key(QStringLiteral("w"), true);
    QVERIFY(waitUntil(
        [&] {
            lines = m_fixture->guest().inputLines().mid(before);
            return lines.join(' ').contains(device(padDrop));
        },
        5000));
    m_x->key(QStringLiteral("w"), false);
    QTest::qWait(300);
    heldKeysAreOnePress();
}

void TestKeyMapPlay::heldKeysAreOnePress()
{
    // Each kind of key held 1.5 s (long past the X server's auto-repeat delay) sends what one quick tap
    // of it sends: one press and one release at the guest, however many release and press pairs the
    // auto-repeat made meanwhile.
    const auto inputLines = [this](int from) {
        QStringList out;
        for (const QString &line : m_fixture->guest().inputLines().mid(from)) {
            if (line.startsWith(QLatin1String("KBD")) || line.startsWith(QLatin1String("MS")) ||
                line.startsWith(QLatin1String("SENSOR")))
                out << line;
        }
        return out;
    };
    const struct
    {
        const char *kind;
        const char *keysym;
    } kinds[] = {{"plain key", "z"},
                 {"mapped key", "q"},
                 {"direction pad", "w"},
                 {"slide", "e"},
                 {"hot key (back)", "Escape"}};
    for (const auto &kind : kinds) {
        const QString keysym = QLatin1String(kind.keysym);
        int before = m_fixture->guest().inputLines().size();
        m_x->tap(keysym);
        QStringList tapped;
        QVERIFY2(waitUntil(
                     [&] {
                         tapped = inputLines(before);
                         return tapped.join(' ').contains(QLatin1String("RL"));
                     },
                     5000),
                 qPrintable(QStringLiteral("%1: a tap sent %2").arg(kind.kind, tapped.join(" | "))));
        QTest::qWait(500);
        tapped = inputLines(before);

        before = m_fixture->guest().inputLines().size();
        m_x->key(keysym, true);
        QTest::qWait(1500);
        m_x->key(keysym, false);
        QStringList held;
        waitUntil(
            [&] {
                held = inputLines(before);
                return held.size() >= tapped.size() && held.join(' ').contains(QLatin1String("RL"));
            },
            5000);
        QTest::qWait(500);
        held = inputLines(before);
        QVERIFY2(held == tapped, qPrintable(QStringLiteral("%1 held 1.5 s sent %2; a tap sends %3")
                                                .arg(kind.kind, held.join(" | "), tapped.join(" | "))));
    }
}

QTEST_MAIN(TestKeyMapPlay)
#include "tst_keymapplay.moc"
