#include "global.h"
#include "orvwindow.h"
#include "settingmodel.h"

#include <QDialog>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <functional>

// A stand-in for the shell's quit question with the same buttons: "btn_confirm" accepts,
// "btn_cancel" rejects. It counts how often it was opened.
struct QuestionProbe
{
    int opened = 0;
    // Runs while the question is open, with the question dialog; clicks one of its buttons.
    std::function<void(QDialog *)> whileOpen;

    int ask(QWidget *parent)
    {
        ++opened;
        QDialog dialog(parent);
        auto *confirm = new QPushButton(QStringLiteral("sure"), &dialog);
        confirm->setObjectName(QStringLiteral("btn_confirm"));
        auto *cancel = new QPushButton(QStringLiteral("cancel"), &dialog);
        cancel->setObjectName(QStringLiteral("btn_cancel"));
        cancel->move(100, 0);
        QObject::connect(confirm, &QPushButton::clicked, &dialog, &QDialog::accept);
        QObject::connect(cancel, &QPushButton::clicked, &dialog, &QDialog::reject);
        if (whileOpen)
            QTimer::singleShot(0, &dialog, [this, &dialog] { whileOpen(&dialog); });
        return dialog.exec();
    }
};

static void click(QDialog *dialog, const char *name)
{
    QTest::mouseClick(dialog->findChild<QPushButton *>(QLatin1String(name)), Qt::LeftButton);
}

class TestOrvWindow : public QObject
{
    Q_OBJECT

private slots:
    void cleanup();
    void flags();
    void frameArithmetic_data();
    void frameArithmetic();
    void closeWithoutQuestionQuitsEveryTime();
    void cancelKeepsWindowAndAsksAgain();
    void secondCloseWhileAskingDoesNothing();
    void afterConfirmFurtherClosesEmitNothing();
    void defaultSwitchIsTheSetting();

private:
    QTemporaryDir m_appData;
};

void TestOrvWindow::cleanup()
{
    OrvWindow::setCloseQuestion({});
}

void TestOrvWindow::flags()
{
    OrvWindow window;
    QCOMPARE(int(window.windowFlags() & 0xC800), 0xC800);
    QVERIFY(window.windowFlags().testFlag(Qt::FramelessWindowHint));
    QVERIFY(window.isWindow());
    QCOMPARE(window.contentSize(724, 1316), QSize(720, 1280));
    QCOMPARE(window.addFrameHeight(1280), 1316);
    QCOMPARE(window.addFrameWidth(720), 724);
    QCOMPARE(window.removeFrameHeight(1316), 1280);
    QCOMPARE(window.removeFrameWidth(724), 720);
}

void TestOrvWindow::frameArithmetic_data()
{
    QTest::addColumn<QString>("op");
    QTest::addColumn<int>("value");
    QTest::addColumn<double>("ratio");
    QTest::addColumn<bool>("flag");
    QTest::addColumn<int>("expected");

    QTest::newRow("portrait width from height") << "widthForHeight" << 1316 << 0.5625 << false << 724;
    QTest::newRow("portrait height from width") << "heightForWidth" << 724 << 0.5625 << false << 1316;
    QTest::newRow("width truncates 542.25") << "widthForHeight" << 1000 << 0.5625 << false << 546;
    QTest::newRow("landscape width divides") << "widthForHeight" << 756 << 0.5625 << true << 1284;
    QTest::newRow("landscape height multiplies") << "heightForWidth" << 1284 << 0.5625 << true << 756;
    // 963 / 0.5625 = 1712.0 exactly; 962 / 0.5625 = 1710.2 truncates to 1710
    QTest::newRow("height truncates") << "heightForWidth" << 966 << 0.5625 << false << 1710 + 36;
}

void TestOrvWindow::frameArithmetic()
{
    QFETCH(QString, op);
    QFETCH(int, value);
    QFETCH(double, ratio);
    QFETCH(bool, flag);
    QFETCH(int, expected);

    OrvWindow window;
    const int result = op == "widthForHeight" ? window.widthForHeight(value, ratio, flag)
                                              : window.heightForWidth(value, ratio, flag);
    QCOMPARE(result, expected);
}

