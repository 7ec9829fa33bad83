#include "commondialog.h"
#include "dialogtype.h"

#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

// Runs the dialog modally, the way its callers do, and clicks the named child once the dialog's
// own event loop runs. Returns what exec() returned.
static int execAndClick(CommonDialog &dialog, const QString &objectName)
{
    QTimer::singleShot(0, &dialog, [&dialog, objectName] {
        auto *button = dialog.findChild<QPushButton *>(objectName);
        if (!button || !button->isVisible()) {
            // Leave the loop with a value that no button gives, so the test fails visibly.
            dialog.done(-1);
            return;
        }
        QTest::mouseClick(button, Qt::LeftButton);
    });
    return dialog.exec();
}

static int execAndPressEscape(CommonDialog &dialog)
{
    QTimer::singleShot(0, &dialog, [&dialog] { QTest::keyClick(&dialog, Qt::Key_Escape); });
    return dialog.exec();
}

static const QStringList kRows{"operator_normal", "operator_error", "operator_cleardata", "operator_memory"};

class TestCommonDialog : public QObject
{
    Q_OBJECT

private slots:
    void looks();
    void rowOfKind_data();
    void rowOfKind();
    void buttonResults_data();
    void buttonResults();
    void closeButtonAndEscape_data();
    void closeButtonAndEscape();
};

void TestCommonDialog::looks()
{
    CommonDialog dialog(QStringLiteral("Crash_Message"), static_cast<int>(DialogType::Message), nullptr);
    QVERIFY(dialog.windowFlags().testFlag(Qt::FramelessWindowHint));
    QCOMPARE(dialog.windowFlags() & Qt::WindowType_Mask, Qt::Tool);
    QCOMPARE(dialog.objectName(), QStringLiteral("CommonDialog"));
    QCOMPARE(dialog.size(), QSize(414, 180));
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Dialog"));
    auto *label = dialog.findChild<QLabel *>(QStringLiteral("dlg_msg"));
    QVERIFY(label);
    QCOMPARE(label->geometry(), QRect(0, 62, 414, 41));
    QVERIFY(label->alignment().testFlag(Qt::AlignHCenter));
    QVERIFY(label->alignment().testFlag(Qt::AlignVCenter));
    auto *close = dialog.findChild<QPushButton *>(QStringLiteral("dlg_close"));
    QVERIFY(close);
    QCOMPARE(close->geometry(), QRect(391, 10, 13, 13));
    for (const QString &row : kRows) {
        auto *widget = dialog.findChild<QWidget *>(row);
        QVERIFY2(widget, qPrintable(row));
        QCOMPARE(widget->geometry(), QRect(0, 140, 414, 30));
    }
    const auto right = dialog.findChild<QPushButton *>(QStringLiteral("btn_normal_confirm"));
    const auto left = dialog.findChild<QPushButton *>(QStringLiteral("btn_normal_cancel"));
    QCOMPARE(right->geometry(), QRect(312, 0, 86, 30));
    QCOMPARE(left->geometry(), QRect(212, 0, 86, 30));
}

void TestCommonDialog::rowOfKind_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("msg");
    QTest::addColumn<QString>("row");
    QTest::addColumn<QStringList>("buttonTexts");

    QTest::newRow("4 memory warning") << 4 << "low memory"
                                      << "operator_memory" << QStringList{"continue", "cancel"};
    QTest::newRow("9 error code") << 9 << "error text"
                                  << "operator_error" << QStringList{"confirm"};
    QTest::newRow("10 error tutorial") << 10 << "error text"
                                       << "operator_error" << QStringList{"tutorial"};
    QTest::newRow("11 confirm") << 11 << "sure?"
                                << "operator_normal" << QStringList{"cancel", "confirm"};
    QTest::newRow("12 message") << 12 << "app_starting"
                                << "operator_error" << QStringList{"confirm"};
    QTest::newRow("12 empty message") << 12 << ""
                                      << "operator_error" << QStringList{"confirm"};
    QTest::newRow("13 clear data") << 13 << "need_clear_data"
                                   << "operator_cleardata" << QStringList{"backup", "update"};
    QTest::newRow("0 no row") << 0 << "x"
                              << "" << QStringList{};
    QTest::newRow("3 no row") << 3 << "x"
                              << "" << QStringList{};
    QTest::newRow("5 no row") << 5 << "x"
                              << "" << QStringList{};
    QTest::newRow("8 no row") << 8 << "x"
                              << "" << QStringList{};
    QTest::newRow("14 no row") << 14 << "x"
                               << "" << QStringList{};
    QTest::newRow("-1 no row") << -1 << "x"
                               << "" << QStringList{};
}

