// The key-map buttons of both uses: placement by the recorded centre, the drag protocol on each kind's
// handle, the slide's direction, the close buttons, the tip's place, the display-only form of the play
// overlay (the same pixels as the editable form made display-only) and the overlay built from a key map.

#include "firebutton.h"
#include "keybutton.h"
#include "keylineedit.h"
#include "keymapoverlay.h"
#include "overlaywindow.h"
#include "padbutton.h"
#include "slidebutton.h"

#include <QFrame>
#include <QPushButton>
#include <QSignalSpy>
#include <QtTest>

#include <QPainter>

#include <functional>
#include <memory>

namespace {

using Factory = std::function<BaseButton *(QWidget *)>;

// The kind's drag handle.
QWidget *handleOf(BaseButton *button)
{
    if (auto *k = qobject_cast<KeyButton *>(button))
        return k->frame();
    if (auto *s = qobject_cast<SlideButton *>(button))
        return s->arrow(QStringLiteral("left"));
    if (auto *p = qobject_cast<PointButton *>(button))
        return p->imageButton();
    if (auto *p = qobject_cast<PadButton *>(button))
        return p->padButton();
    return nullptr;
}

void mouse(QWidget *target, QEvent::Type type, const QPoint &windowPos, Qt::MouseButton button,
           Qt::MouseButtons buttons)
{
    const QPoint local = target->mapFrom(target->window(), windowPos);
    QMouseEvent event(type, local, windowPos, target->mapToGlobal(local), button, buttons, Qt::NoModifier);
    QApplication::sendEvent(target, &event);
}

// `button` as the overlay's window paints it: its children (its own paint included) over `ground`.
QImage painted(BaseButton *button, const QColor &ground)
{
    QImage image(button->size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(ground);
    button->render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    return image;
}

// The largest difference of one channel between two images of one size, and where it is.
int largestDifference(const QImage &a, const QImage &b, QPoint *where)
{
    int largest = 0;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y);
            const QRgb q = b.pixel(x, y);
            const int d = qMax(qMax(qAbs(qRed(p) - qRed(q)), qAbs(qGreen(p) - qGreen(q))),
                               qMax(qAbs(qBlue(p) - qBlue(q)), qAbs(qAlpha(p) - qAlpha(q))));
            if (d > largest) {
                largest = d;
                *where = QPoint(x, y);
            }
        }
    }
    return largest;
}

} // namespace

Q_DECLARE_METATYPE(Factory)

class TestOverlayButtons : public QObject
{
    Q_OBJECT

private slots:
    void placement_data();
    void placement();
    void dragOnTheHandle_data();
    void dragOnTheHandle();
    void slideDirection();
    void closeButtons();
    void tipBelowTheButton();
    void displayOnlyFormLooksTheSame_data();
    void displayOnlyFormLooksTheSame();
    void overlayFromAKeyMap();

private:
    void kinds();
};

void TestOverlayButtons::kinds()
{
    QTest::addColumn<Factory>("make");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QPoint>("offset");
    QTest::newRow("key") << Factory([](QWidget *p) { return new KeyButton(p); }) << QSize(70, 64)
                         << QPoint(24, 43);
    QTest::newRow("slide") << Factory([](QWidget *p) { return new SlideButton(p); }) << QSize(179, 174)
                           << QPoint(81, 92);
    QTest::newRow("fire") << Factory([](QWidget *p) { return new FireButton(p); }) << QSize(80, 80)
                          << QPoint(33, 47);
    QTest::newRow("aim") << Factory([](QWidget *p) { return new AimButton(p); }) << QSize(80, 80)
                         << QPoint(33, 47);
    QTest::newRow("direction pad") << Factory([](QWidget *p) { return new PositionButton(p); })
                                   << QSize(232, 232) << QPoint(116, 116);
    QTest::newRow("sensor pad") << Factory([](QWidget *p) { return new SensorButton(p); }) << QSize(232, 232)
                                << QPoint(116, 116);
}

void TestOverlayButtons::placement_data()
{
    kinds();
}

void TestOverlayButtons::placement()
{
    QFETCH(Factory, make);
    QFETCH(QSize, size);
    QFETCH(QPoint, offset);
    QWidget window;
    window.resize(800, 800);
    BaseButton *button = make(&window);
    button->show();
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QCOMPARE(button->size(), size);
    QCOMPARE(button->center(), QPoint(0, 0));
    button->moveTopLeft(10, 20);
    QCOMPARE(button->center(), QPoint(10, 20) + offset);
    button->moveCenter(200, 300);
    QCOMPARE(button->center(), QPoint(200, 300));
    QCOMPARE(button->pos(), QPoint(200, 300) - offset);
}

