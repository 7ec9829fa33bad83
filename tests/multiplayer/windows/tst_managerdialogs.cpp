#include "backuporrestoreselectdialog.h"
#include "basedialog.h"
#include "dialogdriver.h"
#include "mpvboxerrordialog.h"
#include "msgdialog.h"
#include "playercreatedialog.h"
#include "urlcatcher.h"

#include <QComboBox>
#include <QDesktopServices>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTranslator>
#include <QtTest>

using namespace DialogDriver;
using namespace OrvMulti;

class TestManagerDialogs : public QObject
{
    Q_OBJECT

private slots:
    void messageButtons_data();
    void messageButtons();
    void messageResults_data();
    void messageResults();
    void messageLooks();
    void countField_data();
    void countField();
    void emptyCountBecomesOneOnFocusOut();
    void createDialogResults();
    void createDialogLooks();
    void baseDialogDrag_data();
    void baseDialogDrag();
    void baseDialogShadow();
    void backupOrRestore_data();
    void backupOrRestore();
    void vboxErrorDialog();
    void chineseTranslation();
};

static QPushButton *button(QWidget &dialog, const char *name)
{
    return dialog.findChild<QPushButton *>(QLatin1String(name));
}

void TestManagerDialogs::messageButtons_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QStringList>("shown");

    QTest::newRow("notice") << int(MsgDialog::Notice) << QStringList{"ok"};
    QTest::newRow("question") << int(MsgDialog::Question) << QStringList{"yes", "no"};
    QTest::newRow("retry") << int(MsgDialog::Retry) << QStringList{"retry", "no"};
}

void TestManagerDialogs::messageButtons()
{
    QFETCH(int, kind);
    QFETCH(QStringList, shown);

    MsgDialog dialog(kind, QStringLiteral("is confirm to delete"));
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QStringList texts;
    QList<QPushButton *> buttons = dialog.findChildren<QPushButton *>();
    std::sort(buttons.begin(), buttons.end(), [](QPushButton *a, QPushButton *b) { return a->x() < b->x(); });
    for (QPushButton *b : buttons)
        if (b->isVisible() && !b->text().isEmpty())
            texts << b->text();
    QCOMPARE(texts, shown);
    QVERIFY(button(dialog, "pushButton_close")->isVisible());
    QCOMPARE(dialog.findChild<QLabel *>(QStringLiteral("label_content"))->text(),
             QStringLiteral("is confirm to delete"));
}

void TestManagerDialogs::messageResults_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("button");
    QTest::addColumn<int>("result");

    QTest::newRow("notice ok") << int(MsgDialog::Notice) << "pushButton_ok" << 1;
    QTest::newRow("notice close") << int(MsgDialog::Notice) << "pushButton_close" << 0;
    QTest::newRow("question yes") << int(MsgDialog::Question) << "pushButton_yes" << 1;
    QTest::newRow("question no") << int(MsgDialog::Question) << "pushButton_reject" << 0;
    QTest::newRow("question close") << int(MsgDialog::Question) << "pushButton_close" << 0;
    QTest::newRow("retry accepts") << int(MsgDialog::Retry) << "pushButton_yes" << 1;
    QTest::newRow("retry no") << int(MsgDialog::Retry) << "pushButton_reject" << 0;
}

void TestManagerDialogs::messageResults()
{
    QFETCH(int, kind);
    QFETCH(QString, button);
    QFETCH(int, result);

    MsgDialog dialog(kind, QStringLiteral("text"));
    const int got = execWith(dialog, [&] {
        auto *b = dialog.findChild<QPushButton *>(button);
        QVERIFY(b && b->isVisible());
        QTest::mouseClick(b, Qt::LeftButton);
    });
    QCOMPARE(got, result);
}

