// The small widgets around the key-map editor: the opacity dialog and the menu's vertical slider, the
// on/off notice, and the tutorial with its tab style.

#include "keyboardcoursebookdialog.h"
#include "keyboardopendialog.h"
#include "opacityadjustdialog.h"
#include "testartefacts.h"
#include "verticalopacityslider.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QSlider>
#include <QStyleOptionSlider>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>
#include <QtTest>

class TestKeyMapWidgets : public QObject
{
    Q_OBJECT

private slots:
    void opacityStartValues();
    void opacityReports_data();
    void opacityReports();
    void opacityDialogTipAndSave();
    void notice_data();
    void notice();
    void tutorialTabs();
    void tutorialCloses_data();
    void tutorialCloses();
    void tutorialCaptionDrag_data();
    void tutorialCaptionDrag();
};

static QSlider *sliderOf(QWidget *w)
{
    return w->findChild<QSlider *>(QStringLiteral("OpacitySlider"));
}
static QLabel *valueLabelOf(QWidget *w)
{
    return w->findChild<QLabel *>(QStringLiteral("label_value"));
}

void TestKeyMapWidgets::opacityStartValues()
{
    OpacityAdjustDialog dialog(QStringLiteral("Ctrl + 1"));
    QCOMPARE(dialog.size(), QSize(400, 220));
    QCOMPARE(sliderOf(&dialog)->value(), 49);
    QCOMPARE(sliderOf(&dialog)->orientation(), Qt::Horizontal);
    QCOMPARE(sliderOf(&dialog)->maximum(), 99);
    QCOMPARE(sliderOf(&dialog)->pageStep(), 50);
    QCOMPARE(sliderOf(&dialog)->geometry(), QRect(79, 58, 260, 16));
    QCOMPARE(valueLabelOf(&dialog)->text(), QString());
    QVERIFY(dialog.windowFlags().testFlag(Qt::FramelessWindowHint));
    QCOMPARE(dialog.windowFlags() & Qt::WindowType_Mask, Qt::Tool);

    verticalOpacitySlider vertical;
    QCOMPARE(vertical.size(), QSize(55, 170));
    QCOMPARE(sliderOf(&vertical)->value(), 50);
    QCOMPARE(sliderOf(&vertical)->orientation(), Qt::Vertical);
    QCOMPARE(sliderOf(&vertical)->pageStep(), 10);
    QCOMPARE(valueLabelOf(&vertical)->text(), QStringLiteral("50%"));
}

// Which changes report a value: only a drag of the handle. Each row runs on both widgets.
void TestKeyMapWidgets::opacityReports_data()
{
    QTest::addColumn<bool>("vertical");
    QTest::addColumn<QString>("how");
    QTest::addColumn<int>("value");
    QTest::addColumn<bool>("emits");
    for (bool vertical : {false, true}) {
        const char *w = vertical ? "vertical" : "dialog";
        QTest::addRow("%s: setValue 99", w) << vertical << "setValue" << 99 << false;
        QTest::addRow("%s: slot 0", w) << vertical << "slot" << 0 << true;
        QTest::addRow("%s: handle drag", w) << vertical << "drag" << -1 << true;
        QTest::addRow("%s: keyboard", w) << vertical << "keys" << -1 << false;
        QTest::addRow("%s: page step click", w) << vertical << "page" << -1 << false;
    }
}

