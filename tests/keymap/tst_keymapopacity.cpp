// The overlay's opacity as the program wires it: the play overlay on the touch layer (built by the
// key-map player, shown by the key-map feature), the menu's vertical slider and the opacity dialog
// after a save. A drag of either handle fades every overlay button and emits the opacity signal the
// menu bar follows; a keyboard change emits nothing. The overlay is grabbed on the touch layer alone and
// a few pixels are checked.

#include "androidtouchwidget.h"
#include "basebutton.h"
#include "global.h"
#include "keymapfile.h"
#include "keymapoverlay.h"
#include "keymapplayer.h"
#include "keymapwiring.h"
#include "opacityadjustdialog.h"
#include "testartefacts.h"
#include "verticalopacityslider.h"

#include <QSignalSpy>
#include <QSlider>
#include <QStyleOptionSlider>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// Drags a slider's handle with the mouse to the given fraction of its range.
void dragHandle(QSlider *slider, double fraction)
{
    QStyleOptionSlider option;
    option.initFrom(slider);
    option.orientation = slider->orientation();
    option.minimum = slider->minimum();
    option.maximum = slider->maximum();
    option.sliderPosition = slider->value();
    option.sliderValue = slider->value();
    option.upsideDown = slider->orientation() == Qt::Vertical;
    const QRect handle =
        slider->style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, slider);
    const QRect groove =
        slider->style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderGroove, slider);
    const QPoint from = handle.center();
    QPoint to;
    if (slider->orientation() == Qt::Horizontal)
        to = QPoint(groove.left() + handle.width() / 2 + int((groove.width() - handle.width()) * fraction),
                    from.y());
    else
        to = QPoint(from.x(), groove.bottom() - handle.height() / 2 -
                                  int((groove.height() - handle.height()) * fraction));
    QTest::mousePress(slider, Qt::LeftButton, Qt::NoModifier, from);
    QMouseEvent move(QEvent::MouseMove, to, slider->mapToGlobal(to), Qt::NoButton, Qt::LeftButton,
                     Qt::NoModifier);
    QApplication::sendEvent(slider, &move);
    QTest::mouseRelease(slider, Qt::LeftButton, Qt::NoModifier, to);
}

} // namespace

class TestKeyMapOpacity : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void menuSliderFadesOverlay();
    void dialogAfterSave();
    void overlayPixels();

private:
    QTemporaryDir m_dir;
    std::unique_ptr<QWidget> m_screen;
    AndroidTouchWidget *m_touch = nullptr;
    KeyMapOverlay *m_overlay = nullptr;
};

void TestKeyMapOpacity::initTestCase()
{
    QVERIFY(m_dir.isValid());
    qputenv("APPDATA", m_dir.path().toUtf8());
    Global::vmName = QStringLiteral("Orvanta_5");
}

void TestKeyMapOpacity::init()
{
    Global::currentPackage = QStringLiteral("com.example.game");
    Global::keyMapOpacityMap.clear();
    // The Android picture: a plain colour under the touch layer.
    m_screen = std::make_unique<QWidget>();
    m_screen->resize(540, 960);
    m_screen->setAutoFillBackground(true);
    QPalette palette;
    palette.setColor(QPalette::Window, QColor(30, 136, 229));
    m_screen->setPalette(palette);
    m_touch = new AndroidTouchWidget(m_screen.get());
    m_touch->setGeometry(0, 0, 540, 960);
    m_overlay = wireKeyMapOverlay(m_touch);
    m_screen->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_screen.get()));

    KeyMap map;
    map.insert("Q", {KeyMapKey, {100, 200}});
    map.insert("FIRE", {KeyMapFire, {400, 300}});
    map.insert("POSCENTER", {KeyMapPosCenter, {270, 700}});
    map.insert("W", {KeyMapPosUp, {270, 654}});
    map.insert("Space", {KeyMapSlideRight, {300, 450}});
    replaceCurrentKeyMap(map);
    m_touch->keyMapPlayer()->keyBoardSettingSave();
    QCOMPARE(m_overlay->buttons().size(), 4);
}

void TestKeyMapOpacity::cleanup()
{
    m_screen.reset();
}