void TestManagerDialogs::messageLooks()
{
    // A title from the user is shown as it stands, never as markup.
    MsgDialog dialog(MsgDialog::Question, QStringLiteral("<b>x</b>删除失败"));
    QVERIFY(dialog.windowFlags().testFlag(Qt::FramelessWindowHint));
    QVERIFY(dialog.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    QCOMPARE(dialog.size(), QSize(400, 220));
    QCOMPARE(button(dialog, "pushButton_yes")->geometry(), QRect(60, 145, 120, 45));
    QCOMPARE(button(dialog, "pushButton_reject")->geometry(), QRect(230, 145, 120, 45));
    QCOMPARE(button(dialog, "pushButton_ok")->geometry(), QRect(130, 145, 120, 45));
    QCOMPARE(button(dialog, "pushButton_close")->geometry(), QRect(373, 10, 17, 17));
    auto *label = dialog.findChild<QLabel *>(QStringLiteral("label_content"));
    QCOMPARE(label->textFormat(), Qt::PlainText);

    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QImage shot;
    QTRY_VERIFY_WITH_TIMEOUT(
        (shot = grabShownWindow(&dialog), showsPicture(shot, QPoint(380, 17), QStringLiteral("btn_close"))),
        10000);
    QVERIFY(keepArtifact(shot, QStringLiteral("MsgDialog-question")));
    QVERIFY(showsPicture(shot, QPoint(24, 18), QStringLiteral("logo")));
    QCOMPARE(shot.pixel(66, 150), qRgb(0x01, 0x90, 0xff)); // "yes", filled
    QCOMPARE(shot.pixel(200, 40), qRgb(0x35, 0x3a, 0x40)); // panel
}

void TestManagerDialogs::countField_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("text");

    QTest::newRow("1") << "1"
                       << "1";
    QTest::newRow("9") << "9"
                       << "9";
    QTest::newRow("10") << "10"
                        << "10";
    QTest::newRow("0 refused") << "0"
                               << "";
    QTest::newRow("11 stops at 1") << "11"
                                   << "1";
    QTest::newRow("19 stops at 1") << "19"
                                   << "1";
    QTest::newRow("letters refused") << "ab"
                                     << "";
    QTest::newRow("minus refused") << "-3"
                                   << "3";
    QTest::newRow("three digits") << "100"
                                  << "10";
    QTest::newRow("05") << "05"
                        << "5";
}

void TestManagerDialogs::countField()
{
    QFETCH(QString, typed);
    QFETCH(QString, text);

    playerCreateDialog dialog({QStringLiteral("the original palyer")});
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    auto *field = dialog.findChild<QLineEdit *>(QStringLiteral("lineEdit_creat_number"));
    QCOMPARE(field->text(), QStringLiteral("1"));
    QCOMPARE(field->maxLength(), 2);
    field->setFocus();
    field->selectAll();
    QTest::keyClick(field, Qt::Key_Backspace);
    QTest::keyClicks(field, typed);
    QCOMPARE(field->text(), text);
}

void TestManagerDialogs::emptyCountBecomesOneOnFocusOut()
{
    playerCreateDialog dialog({QStringLiteral("a"), QStringLiteral("b")});
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    dialog.activateWindow();
    QTRY_VERIFY(dialog.isActiveWindow());
    auto *field = dialog.findChild<QLineEdit *>(QStringLiteral("lineEdit_creat_number"));
    QTest::mouseClick(field, Qt::LeftButton);
    QTRY_VERIFY(field->hasFocus());
    field->selectAll();
    QTest::keyClick(field, Qt::Key_Delete);
    QCOMPARE(field->text(), QString());
    // Enter on an empty field finishes nothing; the text stays empty until focus leaves.
    QTest::keyClick(field, Qt::Key_Return);
    QCOMPARE(field->text(), QString());
    dialog.findChild<QComboBox *>(QStringLiteral("comboBox_copyobject"))->setFocus();
    QTRY_COMPARE(field->text(), QStringLiteral("1"));
    QCOMPARE(dialog.count(), 1);
}