void TestCommonDialog::rowOfKind()
{
    QFETCH(int, kind);
    QFETCH(QString, msg);
    QFETCH(QString, row);
    QFETCH(QStringList, buttonTexts);

    CommonDialog dialog(msg, kind, nullptr);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));

    QCOMPARE(dialog.findChild<QLabel *>(QStringLiteral("dlg_msg"))->text(), msg);
    QVERIFY(dialog.findChild<QPushButton *>(QStringLiteral("dlg_close"))->isVisible());
    for (const QString &name : kRows)
        QCOMPARE(dialog.findChild<QWidget *>(name)->isVisible(), name == row);

    // What the user reads on the visible buttons, left to right.
    QStringList shown;
    if (!row.isEmpty()) {
        auto buttons = dialog.findChild<QWidget *>(row)->findChildren<QPushButton *>();
        std::sort(buttons.begin(), buttons.end(),
                  [](QPushButton *a, QPushButton *b) { return a->x() < b->x(); });
        for (QPushButton *button : buttons)
            if (button->isVisible())
                shown << button->text();
    }
    QCOMPARE(shown, buttonTexts);
}

void TestCommonDialog::buttonResults_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("button");
    QTest::addColumn<int>("result");

    QTest::newRow("11 cancel rejects") << 11 << "btn_normal_cancel" << 0;
    QTest::newRow("11 confirm accepts") << 11 << "btn_normal_confirm" << 1;
    QTest::newRow("12 confirm accepts") << 12 << "btn_error_confirm" << 1;
    QTest::newRow("9 confirm accepts") << 9 << "btn_error_confirm" << 1;
    QTest::newRow("10 tutorial accepts") << 10 << "btn_error_confirm" << 1;
    QTest::newRow("13 backup accepts") << 13 << "btn_clear_backup" << 1;
    QTest::newRow("13 update rejects") << 13 << "btn_clear_update" << 0;
    QTest::newRow("4 continue rejects") << 4 << "btn_memory_continue" << 0;
    QTest::newRow("4 cancel accepts") << 4 << "btn_memory_cancel" << 1;
}

void TestCommonDialog::buttonResults()
{
    QFETCH(int, kind);
    QFETCH(QString, button);
    QFETCH(int, result);

    CommonDialog dialog(QStringLiteral("text"), kind, nullptr);
    QCOMPARE(execAndClick(dialog, button), result);
    QVERIFY(!dialog.isVisible());
}

void TestCommonDialog::closeButtonAndEscape_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("closeResult");

    QTest::newRow("4") << 4 << 0;
    QTest::newRow("9 close acknowledges") << 9 << 1;
    QTest::newRow("10 close acknowledges") << 10 << 1;
    QTest::newRow("11") << 11 << 0;
    QTest::newRow("12") << 12 << 0;
    QTest::newRow("13") << 13 << 0;
    QTest::newRow("0 without row") << 0 << 0;
    QTest::newRow("20 without row") << 20 << 0;
}

void TestCommonDialog::closeButtonAndEscape()
{
    QFETCH(int, kind);
    QFETCH(int, closeResult);

    {
        CommonDialog dialog(QStringLiteral("text"), kind, nullptr);
        QCOMPARE(execAndClick(dialog, QStringLiteral("dlg_close")), closeResult);
    }
    {
        // Esc rejects whatever the kind, as for any dialog.
        CommonDialog dialog(QStringLiteral("text"), kind, nullptr);
        QCOMPARE(execAndPressEscape(dialog), 0);
    }
}

QTEST_MAIN(TestCommonDialog)
#include "tst_commondialog.moc"