void TestKeyMapWidgets::opacityReports()
{
    QFETCH(bool, vertical);
    QFETCH(QString, how);
    QFETCH(int, value);
    QFETCH(bool, emits);

    std::unique_ptr<QWidget> widget;
    if (vertical)
        widget.reset(new verticalOpacitySlider);
    else
        widget.reset(new OpacityAdjustDialog(QStringLiteral("Ctrl + 1")));
    widget->show();
    QVERIFY(QTest::qWaitForWindowExposed(widget.get()));
    QSlider *slider = sliderOf(widget.get());
    QSignalSpy spy(widget.get(), SIGNAL(sliderMoved(int)));

    if (how == "setValue") {
        QMetaObject::invokeMethod(widget.get(), [&] {
            if (vertical)
                static_cast<verticalOpacitySlider *>(widget.get())->setValue(value);
            else
                static_cast<OpacityAdjustDialog *>(widget.get())->setValue(value);
        });
        QCOMPARE(slider->value(), value);
    } else if (how == "slot") {
        QMetaObject::invokeMethod(widget.get(), "sliderMovedSlot", Q_ARG(int, value));
    } else if (how == "drag") {
        // The handle is at the slider's value; drag it to the far end.
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
        const QPoint from = handle.center();
        const QPoint to = vertical ? QPoint(from.x(), 0) : QPoint(slider->width() - 1, from.y());
        QTest::mousePress(slider, Qt::LeftButton, Qt::NoModifier, from);
        QMouseEvent move(QEvent::MouseMove, to, slider->mapToGlobal(to), Qt::NoButton, Qt::LeftButton,
                         Qt::NoModifier);
        QApplication::sendEvent(slider, &move);
        QTest::mouseRelease(slider, Qt::LeftButton, Qt::NoModifier, to);
        value = slider->value();
        QCOMPARE(value, 99);
    } else if (how == "keys") {
        slider->setFocus();
        QTest::keyClick(slider, Qt::Key_Up);
        QTest::keyClick(slider, Qt::Key_PageUp);
        QVERIFY(slider->value() != (vertical ? 50 : 49));
    } else if (how == "page") {
        const QPoint groove = vertical ? QPoint(slider->width() / 2, 24) : QPoint(slider->width() - 2, 8);
        QTest::mouseClick(slider, Qt::LeftButton, Qt::NoModifier, groove);
        QVERIFY(slider->value() != (vertical ? 50 : 49));
    }

    QCOMPARE(spy.count(), emits ? 1 : 0);
    if (emits)
        QCOMPARE(spy.at(0).at(0).toInt(), value);
    if (how == "setValue" || how == "slot" || how == "drag")
        QCOMPARE(valueLabelOf(widget.get())->text(), QString::number(value) + "%");
}

void TestKeyMapWidgets::opacityDialogTipAndSave()
{
    // Without a translation the key itself is shown; the hot key fills its argument when it has one.
    OpacityAdjustDialog dialog(QStringLiteral("Ctrl + 1"));
    auto *tip = dialog.findChild<QLabel *>(QStringLiteral("label_tip"));
    // Between the slider row and the save area, across the dialog (the texts' fit is checked with the
    // English texts in tst_keymapopacity).
    QVERIFY(tip->geometry().top() >= 74 && tip->geometry().bottom() < 138);
    QVERIFY(dialog.rect().contains(tip->geometry()));
    QVERIFY(tip->text().contains(QStringLiteral("Ctrl + 1")));
    QTimer::singleShot(0, &dialog, [&dialog] {
        QTest::mouseClick(dialog.findChild<QPushButton *>(QStringLiteral("pushButton_save")), Qt::LeftButton);
    });
    QCOMPARE(dialog.exec(), int(QDialog::Accepted));

    OpacityAdjustDialog escaped(QStringLiteral("Ctrl + 1"));
    QTimer::singleShot(0, &escaped, [&escaped] { QTest::keyClick(&escaped, Qt::Key_Escape); });
    QCOMPARE(escaped.exec(), int(QDialog::Rejected));
}

void TestKeyMapWidgets::notice_data()
{
    QTest::addColumn<bool>("on");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("picture");
    QTest::newRow("on") << true << "Keyctrl_On"
                        << "keyctrl_on.png";
    QTest::newRow("off") << false << "Keyctrl_Off"
                         << "keyctrl_off.png";
}

void TestKeyMapWidgets::notice()
{
    QFETCH(bool, on);
    QFETCH(QString, text);
    QFETCH(QString, picture);
    KeyBoardOpenDialog dialog(on);
    QCOMPARE(dialog.size(), QSize(360, 160));
    QVERIFY(dialog.testAttribute(Qt::WA_TranslucentBackground));
    QCOMPARE(dialog.windowFlags() & Qt::WindowType_Mask, Qt::ToolTip);
    QCOMPARE(dialog.findChild<QLabel *>(QStringLiteral("label_tip"))->text(), text);
    QVERIFY(dialog.findChild<QWidget *>(QStringLiteral("widget_logo"))->styleSheet().contains(picture));
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(dialog.exec(), int(QDialog::Accepted));
    QVERIFY2(clock.elapsed() >= 1400, qPrintable(QString::number(clock.elapsed())));
}

