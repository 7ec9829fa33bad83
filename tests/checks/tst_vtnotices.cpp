#include "global.h"
#include "settingmodel.h"
#include "urlcatcher.h"
#include "vtbeoccupiedtipdialog.h"
#include "vtinfodialog.h"

#include <QCheckBox>
#include <QDesktopServices>
#include <QLabel>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

class TestVtNotices : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void occupiedNotice_data();
    void occupiedNotice();
    void infoNotice_data();
    void infoNotice();

private:
    QTemporaryDir m_root;
    UrlCatcher m_catcher;
};

void TestVtNotices::initTestCase()
{
    QCoreApplication::setOrganizationName("Halvora");
    QCoreApplication::setApplicationName("Orvanta");
    qputenv("APPDATA", (m_root.path() + "/appdata").toLocal8Bit());
    Global::vmName = "Orvanta_0";
    QDesktopServices::setUrlHandler("http", &m_catcher, "open");
}

void TestVtNotices::occupiedNotice_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("result");
    QTest::addColumn<QString>("page");

    QTest::newRow("hyper-v tutorial") << 0 << "btn_error_confirm"
                                      << "Hyper-V occupation" << 1 << "/thread-88892741-1-1.html";
    QTest::newRow("software tutorial") << 1 << "btn_error_confirm"
                                       << "software occupation" << 1 << "/thread-88892736-1-1.html";
    QTest::newRow("mode 2 is software") << 2 << "btn_error_confirm"
                                        << "software occupation" << 1 << "/thread-88892736-1-1.html";
    QTest::newRow("close rejects") << 0 << "dlg_close"
                                   << "Hyper-V occupation" << 0 << "";
}

void TestVtNotices::occupiedNotice()
{
    QFETCH(int, mode);
    QFETCH(QString, button);
    QFETCH(QString, text);
    QFETCH(int, result);
    QFETCH(QString, page);
    m_catcher.urls.clear();

    VTBeOccupiedTipDialog dialog(mode, nullptr);
    QCOMPARE(dialog.findChild<QLabel *>("dlg_msg")->text(), text);
    QCOMPARE(dialog.size(), QSize(400, 220));
    QCOMPARE(dialog.windowFlags() & Qt::WindowType_Mask, Qt::Tool);
    QTimer::singleShot(0, &dialog,
                       [&] { QTest::mouseClick(dialog.findChild<QPushButton *>(button), Qt::LeftButton); });
    QCOMPARE(dialog.exec(), result);
    if (page.isEmpty()) {
        QVERIFY(m_catcher.urls.isEmpty());
    } else {
        QCOMPARE(m_catcher.urls.size(), 1);
        QCOMPARE(m_catcher.urls.first().path(), page);
    }
}

void TestVtNotices::infoNotice_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<bool>("tick");
    QTest::addColumn<bool>("showAgain");
    QTest::addColumn<int>("pages");

    QTest::newRow("close") << "close" << false << true << 0;
    QTest::newRow("close, do not show again") << "close" << true << false << 0;
    QTest::newRow("tutorial") << "tutorial" << false << true << 1;
    QTest::newRow("tutorial, do not show again") << "tutorial" << true << false << 1;
    QTest::newRow("badge does nothing") << "badge" << true << true << 0;
}

void TestVtNotices::infoNotice()
{
    QFETCH(QString, button);
    QFETCH(bool, tick);
    QFETCH(bool, showAgain);
    QFETCH(int, pages);
    m_catcher.urls.clear();
    SettingModel::instance()->setShowVTCheckDialog(true);

    VTInfoDialog dialog(nullptr);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QCOMPARE(dialog.size(), QSize(380, 580));
    auto *box = dialog.findChild<QCheckBox *>("show_again");
    QCOMPARE(box->geometry().bottom() + 1, 580);
    QCOMPARE(box->geometry().right() + 1, 375);
    if (tick)
        QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(5, box->height() / 2));
    QCOMPARE(box->isChecked(), tick);
    QTest::mouseClick(dialog.findChild<QPushButton *>(button), Qt::LeftButton);

    QCOMPARE(dialog.isVisible(), button == "badge");
    QCOMPARE(m_catcher.urls.size(), pages);
    if (pages)
        QCOMPARE(m_catcher.urls.first().path(), QStringLiteral("/thread-88891791-1-1.html"));
    QCOMPARE(SettingModel::instance()->isShowVTCheckDialog(), showAgain);
    // Written to the instance settings file at once.
    QSettings file(SettingModel::filePath(), QSettings::IniFormat);
    QCOMPARE(file.value("Global/isShowVTCheckDialog", true).toBool(), showAgain);
}

QTEST_MAIN(TestVtNotices)
#include "tst_vtnotices.moc"
