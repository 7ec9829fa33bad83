// The overlay's opacity as the program wires it: the play overlay on the touch layer (built by the
// key-map player, shown by the key-map feature), the menu's vertical slider and the opacity dialog
// after a save. A drag of either handle fades every overlay button and emits the opacity signal the
// menu bar follows; a keyboard change emits nothing. What the user sees is checked on screenshots of
// the root window: the Android picture is a native child window inside the Android window (as the
// render library's is), which covers anything painted into that window; the overlay's buttons must
// show over it, once without a compositing manager (opaque, cut to its buttons) and once with
// xcompmgr (blended at the chosen opacity), and follow the window when it moves, hides and shows.

#include "androidtouchwidget.h"
#include "basebutton.h"
#include "global.h"
#include "keymapfile.h"
#include "keymapoverlay.h"
#include "keymapplayer.h"
#include "keymapwiring.h"
#include "opacityadjustdialog.h"
#include "overlaywindow.h"
#include "programrun.h"
#include "testartefacts.h"
#include "verticalopacityslider.h"
#include "x11display.h"

#include <QLabel>
#include <QProcess>
#include <QScopeGuard>
#include <QScreen>
#include <QSignalSpy>
#include <QSlider>
#include <QStandardPaths>
#include <QStyleOptionSlider>
#include <QTemporaryDir>
#include <QTranslator>
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

QImage grabRoot(const QRect &rect)
{
    return QGuiApplication::primaryScreen()
        ->grabWindow(0, rect.x(), rect.y(), rect.width(), rect.height())
        .toImage();
}