void TestKeyMapWidgets::tutorialTabs()
{
    KeyBoardCoursebookDialog dialog;
    QCOMPARE(dialog.size(), QSize(950, 578));
    QVERIFY(dialog.windowFlags().testFlag(Qt::FramelessWindowHint));
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QTabWidget *tabs = dialog.tabs();
    QCOMPARE(tabs->objectName(), QStringLiteral("tab_picture"));
    QCOMPARE(tabs->currentIndex(), 0);
    QCOMPARE(tabs->currentWidget()->objectName(), QStringLiteral("tab_1"));
    QCOMPARE(tabs->tabPosition(), QTabWidget::West);
    QCOMPARE(tabs->count(), 6);
    const QStringList texts{"position", "key", "slide", "sensor", "fire", "setting"};
    const QStringList pictures{
        "directionControlHandle", "click", "slide", "gravitySensor", "aboutShootingGame",
        "coursebookSetting"};
    QTabBar *bar = tabs->tabBar();
    // Selected, hovered or not, every tab is 152 x 64; they stand one under the other.
    QTest::mouseMove(bar, bar->tabRect(2).center());
    for (int i = 0; i < 6; ++i) {
        QCOMPARE(tabs->tabText(i), texts[i]);
        QCOMPARE(bar->tabRect(i).size(), QSize(152, 64));
        QCOMPARE(bar->tabRect(i).top(), i * 64);
        QVERIFY(
            tabs->widget(i)->styleSheet().contains(":/images/KeyBoardCoursebook/" + pictures[i] + ".png"));
    }
    // The labels are drawn horizontally: the bar is a tab wide, not a tab high.
    QVERIFY(bar->width() >= 152);
    QCOMPARE(KeyboardTabStyle::instance(), KeyboardTabStyle::instance());
    QCOMPARE(KeyboardTabStyle::instance()->parent(), qApp);

    // The tab label's text is drawn horizontally (more ink spread across than down) and the
    // separator line is drawn under the tab.
    const QImage shot = bar->grab().toImage();
    dialog.grab().save(TestArtefacts::path(QStringLiteral("keymap-tutorial.png")));
    const QRect first = bar->tabRect(1);
    QCOMPARE(shot.pixelColor(first.left() + 10, first.bottom()), QColor(61, 66, 72));
    int minX = INT_MAX, maxX = -1, minY = INT_MAX, maxY = -1;
    for (int y = first.top() + 2; y < first.bottom() - 1; ++y) {
        for (int x = first.left() + 2; x < first.right() - 1; ++x) {
            const QColor c = shot.pixelColor(x, y);
            if (c.red() > 100 && c.red() < 140 && c.blue() > 120) { // the grey #7a7d8d text
                minX = qMin(minX, x), maxX = qMax(maxX, x), minY = qMin(minY, y), maxY = qMax(maxY, y);
            }
        }
    }
    QVERIFY2(maxX > minX && maxX - minX > maxY - minY, "tab text not drawn horizontally");
}

void TestKeyMapWidgets::tutorialCloses_data()
{
    QTest::addColumn<bool>("escape");
    QTest::newRow("return button") << false;
    QTest::newRow("escape") << true;
}

void TestKeyMapWidgets::tutorialCloses()
{
    QFETCH(bool, escape);
    KeyBoardCoursebookDialog dialog;
    QTimer::singleShot(0, &dialog, [&] {
        if (escape)
            QTest::keyClick(&dialog, Qt::Key_Escape);
        else
            QTest::mouseClick(dialog.findChild<QPushButton *>(QStringLiteral("btn_close")), Qt::LeftButton);
    });
    QCOMPARE(dialog.exec(), int(QDialog::Rejected));
}

// The top 60 pixels drag the dialog, except over the return button's rectangle (30..43, 20..44).
void TestKeyMapWidgets::tutorialCaptionDrag_data()
{
    QTest::addColumn<QPoint>("point");
    QTest::addColumn<bool>("drags");
    QTest::newRow("caption left") << QPoint(10, 10) << true;
    QTest::newRow("over the title") << QPoint(400, 30) << true;
    QTest::newRow("inside the return button") << QPoint(35, 30) << false;
    QTest::newRow("return button's edge") << QPoint(30, 30) << true;
    QTest::newRow("below the caption") << QPoint(400, 70) << false;
    QTest::newRow("last caption row") << QPoint(400, 59) << true;
}

void TestKeyMapWidgets::tutorialCaptionDrag()
{
    QFETCH(QPoint, point);
    QFETCH(bool, drags);
    KeyBoardCoursebookDialog dialog;
    QCOMPARE(dialog.isDragPoint(point), drags);
}

QTEST_MAIN(TestKeyMapWidgets)
#include "tst_keymapwidgets.moc"