void TestManagerDialogs::createDialogResults()
{
    const QStringList sources{QStringLiteral("the original palyer"), QStringLiteral("MyGame"),
                              QStringLiteral("Other")};
    {
        playerCreateDialog dialog(sources);
        auto *combo = dialog.findChild<QComboBox *>(QStringLiteral("comboBox_copyobject"));
        QCOMPARE(combo->count(), 3);
        QCOMPARE(combo->itemText(1), QStringLiteral("MyGame"));
        QCOMPARE(combo->currentText(), QStringLiteral("the original palyer"));
        const int result = execWith(dialog, [&] {
            combo->setFocus();
            QTest::keyClick(combo, Qt::Key_Down);
            auto *field = dialog.findChild<QLineEdit *>(QStringLiteral("lineEdit_creat_number"));
            QTest::mouseClick(field, Qt::LeftButton);
            field->selectAll();
            QTest::keyClicks(field, QStringLiteral("3"));
            QTest::mouseClick(button(dialog, "pushButton_ok"), Qt::LeftButton);
        });
        QCOMPARE(result, 1);
        QCOMPARE(dialog.source(), QStringLiteral("MyGame"));
        QCOMPARE(dialog.count(), 3);
    }
    {
        // OK pressed with the field emptied: the field loses focus to the button first, so one
        // instance is asked for.
        playerCreateDialog dialog(sources);
        const int result = execWith(dialog, [&] {
            auto *field = dialog.findChild<QLineEdit *>(QStringLiteral("lineEdit_creat_number"));
            QTest::mouseClick(field, Qt::LeftButton);
            field->selectAll();
            QTest::keyClick(field, Qt::Key_Delete);
            button(dialog, "pushButton_ok")->setFocus();
            QTest::mouseClick(button(dialog, "pushButton_ok"), Qt::LeftButton);
        });
        QCOMPARE(result, 1);
        QCOMPARE(dialog.count(), 1);
    }
    {
        playerCreateDialog dialog(sources);
        const int result =
            execWith(dialog, [&] { QTest::mouseClick(button(dialog, "pushButton_return"), Qt::LeftButton); });
        QCOMPARE(result, 0);
    }
}

void TestManagerDialogs::createDialogLooks()
{
    playerCreateDialog dialog({QStringLiteral("the original palyer"), QStringLiteral("MyGame")});
    QCOMPARE(dialog.size(), QSize(535, 342));
    QVERIFY(dialog.testAttribute(Qt::WA_TranslucentBackground));
    QVERIFY(dialog.windowFlags().testFlag(Qt::FramelessWindowHint));
    QCOMPARE(dialog.findChild<QWidget *>(QStringLiteral("widget_bkg"))->geometry(), QRect(10, 10, 515, 322));
    QCOMPARE(dialog.findChild<QWidget *>(QStringLiteral("comboBox_copyobject"))->geometry(),
             QRect(175, 80, 250, 50));
    QCOMPARE(dialog.findChild<QWidget *>(QStringLiteral("lineEdit_creat_number"))->geometry(),
             QRect(175, 155, 80, 50));
    QCOMPARE(button(dialog, "pushButton_ok")->geometry(), QRect(20, 240, 475, 44));
    QCOMPARE(button(dialog, "pushButton_return")->geometry(), QRect(20, 20, 13, 22));
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QImage shot;
    // The return button lies at (30, 30) in the window: widget_bkg starts at (10, 10).
    QTRY_VERIFY_WITH_TIMEOUT(
        (shot = grabShownWindow(&dialog), showsPicture(shot, QPoint(36, 40), QStringLiteral("return"))),
        10000);
    QVERIFY(keepArtifact(shot, QStringLiteral("playerCreateDialog")));
    QCOMPARE(shot.pixel(300, 50), qRgb(0x35, 0x3a, 0x40));
    QCOMPARE(shot.pixel(300, 69), qRgb(0x3e, 0x42, 0x4b)); // the title's bottom line
}