void TestOrvWindow::closeWithoutQuestionQuitsEveryTime()
{
    QuestionProbe probe;
    OrvWindow::setCloseQuestion({[] { return false; }, [&probe](QWidget *p) { return probe.ask(p); }});
    OrvWindow window;
    window.show();
    QSignalSpy quit(&window, &OrvWindow::quitApp);

    QVERIFY(!window.close());
    QVERIFY(!window.close());
    QCOMPARE(quit.count(), 2);
    QCOMPARE(quit.at(0).at(0).toBool(), false);
    QCOMPARE(quit.at(1).at(0).toBool(), false);
    QCOMPARE(probe.opened, 0);
    QVERIFY(window.isVisible());
}

void TestOrvWindow::cancelKeepsWindowAndAsksAgain()
{
    QuestionProbe probe;
    OrvWindow::setCloseQuestion({[] { return true; }, [&probe](QWidget *p) { return probe.ask(p); }});
    OrvWindow window;
    window.show();
    QSignalSpy quit(&window, &OrvWindow::quitApp);

    QWidget *questionParent = nullptr;
    bool closingWhileOpen = false;
    probe.whileOpen = [&](QDialog *question) {
        questionParent = question->parentWidget();
        closingWhileOpen = window.isClosing();
        click(question, "btn_cancel");
    };
    QVERIFY(!window.close());
    QCOMPARE(questionParent, &window);
    QVERIFY(closingWhileOpen);
    QCOMPARE(probe.opened, 1);
    QCOMPARE(quit.count(), 0);
    QVERIFY(window.isVisible());
    QVERIFY(!window.isClosing());

    // The next request asks again; this time the user confirms.
    probe.whileOpen = [](QDialog *question) { click(question, "btn_confirm"); };
    QVERIFY(!window.close());
    QCOMPARE(probe.opened, 2);
    QCOMPARE(quit.count(), 1);
    QCOMPARE(quit.at(0).at(0).toBool(), false);
    QVERIFY(window.isVisible());
}

void TestOrvWindow::secondCloseWhileAskingDoesNothing()
{
    QuestionProbe probe;
    OrvWindow::setCloseQuestion({[] { return true; }, [&probe](QWidget *p) { return probe.ask(p); }});
    OrvWindow window;
    window.show();
    QSignalSpy quit(&window, &OrvWindow::quitApp);

    int quitsSeenWhileOpen = -1;
    probe.whileOpen = [&](QDialog *question) {
        window.close(); // e.g. the tray's quit entry while the question is up
        quitsSeenWhileOpen = quit.count();
        click(question, "btn_cancel");
    };
    window.close();
    QCOMPARE(probe.opened, 1);
    QCOMPARE(quitsSeenWhileOpen, 0);
    QCOMPARE(quit.count(), 0);
}

void TestOrvWindow::afterConfirmFurtherClosesEmitNothing()
{
    QuestionProbe probe;
    OrvWindow::setCloseQuestion({[] { return true; }, [&probe](QWidget *p) { return probe.ask(p); }});
    OrvWindow window;
    window.show();
    QSignalSpy quit(&window, &OrvWindow::quitApp);

    probe.whileOpen = [](QDialog *question) { click(question, "btn_confirm"); };
    window.close();
    QCOMPARE(quit.count(), 1);
    window.close();
    window.close();
    QCOMPARE(probe.opened, 1);
    QCOMPARE(quit.count(), 1);
    QVERIFY(window.isClosing());
}

void TestOrvWindow::defaultSwitchIsTheSetting()
{
    qputenv("APPDATA", m_appData.path().toLocal8Bit());
    Global::vmName = QStringLiteral("Orvanta_0");
    QuestionProbe probe;
    probe.whileOpen = [](QDialog *question) { click(question, "btn_cancel"); };
    OrvWindow::setCloseQuestion({{}, [&probe](QWidget *p) { return probe.ask(p); }});
    OrvWindow window;
    QSignalSpy quit(&window, &OrvWindow::quitApp);

    SettingModel::instance()->setShowCloseDialog(true);
    window.close();
    QCOMPARE(probe.opened, 1);
    QCOMPARE(quit.count(), 0);

    // "No remind" in the quit question switches it off: the next close quits at once.
    SettingModel::instance()->setShowCloseDialog(false);
    window.close();
    QCOMPARE(probe.opened, 1);
    QCOMPARE(quit.count(), 1);
    SettingModel::instance()->setShowCloseDialog(true);
}

QTEST_MAIN(TestOrvWindow)
#include "tst_orvwindow.moc"