bool near(const QColor &a, const QColor &b, int tolerance)
{
    return qAbs(a.red() - b.red()) <= tolerance && qAbs(a.green() - b.green()) <= tolerance &&
           qAbs(a.blue() - b.blue()) <= tolerance;
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
    void overlayPixels_data();
    void overlayPixels();
    void overlayFollowsTheWindow();
    void dialogTextsFit();

private:
    // The pixel of the root window at a point of the picture.
    QColor seenAt(const QPoint &picturePoint) const;
    QWidget *m_picture = nullptr;
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
    // The render library's window: a native child over the touch layer that shows the picture.
    m_picture = new QWidget(m_screen.get());
    m_picture->setAttribute(Qt::WA_NativeWindow);
    m_picture->setAutoFillBackground(true);
    m_picture->setPalette(palette);
    m_picture->setGeometry(0, 0, 540, 960);
    m_picture->raise();
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

QColor TestKeyMapOpacity::seenAt(const QPoint &picturePoint) const
{
    const QPoint global = m_touch->mapToGlobal(picturePoint);
    return grabRoot(QRect(global, QSize(1, 1))).pixelColor(0, 0);
}

void TestKeyMapOpacity::overlayPixels_data()
{
    QTest::addColumn<bool>("compositor");
    QTest::newRow("no compositing manager") << false;
    QTest::newRow("xcompmgr") << true;
}

// The overlay at 70 % over the picture, on the root window as the user sees it. Without a compositing
// manager the buttons are opaque (an alpha channel would show black); with one the pad's middle blends
// its picture with the picture below. Away from the buttons the picture shows in both.
void TestKeyMapOpacity::overlayPixels()
{
    QFETCH(bool, compositor);
    if (qEnvironmentVariableIsEmpty("DISPLAY") || QGuiApplication::platformName() != QLatin1String("xcb"))
        QSKIP("needs an X server: the overlay is a window of its own on it");
    QVERIFY2(!X11Display::compositingManagerRunning(), "another compositing manager runs on this display");
    QProcess manager;
    if (compositor) {
        if (QStandardPaths::findExecutable(QStringLiteral("xcompmgr")).isEmpty())
            QSKIP("xcompmgr is not installed (scripts/setup installs it)");
        manager.start(QStringLiteral("xcompmgr"), QStringList());
        QVERIFY(manager.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(X11Display::compositingManagerRunning(), 10000);
        // The overlay adapts when a map is shown.
        m_touch->keyMapPlayer()->keyBoardSettingSave();
    }
    const auto stopManager = qScopeGuard([&manager] {
        if (manager.state() != QProcess::NotRunning) {
            manager.terminate();
            manager.waitForFinished(5000);
        }
    });
    QCOMPARE(m_overlay->window()->composited(), compositor);
    m_touch->keyMapPlayer()->opacitySliderMoved(70);
    // The pad's middle, where its picture is fully covered.
    const QImage padPicture(QStringLiteral(":/images/key_operate_position.png"));
    const QColor pad = padPicture.pixelColor(padPicture.width() / 2, padPicture.height() / 2);
    QCOMPARE(pad.alpha(), 255);
    const QColor below(30, 136, 229);
    const auto blend = [](int a, int b) { return int(a * 0.7 + b * 0.3); };
    const QColor expected = compositor
                                ? QColor(blend(pad.red(), below.red()), blend(pad.green(), below.green()),
                                         blend(pad.blue(), below.blue()))
                                : pad;
    const QPoint padCentre(270, 700);
    QColor seen;
    const bool shown = waitUntil(
        [&] {
            seen = seenAt(padCentre);
            return near(seen, expected, 4);
        },
        10000);
    grabRoot(QRect(m_touch->mapToGlobal(QPoint()), m_touch->size()))
        .save(TestArtefacts::path(compositor ? QStringLiteral("keymap-overlay-in-play-composited.png")
                                             : QStringLiteral("keymap-overlay-in-play.png")));
    QVERIFY2(
        shown,
        qPrintable(
            QStringLiteral("pad %1, expected %2, seen %3").arg(pad.name(), expected.name(), seen.name())));
    // The key button and the fire button show too; away from the buttons the picture shows.
    QVERIFY(!near(seenAt(QPoint(100, 200)), below, 10));
    QVERIFY(!near(seenAt(QPoint(400, 300)), below, 10));
    QVERIFY2(near(seenAt(QPoint(5, 5)), below, 2), qPrintable(seenAt(QPoint(5, 5)).name()));
    QVERIFY2(near(seenAt(QPoint(450, 900)), below, 2), qPrintable(seenAt(QPoint(450, 900)).name()));
    // Display-only: no close buttons, no tips, the mouse passes.
    for (BaseButton *button : m_overlay->buttons()) {
        QVERIFY(button->displayOnly);
        QVERIFY(button->testAttribute(Qt::WA_TransparentForMouseEvents));
    }
    // Switched off, nothing of it stays over the picture.
    m_touch->keyMapPlayer()->clearOverlay();
    QVERIFY(waitUntil([&] { return near(seenAt(padCentre), below, 2); }, 10000));
}

// The overlay follows the Android window: a move carries the buttons along, a hide takes them away, a
// show brings them back, a resize of the layer (rotation, maximise, full screen) places them anew.
void TestKeyMapOpacity::overlayFollowsTheWindow()
{
    if (qEnvironmentVariableIsEmpty("DISPLAY") || QGuiApplication::platformName() != QLatin1String("xcb"))
        QSKIP("needs an X server: the overlay is a window of its own on it");
    const QColor below(30, 136, 229);
    const QPoint padCentre(270, 700);
    QVERIFY(waitUntil([&] { return !near(seenAt(padCentre), below, 10); }, 10000));
    OverlayWindow *window = m_overlay->window();

    m_screen->move(m_screen->pos() + QPoint(120, 40));
    QVERIFY(waitUntil(
        [&] { return window->geometry() == QRect(m_touch->mapToGlobal(QPoint()), m_touch->size()); }, 10000));
    QVERIFY(waitUntil([&] { return !near(seenAt(padCentre), below, 10); }, 10000));

    m_screen->hide();
    QVERIFY(waitUntil([&] { return !window->isVisible(); }, 5000));
    m_screen->show();
    QVERIFY(waitUntil([&] { return window->isVisible(); }, 5000));
    QVERIFY(waitUntil([&] { return !near(seenAt(padCentre), below, 10); }, 10000));

    m_screen->showMinimized();
    QVERIFY(waitUntil([&] { return !window->isVisible(); }, 5000));
    m_screen->showNormal();
    QVERIFY(waitUntil([&] { return window->isVisible(); }, 5000));

    // The layer placed anew inside the window (as the layout does after a rotation or a maximise).
    m_touch->setGeometry(20, 10, 480, 853);
    QVERIFY(waitUntil(
        [&] { return window->geometry() == QRect(m_touch->mapToGlobal(QPoint()), m_touch->size()); }, 10000));
    grabRoot(m_screen->frameGeometry())
        .save(TestArtefacts::path(QStringLiteral("keymap-overlay-followed.png")));
}

// The opacity dialog's texts, in English, are seen whole: each fits its label, or is cut short with
// the whole text as the label's tip.
void TestKeyMapOpacity::dialogTextsFit()
{
    QTranslator english;
    QVERIFY(english.load(QStringLiteral(":/translations/orvanta_en.qm")));
    QCoreApplication::installTranslator(&english);
    const auto removeTranslator = qScopeGuard([&english] { QCoreApplication::removeTranslator(&english); });
    OpacityAdjustDialog dialog(QStringLiteral("Ctrl + 1"));
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    for (const char *name : {"label_opacity", "label_tip"}) {
        auto *label = dialog.findChild<QLabel *>(QLatin1String(name));
        QVERIFY(label);
        const QString shown = label->text();
        const QString whole = label->toolTip().isEmpty() ? shown : label->toolTip();
        QVERIFY2(whole.contains(QLatin1String(name) == QLatin1String("label_tip") ? "Ctrl + 1" : "Opacity"),
                 qPrintable(whole));
        const QFontMetrics metrics(label->font());
        const QRect needed =
            metrics.boundingRect(label->contentsRect(),
                                 int(label->alignment()) | (label->wordWrap() ? Qt::TextWordWrap : 0), shown);
        QVERIFY2(needed.width() <= label->contentsRect().width() &&
                     needed.height() <= label->contentsRect().height(),
                 qPrintable(QStringLiteral("%1: \"%2\" needs %3 x %4 in %5 x %6")
                                .arg(QLatin1String(name), shown)
                                .arg(needed.width())
                                .arg(needed.height())
                                .arg(label->contentsRect().width())
                                .arg(label->contentsRect().height())));
        // Inside the dialog.
        QVERIFY(dialog.rect().contains(label->geometry()));
        if (shown != whole)
            QVERIFY2(shown.endsWith(QChar(0x2026)), qPrintable(shown));
    }
}

QTEST_MAIN(TestKeyMapOpacity)
#include "tst_keymapopacity.moc"