void TestManagerDialogs::baseDialogDrag_data()
{
    QTest::addColumn<int>("pressY");
    QTest::addColumn<bool>("moves");

    QTest::newRow("in the band") << 40 << true;
    QTest::newRow("band's last line") << 70 << true;
    QTest::newRow("below the band") << 71 << false;
    QTest::newRow("far below") << 200 << false;
}

void TestManagerDialogs::baseDialogDrag()
{
    QFETCH(int, pressY);
    QFETCH(bool, moves);

    BaseDialog dialog;
    dialog.resize(400, 300);
    dialog.move(300, 200);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    const QPoint before = dialog.pos();
    QWindow *window = dialog.windowHandle();
    QTest::mousePress(window, Qt::LeftButton, Qt::NoModifier, QPoint(100, pressY));
    // The pointer goes to one place on the screen; where that lies in the window depends on whether
    // the window followed it.
    const QPoint target = dialog.mapToGlobal(QPoint(130, pressY + 25));
    QTest::mouseMove(window, QPoint(130, pressY + 25));
    if (moves)
        QTRY_COMPARE(dialog.pos(), before + QPoint(30, 25));
    else
        QCOMPARE(dialog.pos(), before);
    QTest::mouseRelease(window, Qt::LeftButton, Qt::NoModifier, dialog.mapFromGlobal(target));
    // After the release, moving the mouse moves nothing.
    const QPoint after = dialog.pos();
    QTest::mouseMove(window, QPoint(10, 10));
    QCOMPARE(dialog.pos(), after);
}

void TestManagerDialogs::baseDialogShadow()
{
    QCOMPARE(BaseDialog::ShadowWidth, 10);
    QList<int> alphas;
    for (int i = 0; i < BaseDialog::ShadowWidth; ++i)
        alphas << BaseDialog::shadowAlpha(i);
    QCOMPARE(alphas, (QList<int>{150, 100, 79, 63, 50, 38, 27, 17, 8, 0}));

    // The painted window: a white panel inset by 10 px, a ring that fades to nothing at the edge.
    BaseDialog dialog;
    dialog.resize(200, 120);
    const QImage image = dialog.grab().toImage().convertToFormat(QImage::Format_ARGB32);
    QCOMPARE(image.pixel(100, 60), qRgb(255, 255, 255));
    QCOMPARE(image.pixel(11, 11), qRgb(255, 255, 255));
    QCOMPARE(qAlpha(image.pixel(0, 60)), 0);
    QCOMPARE(qAlpha(image.pixel(100, 0)), 0);
    QVERIFY(qAlpha(image.pixel(9, 60)) > qAlpha(image.pixel(4, 60)));
    QVERIFY(qAlpha(image.pixel(4, 60)) > 0);
}

void TestManagerDialogs::backupOrRestore_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<int>("result");
    QTest::addColumn<int>("choice");

    QTest::newRow("backup") << "pushButton" << 1 << int(BackupOrRestoreSelectdialog::Backup);
    QTest::newRow("restore") << "pushButton_2" << 1 << int(BackupOrRestoreSelectdialog::Restore);
    QTest::newRow("close") << "pushButton__close" << 0 << -1;
}