void TestKeyMapOpacity::menuSliderFadesOverlay()
{
    // The stored opacity (50 when none) is where the overlay starts.
    for (BaseButton *button : m_overlay->buttons())
        QCOMPARE(button->opacity(), 0.5);

    // The menu bar's slider, wired the way the menu bar wires it.
    verticalOpacitySlider slider;
    KeyMapPlayer *player = m_touch->keyMapPlayer();
    QObject::connect(&slider, &verticalOpacitySlider::sliderMoved, player, &KeyMapPlayer::opacitySliderMoved);
    QObject::connect(player, &KeyMapPlayer::opacityValueChanged, &slider, &verticalOpacitySlider::setValue);
    slider.show();
    QVERIFY(QTest::qWaitForWindowExposed(&slider));
    QSignalSpy followed(player, &KeyMapPlayer::opacityValueChanged);

    auto *handle = slider.findChild<QSlider *>(QStringLiteral("OpacitySlider"));
    dragHandle(handle, 0.2);
    QCOMPARE(followed.count(), 1);
    const int value = followed.at(0).at(0).toInt();
    QVERIFY2(value >= 15 && value <= 25, qPrintable(QString::number(value)));
    for (BaseButton *button : m_overlay->buttons())
        QCOMPARE(button->opacity(), value / 100.0);
    QCOMPARE(Global::keyMapOpacityMap.value(Global::currentPackage), value);

    // The keyboard moves the slider but reports nothing: the overlay keeps its opacity.
    handle->setFocus();
    QTest::keyClick(handle, Qt::Key_Up);
    QTest::keyClick(handle, Qt::Key_PageUp);
    QVERIFY(handle->value() != value);
    QCOMPARE(followed.count(), 1);
    for (BaseButton *button : m_overlay->buttons())
        QCOMPARE(button->opacity(), value / 100.0);
}

// The dialog after a save starts at the package's stored opacity; its handle fades the overlay.
void TestKeyMapOpacity::dialogAfterSave()
{
    KeyMapPlayer *player = m_touch->keyMapPlayer();
    player->opacitySliderMoved(30);
    OpacityAdjustDialog dialog(QStringLiteral("Ctrl + 1"));
    QObject::connect(&dialog, &OpacityAdjustDialog::sliderMoved, player, &KeyMapPlayer::opacitySliderMoved);
    dialog.setValue(Global::keyMapOpacityMap.value(Global::currentPackage, 50));
    auto *handle = dialog.findChild<QSlider *>(QStringLiteral("OpacitySlider"));
    QCOMPARE(handle->value(), 30);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QSignalSpy followed(player, &KeyMapPlayer::opacityValueChanged);
    dragHandle(handle, 0.9);
    QCOMPARE(followed.count(), 1);
    const int value = followed.at(0).at(0).toInt();
    QVERIFY2(value >= 85 && value <= 95, qPrintable(QString::number(value)));
    for (BaseButton *button : m_overlay->buttons())
        QCOMPARE(button->opacity(), value / 100.0);
}

// The overlay at 70 % over the picture: the pad's middle blends its picture with the picture below;
// nowhere is a button's picture at full strength.
void TestKeyMapOpacity::overlayPixels()
{
    m_touch->keyMapPlayer()->opacitySliderMoved(70);
    QTest::qWait(100);
    const QImage shot = m_screen->grab().toImage();
    shot.save(TestArtefacts::path(QStringLiteral("keymap-overlay-in-play.png")));
    const QColor below(30, 136, 229);
    // The pad's middle as drawn at full strength: its picture's middle pixel over the picture below.
    const QImage padPicture(QStringLiteral(":/images/key_operate_position.png"));
    const QColor middle = padPicture.pixelColor(padPicture.width() / 2, padPicture.height() / 2);
    const auto over = [&middle](int p, int b) {
        return int(p * middle.alphaF() + b * (1 - middle.alphaF()) + 0.5);
    };
    const QColor pad(over(middle.red(), below.red()), over(middle.green(), below.green()),
                     over(middle.blue(), below.blue()));
    const QColor seen = shot.pixelColor(270, 700);
    const auto blend = [](int a, int b) { return int(a * 0.7 + b * 0.3); };
    const QString what = QStringLiteral("pad %1, seen %2").arg(pad.name(), seen.name());
    QVERIFY2(qAbs(seen.red() - blend(pad.red(), below.red())) <= 3 &&
                 qAbs(seen.green() - blend(pad.green(), below.green())) <= 3 &&
                 qAbs(seen.blue() - blend(pad.blue(), below.blue())) <= 3,
             qPrintable(what));
    // Away from the buttons the picture shows through (the touch layer itself is all but transparent).
    const QColor away = shot.pixelColor(5, 5);
    QVERIFY2(qAbs(away.red() - below.red()) <= 2 && qAbs(away.green() - below.green()) <= 2 &&
                 qAbs(away.blue() - below.blue()) <= 2,
             qPrintable(away.name()));
    // Display-only: no close buttons, no tips, the mouse passes.
    for (BaseButton *button : m_overlay->buttons()) {
        QVERIFY(button->displayOnly);
        QVERIFY(button->testAttribute(Qt::WA_TransparentForMouseEvents));
    }
}

QTEST_MAIN(TestKeyMapOpacity)
#include "tst_keymapopacity.moc"
