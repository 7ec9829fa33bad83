// The share-folder dialog as the window opens it: each button closes the dialog, then opens a host
// folder (as a file URL of the exact path, blanks and "#" included) or sends the guest the command that
// opens the Android side, and reports its event; the window reports 2013 afterwards.

#include "androidwindow.h"
#include "global.h"
#include "installtree.h"
#include "sharefolderdialog.h"
#include "shellsupport.h"
#include "shellwiring.h"
#include "testartefacts.h"
#include "urlcatcher.h"

#include <QDesktopServices>
#include <QDir>
#include <QPushButton>
#include <QtTest>

class TestShareFolderDialog : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void buttons_data();
    void buttons();
    void returnButtonOpensNothing();
    void looks();

private:
    InstallTree m_tree;
    GuestProcess m_guest;
    UrlCatcher m_urls;
};

void TestShareFolderDialog::initTestCase()
{
    QVERIFY(m_tree.isValid());
    m_tree.declareHost(InstallTree::HostWithVirtualisation);
    m_tree.useTempDirHere();
    qputenv("APPDATA", QFile::encodeName(m_tree.appDataDir()));
    qputenv("LOCALAPPDATA", QFile::encodeName(m_tree.localAppDataDir()));
    QCoreApplication::setOrganizationName(QStringLiteral("Halvora"));
    // An install folder and a machine name with blanks and "#", which a URL made by string joining would
    // cut at the "#".
    Global::installInfo.installDir = m_tree.root() + QStringLiteral("/Program Files/Orv #2 install");
    Global::vmName = QStringLiteral("Orvanta_3");
    QVERIFY(ShellSupport::openEventStore());
    QVERIFY(m_guest.start());
    QDesktopServices::setUrlHandler(QStringLiteral("file"), &m_urls, "open");
    ShellWiring::install();
}

void TestShareFolderDialog::init()
{
    ShellSupport::clearEvents();
    m_urls.urls.clear();
}

void TestShareFolderDialog::buttons_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("folder");    // host folder opened, or empty
    QTest::addColumn<QString>("guestLine"); // line sent to the guest, or empty
    QTest::addColumn<QString>("event");
    const QString share = QStringLiteral("/Program Files/Orv #2 install/share/Orvanta_3/");
    QTest::newRow("image folder on the host") << "pushButton_open_image" << share + "image"
                                              << ""
                                              << "2401";
    QTest::newRow("image folder in android")
        << "pushButton_open_orvvm_image"
        << ""
        << "SHELL_CMD:str-am start -a action.com.corvle.quickOpenShareFile --es PATH \"/mnt/shared/picture\""
        << "2402";
    QTest::newRow("other folder on the host") << "pushButton_open_other" << share + "other"
                                              << ""
                                              << "2403";
    QTest::newRow("other folder in android")
        << "pushButton_open_orvvm_other"
        << ""
        << "SHELL_CMD:str-am start -a action.com.corvle.quickOpenShareFile --es PATH \"/mnt/shared/other\""
        << "2404";
}

void TestShareFolderDialog::buttons()
{
    QFETCH(QString, button);
    QFETCH(QString, folder);
    QFETCH(QString, guestLine);
    QFETCH(QString, event);
    const int before = m_guest.lines().size();
    bool closedFirst = false;
    ShellSupport::whenModal([&](QWidget *dialog) {
        auto *target = dialog->findChild<QPushButton *>(button);
        QVERIFY(target);
        // The dialog is closed before anything is sent or opened.
        QObject::connect(qobject_cast<QDialog *>(dialog), &QDialog::finished,
                         [&] { closedFirst = m_urls.urls.isEmpty() && m_guest.lines().size() == before; });
        QTest::mouseClick(target, Qt::LeftButton);
    });
    AndroidWindow window;
    window.at_menu_share_folder_click();
    QVERIFY(closedFirst);

    if (folder.isEmpty()) {
        QCOMPARE(m_urls.urls.size(), 0);
    } else {
        QCOMPARE(m_urls.urls.size(), 1);
        QCOMPARE(m_urls.urls.at(0).toLocalFile(), m_tree.root() + folder);
        QCOMPARE(m_urls.urls.at(0), QUrl::fromLocalFile(m_tree.root() + folder));
    }
    bool complete = false;
    const QStringList sent = m_guest.linesSentSince(before, &complete);
    QVERIFY(complete);
    QCOMPARE(sent, guestLine.isEmpty() ? QStringList() : QStringList{guestLine});
    QCOMPARE(ShellSupport::storedEvents(), (QStringList{event, QStringLiteral("2013")}));
}

void TestShareFolderDialog::returnButtonOpensNothing()
{
    const int before = m_guest.lines().size();
    ShellSupport::whenModal([](QWidget *dialog) {
        QTest::mouseClick(dialog->findChild<QPushButton *>(QStringLiteral("btn_close")), Qt::LeftButton);
    });
    AndroidWindow window;
    window.at_menu_share_folder_click();
    QCOMPARE(m_urls.urls.size(), 0);
    bool complete = false;
    QCOMPARE(m_guest.linesSentSince(before, &complete), QStringList());
    QVERIFY(complete);
    QCOMPARE(ShellSupport::storedEvents(), QStringList{QStringLiteral("2013")});
}

void TestShareFolderDialog::looks()
{
    ShareFolderDialog dialog;
    QCOMPARE(dialog.size(), QSize(740, 680));
    QCOMPARE(dialog.findChild<QWidget *>(QStringLiteral("widget_bkg_other"))->geometry(),
             QRect(20, 459, 700, 88));
    QCOMPARE(dialog.findChild<QPushButton *>(QStringLiteral("pushButton_open_orvvm_other"))->geometry(),
             QRect(466, 26, 184, 36));
    // The title strip drags the dialog, except over the return button.
    QVERIFY(dialog.isDragPoint(QPoint(300, 30)));
    QVERIFY(!dialog.isDragPoint(QPoint(35, 30)));
    QVERIFY(!dialog.isDragPoint(QPoint(300, 70)));
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    dialog.grab().save(TestArtefacts::path(QStringLiteral("sharefolderdialog.png")));
}

QTEST_MAIN(TestShareFolderDialog)
#include "tst_sharefolderdialog.moc"