void TestManagerDialogs::backupOrRestore()
{
    QFETCH(QString, button);
    QFETCH(int, result);
    QFETCH(int, choice);

    BackupOrRestoreSelectdialog dialog;
    QVERIFY(dialog.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    QCOMPARE(dialog.size(), QSize(400, 220));
    QImage shot;
    const int got = execWith(dialog, [&] {
        QTRY_VERIFY_WITH_TIMEOUT((shot = grabShownWindow(&dialog),
                                  showsPicture(shot, QPoint(380, 17), QStringLiteral("btn_close"))),
                                 10000);
        QTest::mouseClick(dialog.findChild<QPushButton *>(button), Qt::LeftButton);
    });
    QCOMPARE(got, result);
    if (choice >= 0)
        QCOMPARE(dialog.choice(), choice);
    QVERIFY(keepArtifact(shot, QStringLiteral("BackupOrRestoreSelectdialog")));
    QVERIFY(showsPicture(shot, QPoint(27, 17), QStringLiteral("logo")));
    QCOMPARE(shot.pixel(64, 154), qRgb(0x01, 0x90, 0xff));  // "backup", filled
    QCOMPARE(shot.pixel(230, 172), qRgb(0x7a, 0x7d, 0x8e)); // "restore", outlined
}

void TestManagerDialogs::vboxErrorDialog()
{
    UrlCatcher catcher;
    QDesktopServices::setUrlHandler(QStringLiteral("https"), &catcher, "open");
    const QString error = QStringLiteral("VBoxManage: error: Could not find a registered machine named 'x'");
    VBoxErrorDialog dialog(error);
    QVERIFY(dialog.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    QCOMPARE(dialog.size(), QSize(400, 235));
    auto *content = dialog.findChild<QLabel *>(QStringLiteral("label_content"));
    QCOMPARE(content->text(), error);
    QCOMPARE(content->alignment(), Qt::AlignLeft | Qt::AlignTop);
    QImage shot;
    const int result = execWith(dialog, [&] {
        QTest::mouseClick(button(dialog, "pushButton_link"), Qt::LeftButton);
        QVERIFY(dialog.isVisible()); // the link leaves the dialog open
        QTRY_VERIFY_WITH_TIMEOUT(
            (shot = grabShownWindow(&dialog), shot.pixel(5, 5) == qRgb(0x35, 0x3a, 0x40)), 10000);
        QTest::mouseClick(button(dialog, "pushButton_confirm"), Qt::LeftButton);
    });
    QCOMPARE(result, 1);
    QCOMPARE(catcher.urls, QList<QUrl>{QUrl(QString::fromLatin1(VBoxErrorDialog::SupportUrl))});
    QVERIFY(keepArtifact(shot, QStringLiteral("VBoxErrorDialog")));
    QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
}

void TestManagerDialogs::chineseTranslation()
{
    // The program's translation reaches the forms and the texts of the classes (their contexts).
    QTranslator translator;
    QVERIFY(translator.load(QStringLiteral(ORV_MANAGER_QM)));
    QVERIFY(QCoreApplication::installTranslator(&translator));
    {
        MsgDialog dialog(MsgDialog::Retry, QStringLiteral("x"));
        QCOMPARE(button(dialog, "pushButton_yes")->text(), QStringLiteral("重试"));
        QCOMPARE(button(dialog, "pushButton_reject")->text(), QStringLiteral("取消"));
    }
    {
        playerCreateDialog dialog({});
        QCOMPARE(dialog.findChild<QLabel *>(QStringLiteral("label_title"))->text(),
                 QStringLiteral("新建模拟器"));
    }
    {
        BackupOrRestoreSelectdialog dialog;
        QCOMPARE(button(dialog, "pushButton")->text(), QStringLiteral("备份"));
        QCOMPARE(button(dialog, "pushButton_2")->text(), QStringLiteral("还原"));
    }
    {
        VBoxErrorDialog dialog(QStringLiteral("e"));
        QCOMPARE(button(dialog, "pushButton_link")->text(), QStringLiteral("联系客服"));
    }
    QCOMPARE(
        QCoreApplication::translate("OrvMulti::MultiPlayerManagerDialog", "be deleting player, can not exit"),
        QStringLiteral("删除中无法退出"));
    QCOMPARE(QCoreApplication::translate("OrvMulti::OrvPlayerModel", "retore fail"),
             QStringLiteral("还原失败"));
    QCOMPARE(QObject::tr("the original palyer"), QStringLiteral("初始镜像"));
    QCoreApplication::removeTranslator(&translator);
}

QTEST_MAIN(TestManagerDialogs)
#include "tst_managerdialogs.moc"