void TestOverlayButtons::dragOnTheHandle_data()
{
    kinds();
}

void TestOverlayButtons::dragOnTheHandle()
{
    QFETCH(Factory, make);
    QWidget window;
    window.resize(800, 800);
    BaseButton *button = make(&window);
    button->moveCenter(300, 300);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QWidget *handle = handleOf(button);
    QVERIFY(handle);
    const QPoint grab = handle->mapTo(&window, QPoint(5, 5));
    // Both buttons held: no move.
    mouse(handle, QEvent::MouseButtonPress, grab, Qt::LeftButton, Qt::LeftButton);
    mouse(handle, QEvent::MouseMove, grab + QPoint(40, 30), Qt::NoButton, Qt::LeftButton | Qt::RightButton);
    QCOMPARE(button->center(), QPoint(300, 300));
    // The left button alone: the centre follows the mouse.
    mouse(handle, QEvent::MouseMove, grab + QPoint(40, 30), Qt::NoButton, Qt::LeftButton);
    mouse(handle, QEvent::MouseButtonRelease, grab + QPoint(40, 30), Qt::LeftButton, Qt::NoButton);
    QCOMPARE(button->center(), QPoint(340, 330));

    // Display-only, as the play overlay makes it: no close button, disabled, fields read-only, and
    // the handle's events pass untouched.
    button->displayOnly = true;
    button->setDisplayOnly(true);
    QVERIFY(!button->isEnabled());
    const QList<QPushButton *> closes = button->findChildren<QPushButton *>(QStringLiteral("btn_close"));
    QCOMPARE(closes.size(), 1);
    QVERIFY(closes.at(0)->isHidden());
    for (KeyLineEdit *field : button->findChildren<KeyLineEdit *>())
        QVERIFY(field->isReadOnly());
    QObject *filter = button;
    QEvent enter(QEvent::Enter);
    QVERIFY(!filter->eventFilter(handle, &enter));
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(5, 5), QPointF(grab), QPointF(grab), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QVERIFY(!filter->eventFilter(handle, &press));
    QMouseEvent drag(QEvent::MouseMove, QPointF(50, 50), QPointF(grab + QPoint(90, 90)), QPointF(),
                     Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QVERIFY(!filter->eventFilter(handle, &drag));
    QCOMPARE(button->center(), QPoint(340, 330));
}

void TestOverlayButtons::slideDirection()
{
    QWidget window;
    window.resize(600, 600);
    auto *slide = new SlideButton(&window);
    slide->moveCenter(200, 200);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    // The selected arrow shows its "_over" picture for good (no hover form); the others their normal look.
    const auto selected = [slide] {
        QStringList words;
        for (const char *word : {"up", "down", "left", "right"})
            if (!slide->arrow(word)->styleSheet().contains(QLatin1String(":hover")))
                words << word;
        return words;
    };
    QCOMPARE(slide->direction(), QStringLiteral("up"));
    QCOMPARE(selected(), QStringList{"up"});
    slide->setDirection(QStringLiteral("down"));
    QCOMPARE(selected(), QStringList{"down"});
    // A press on the left arrow picks "left" and starts the drag.
    const QPoint at = slide->arrow("left")->mapTo(&window, QPoint(10, 10));
    mouse(slide->arrow("left"), QEvent::MouseButtonPress, at, Qt::LeftButton, Qt::LeftButton);
    QCOMPARE(slide->direction(), QStringLiteral("left"));
    QCOMPARE(selected(), QStringList{"left"});
    mouse(slide->arrow("left"), QEvent::MouseMove, at + QPoint(5, 0), Qt::NoButton, Qt::LeftButton);
    QCOMPARE(slide->center(), QPoint(205, 200));
    // Any other text is kept, and no arrow is selected.
    slide->setDirection(QString());
    QCOMPARE(slide->direction(), QString());
    QCOMPARE(selected(), QStringList());
}

void TestOverlayButtons::closeButtons()
{
    QWidget window;
    auto *key = new KeyButton(&window);
    auto *slide = new SlideButton(&window);
    auto *fire = new FireButton(&window);
    auto *pad = new SensorButton(&window);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QSignalSpy keyClosed(key, &KeyButton::closeKeyButton);
    QSignalSpy slideClosed(slide, &SlideButton::closeSlideButton);
    key->closeButton()->click();
    slide->closeButton()->click();
    QCOMPARE(keyClosed.value(0).value(0).toString(), QString());
    QCOMPARE(slideClosed.value(0).value(0).toString(), QStringLiteral("NULL"));
    key->setKeyText(QStringLiteral("W"));
    key->closeButton()->click();
    QCOMPARE(keyClosed.value(1).value(0).toString(), QStringLiteral("W"));
    // Fire and the pads only hide themselves.
    fire->closeButton()->click();
    pad->closeButton()->click();
    QVERIFY(fire->isHidden());
    QVERIFY(pad->isHidden());
    pad->setUpKey("W");
    pad->setDownKey("S");
    pad->setLeftKey("A");
    pad->setRightKey("D");
    QCOMPARE(pad->keys(), (QStringList{"W", "S", "A", "D"}));
    QCOMPARE(pad->getRadius(), 46);
}

void TestOverlayButtons::tipBelowTheButton()
{
    QWidget window;
    window.resize(400, 400);
    auto *fire = new FireButton(&window);
    fire->moveTopLeft(100, 100);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    fire->tipWidget()->setTipText(QStringLiteral("a tip much wider than its eighty-pixel button"));
    QEvent enter(QEvent::Enter);
    QApplication::sendEvent(fire, &enter);
    QVERIFY(fire->tipWidget()->isVisible());
    // Sized to its text when it shows.
    const int tipWidth = fire->tipWidget()->width();
    QVERIFY(tipWidth > 80);
    QCOMPARE(fire->tipWidget()->pos(), fire->mapToGlobal(QPoint((80 - tipWidth) / 2, 90)));
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(fire, &leave);
    QVERIFY(!fire->tipWidget()->isVisible());
    // Display-only: no tip.
    fire->displayOnly = true;
    QApplication::sendEvent(fire, &enter);
    QVERIFY(!fire->tipWidget()->isVisible());
}

void TestOverlayButtons::displayOnlyFormLooksTheSame_data()
{
    QTest::addColumn<bool>("slide");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("direction");
    // Short and long key names (the longest wider than the field, which then shows its end), an empty
    // field, each direction of a swipe and a direction word that selects no arrow.
    for (const char *key : {"A", "1", "Space", "PgUp", "Num*", "Ctrl + Shift + F5", ""})
        QTest::addRow("key %s", key) << false << QString::fromLatin1(key) << QString();
    for (const char *direction : {"up", "down", "left", "right", "sideways"})
        QTest::addRow("slide %s", direction)
            << true << QStringLiteral("Space") << QString::fromLatin1(direction);
    QTest::newRow("slide long key") << true << QStringLiteral("Ctrl + Alt + Delete")
                                    << QStringLiteral("left");
    QTest::newRow("slide W") << true << QStringLiteral("W") << QStringLiteral("down");
}

void TestOverlayButtons::displayOnlyFormLooksTheSame()
{
    QFETCH(bool, slide);
    QFETCH(QString, key);
    QFETCH(QString, direction);
    // Both in one window, as on the overlay: the editable form made display-only as the editor's
    // buttons are, and the overlay's form without child widgets.
    QWidget window;
    window.resize(600, 300);
    BaseButton *editable;
    BaseButton *light;
    if (slide) {
        auto *a = new SlideButton(&window);
        auto *b = new SlideButton(&window, BaseButton::DisplayOnlyForm);
        for (SlideButton *s : {a, b}) {
            s->setKeyText(key);
            s->setDirection(direction);
        }
        QCOMPARE(b->keyText(), key);
        QCOMPARE(b->direction(), direction);
        QVERIFY(!b->arrow(QStringLiteral("up")) && !b->keyEdit() && !b->closeButton());
        editable = a;
        light = b;
    } else {
        auto *a = new KeyButton(&window);
        auto *b = new KeyButton(&window, BaseButton::DisplayOnlyForm);
        a->setKeyText(key);
        b->setKeyText(key);
        QCOMPARE(b->keyText(), key);
        QVERIFY(!b->keyEdit() && !b->closeButton() && !b->frame());
        editable = a;
        light = b;
    }
    editable->displayOnly = true;
    editable->setDisplayOnly(true);
    light->moveTopLeft(300, 0);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QCOMPARE(light->size(), editable->size());
    QCOMPARE(light->centerOffsetPoint(), editable->centerOffsetPoint());
    QVERIFY(light->displayOnly);
    QVERIFY(!light->isEnabled());
    QVERIFY(light->findChildren<QWidget *>().isEmpty());
    QVERIFY(light->styleSheet().isEmpty());
    // Over the overlay's opaque ground (no compositing manager) and over a clear one (with one).
    for (const QColor &ground : {QColor(30, 30, 30), QColor(Qt::transparent), QColor(200, 40, 90)}) {
        const QImage want = painted(editable, ground);
        const QImage got = painted(light, ground);
        QPoint where;
        const int difference = largestDifference(want, got, &where);
        QVERIFY2(difference == 0,
                 qPrintable(QStringLiteral("on %1: %2 at (%3, %4): %5 instead of %6")
                                .arg(ground.name(QColor::HexArgb))
                                .arg(difference)
                                .arg(where.x())
                                .arg(where.y())
                                .arg(QColor::fromRgba(got.pixel(where)).name(QColor::HexArgb))
                                .arg(QColor::fromRgba(want.pixel(where)).name(QColor::HexArgb))));
    }
    // The key text shows: the empty field differs from one with a key.
    if (!key.isEmpty()) {
        const QImage withKey = painted(light, QColor(30, 30, 30));
        if (slide)
            static_cast<SlideButton *>(light)->setKeyText(QString());
        else
            static_cast<KeyButton *>(light)->setKeyText(QString());
        QVERIFY(painted(light, QColor(30, 30, 30)) != withKey);
    }
}

void TestOverlayButtons::overlayFromAKeyMap()
{
    QWidget host;
    host.resize(720, 1280);
    host.show();
    QVERIFY(QTest::qWaitForWindowExposed(&host));
    KeyMapOverlay overlay(&host);
    KeyMap map;
    map.insert("A", {KeyMapKey, {100, 200}});
    map.insert("W", {KeyMapPosUp, {300, 354}});
    map.insert("S", {KeyMapPosDown, {300, 446}});
    map.insert("POSCENTER", {KeyMapPosCenter, {300, 400}});
    map.insert("J", {KeyMapSenLeft, {0, 0}}); // a sensor pad without its centre entry: never shown
    map.insert("Space", {KeyMapSlideRight, {500, 500}});
    map.insert("FIRE", {KeyMapFire, {600, 100}});
    map.insert("X", {99, {1, 1}}); // an unknown kind shows nothing
    overlay.setOpacity(0.3);
    overlay.build(map);
    QCOMPARE(overlay.buttons().size(), 5);
    for (BaseButton *button : overlay.buttons()) {
        // In the overlay's own window, which lies over the host (the render library's window covers
        // anything painted into the host's window).
        QCOMPARE(button->parentWidget(), overlay.window());
        QVERIFY(!button->graphicsEffect());
        QVERIFY(button->testAttribute(Qt::WA_TransparentForMouseEvents));
        QVERIFY(button->displayOnly);
        QVERIFY(!button->isEnabled());
        QCOMPARE(button->opacity(), 0.3);
    }
    // The tapped keys and swipes, of which a map may hold hundreds, carry no widgets, style sheets or
    // tips of their own: each paints itself.
    for (BaseButton *button : {static_cast<BaseButton *>(overlay.keyButtons().value("A")),
                               static_cast<BaseButton *>(overlay.slideButtons().value("Space"))}) {
        QVERIFY(button->findChildren<QWidget *>().isEmpty());
        QVERIFY(button->styleSheet().isEmpty());
    }
    QCOMPARE(overlay.keyButtons().value("A")->keyText(), QStringLiteral("A"));
    QCOMPARE(overlay.slideButtons().value("Space")->keyText(), QStringLiteral("Space"));
    QCOMPARE(overlay.keyButtons().value("A")->center(), QPoint(100, 200));
    QVERIFY(overlay.keyButtons().value("A")->isVisible());
    QCOMPARE(overlay.positionButton()->center(), QPoint(300, 400));
    QCOMPARE(overlay.positionButton()->keys(), (QStringList{"W", "S", "", ""}));
    QVERIFY(overlay.positionButton()->isVisible());
    QVERIFY(overlay.sensorButton()->isHidden());
    QCOMPARE(overlay.sensorButton()->leftKey(), QStringLiteral("J"));
    QCOMPARE(overlay.slideButtons().value("Space")->direction(), QStringLiteral("right"));
    QCOMPARE(overlay.fireButton()->center(), QPoint(600, 100));
    QVERIFY(overlay.window()->isWindow());
    QCOMPARE(overlay.window()->geometry(), QRect(host.mapToGlobal(QPoint()), host.size()));
    QVERIFY(overlay.window()->isVisible());
    overlay.setOpacity(0.8);
    QCOMPARE(overlay.fireButton()->opacity(), 0.8);
    QCOMPARE(overlay.window()->overlayOpacity(), 0.8);
    // A rebuild replaces, a clear removes every button and hides the window.
    overlay.build(map);
    QCOMPARE(overlay.window()->findChildren<BaseButton *>().size(), 5);
    overlay.clear();
    QVERIFY(overlay.isEmpty());
    QCOMPARE(overlay.window()->findChildren<BaseButton *>().size(), 0);
    QVERIFY(!overlay.window()->isVisible());
}

QTEST_MAIN(TestOverlayButtons)
#include "tst_overlaybuttons.moc"
