// The key-map buttons of both uses: placement by the recorded centre, the drag protocol on each kind's
// handle, the slide's direction, the close buttons, the tip's place, the display-only form of the play
// overlay and the overlay built from a key map.

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
