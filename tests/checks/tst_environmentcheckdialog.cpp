#include "checkaction.h"
#include "environmentcheckdialog.h"
#include "global.h"
#include "glutcontext.h"
#include "settingmodel.h"
#include "urlcatcher.h"

#include <QCheckBox>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QThreadPool>
#include <QtTest>

class TestEnvironmentCheckDialog : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void showsFailedRows();
    void titleBarModeShowsPassedRows();
    void recheckKeepsRowAndClosesWhenAllPass();
    void escapeDuringRecheckThenReopen();

private:
    void write(const QString &relative, const QByteArray &bytes);
    static QList<EnvironmentCheckItemView *> rows(EnvironmentCheckDialog &dialog);
    static EnvironmentCheckItemView *row(EnvironmentCheckDialog &dialog, const QString &name);

    QTemporaryDir m_root;
    UrlCatcher m_catcher;
    QByteArray m_path;
};

void TestEnvironmentCheckDialog::initTestCase()
{
    QCoreApplication::setOrganizationName("Halvora");
    QCoreApplication::setApplicationName("Orvanta");
    qputenv("APPDATA", (m_root.path() + "/appdata").toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", (m_root.path() + "/config").toLocal8Bit());
    qputenv("ORV_PROC_ROOT", (m_root.path() + "/proc").toLocal8Bit());
    qputenv("ORV_DEV_ROOT", (m_root.path() + "/dev").toLocal8Bit());
    qputenv("ORV_SYS_ROOT", (m_root.path() + "/sys").toLocal8Bit());
    m_path = qgetenv("PATH");
    Global::vmName = "Orvanta_0";
    QDesktopServices::setUrlHandler("http", &m_catcher, "open");
}

void TestEnvironmentCheckDialog::init()
{
    // A healthy host: memory mostly free, VT-x enabled and free, one display adapter.
    write("proc/meminfo", "MemTotal: 1000000 kB\nMemAvailable: 800000 kB\n");
    write("proc/cpuinfo", "flags\t\t: fpu vmx sse2\n");
    write("proc/modules", "");
    write("proc/1/comm", "init\n");
    write("sys/bus/pci/devices/0000:00:02.0/class", "0x030000\n");
    write("sys/bus/pci/devices/0000:00:02.0/vendor", "0x8086\n");
    write("sys/bus/pci/devices/0000:00:02.0/device", "0x3e92\n");
    QDir(m_root.path() + "/bin").removeRecursively();
    qputenv("PATH", m_root.path().toLocal8Bit() + "/bin:" + m_path);
    Global::systemInfo = SystemInfo();
    Global::installInfo.productVersion = "1.4.2";
    EnvironmentCheckDialog::setRerunIntervalMs(60000);
    m_catcher.urls.clear();
}

void TestEnvironmentCheckDialog::cleanup()
{
    // No worker of a test may live into the next one.
    QVERIFY(QThreadPool::globalInstance()->waitForDone(30000));
}

void TestEnvironmentCheckDialog::write(const QString &relative, const QByteArray &bytes)
{
    const QString file = m_root.path() + "/" + relative;
    QDir().mkpath(QFileInfo(file).absolutePath());
    QFile out(file);
    QVERIFY(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
    out.write(bytes);
}

QList<EnvironmentCheckItemView *> TestEnvironmentCheckDialog::rows(EnvironmentCheckDialog &dialog)
{
    return dialog.findChildren<EnvironmentCheckItemView *>();
}

EnvironmentCheckItemView *TestEnvironmentCheckDialog::row(EnvironmentCheckDialog &dialog, const QString &name)
{
    for (EnvironmentCheckItemView *view : rows(dialog))
        if (view->item().name == name)
            return view;
    return nullptr;
}

void TestEnvironmentCheckDialog::showsFailedRows()
{
    const QString required = "DmBitsCheck|false|dmbits is not 32|go to modify;";
    const QString optional =
        "MemoryCheck|false|out of memory|go to clear;VTOpenStautsCheck|true|vt is open|passed;";
    CheckResults::clear();
    CheckResults::recordInitial(required + optional);

    EnvironmentCheckDialog dialog(required, optional, false, false, nullptr);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));

    QCOMPARE(dialog.findChildren<RequiredCheckHeaderView *>().size(), 1);
    QCOMPARE(dialog.findChildren<OptionalCheckHeaderView *>().size(), 1);
    QCOMPARE(rows(dialog).size(), 2);
    QCOMPARE(rows(dialog).at(0)->findChild<QLabel *>("label_description")->text(),
             QStringLiteral("dmbits is not 32"));
    QCOMPARE(rows(dialog).at(1)->findChild<QPushButton *>("btn_tip")->text(), QStringLiteral("go to clear"));
    auto *start = dialog.findChild<QPushButton *>("btn_start");
    QVERIFY(start->isVisible());
    QVERIFY(!start->isEnabled());
    QVERIFY(dialog.findChild<QCheckBox *>("cb_remind")->isVisible());
    QCOMPARE(dialog.height(), 370); // two headers and two rows fit the smallest dialog
    QVERIFY(!dialog.requiredPassed());

    // The hint leads to the check's help page and is recorded for the report.
    QTest::mouseClick(row(dialog, "MemoryCheck")->findChild<QPushButton *>("btn_tip"), Qt::LeftButton);
    QCOMPARE(m_catcher.urls.size(), 1);
    QCOMPARE(m_catcher.urls.first().path(), QStringLiteral("/thread-88895679-1-1.html"));
    QCOMPARE(CheckResults::snapshot().value("MemoryCheck").clickState, 1);
    QCOMPARE(CheckResults::snapshot().value("DmBitsCheck").clickState, 0);

    // "No longer prompt" switches the start-up showing of optional results off, and on again.
    auto *remind = dialog.findChild<QCheckBox *>("cb_remind");
    QTest::mouseClick(remind, Qt::LeftButton, {}, QPoint(5, remind->height() / 2));
    QVERIFY(remind->isChecked());
    QVERIFY(!SettingModel::instance()->isShowOptionalCheckRes());
    QTest::mouseClick(remind, Qt::LeftButton, {}, QPoint(5, remind->height() / 2));
    QVERIFY(SettingModel::instance()->isShowOptionalCheckRes());

    QTest::mouseClick(dialog.findChild<QPushButton *>("btn_close"), Qt::LeftButton);
    QCOMPARE(dialog.result(), int(QDialog::Rejected));
    QVERIFY(!dialog.isVisible());
}

void TestEnvironmentCheckDialog::titleBarModeShowsPassedRows()
{
    const QString optional =
        "MemoryCheck|true|memory is enough|passed;VTOpenStautsCheck|true|vt is open|passed;"
        "VTOccupiedStautsCheck|true|vt is not Occupied|passed;"
        "GraphicsCheck|true|is Discrete Graphics|passed;";
    EnvironmentCheckDialog dialog("", optional, true, true, nullptr);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QCOMPARE(rows(dialog).size(), 4);
    QCOMPARE(dialog.findChildren<RequiredCheckHeaderView *>().size(), 0);
    QVERIFY(!dialog.findChild<QCheckBox *>("cb_remind")->isVisible());
    QVERIFY(!dialog.findChild<QPushButton *>("btn_start")->isVisible());
    for (EnvironmentCheckItemView *view : rows(dialog))
        QVERIFY(!view->findChild<QPushButton *>("btn_goto")->isVisible());
    QCOMPARE(dialog.height(), 370);

    // Clicks in this mode open the page but leave the report's records alone.
    CheckResults::clear();
    CheckResults::recordInitial(optional);
    QTest::mouseClick(row(dialog, "GraphicsCheck")->findChild<QPushButton *>("btn_tip"), Qt::LeftButton);
    QCOMPARE(m_catcher.urls.size(), 1);
    QCOMPARE(CheckResults::snapshot().value("GraphicsCheck").clickState, 0);
    QTest::keyClick(&dialog, Qt::Key_Escape);
    QVERIFY(!dialog.isVisible());
}

void TestEnvironmentCheckDialog::recheckKeepsRowAndClosesWhenAllPass()
{
    if (!GlutContext::initialise())
        QSKIP("needs an X display with OpenGL (the suite runs under xvfb-run)");
    // The required check listed as failed now passes; the memory is short, so the dialog stays.
    write("proc/meminfo", "MemTotal: 1000000 kB\nMemAvailable: 100000 kB\n");
    EnvironmentCheckDialog::setRerunIntervalMs(50);
    CheckResults::clear();
    const QString required = "DNFConflictCheck|false|it is conflict|go to close DNF;";
    CheckResults::recordInitial(required);

    EnvironmentCheckDialog dialog(required, "", false, false, nullptr);
    QSignalSpy finished(&dialog, &QDialog::finished);
    dialog.open();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    auto *start = dialog.findChild<QPushButton *>("btn_start");
    QVERIFY(!start->isEnabled());

    QTRY_VERIFY_WITH_TIMEOUT(start->isEnabled(), 20000);
    EnvironmentCheckItemView *dnf = row(dialog, "DNFConflictCheck");
    QVERIFY(dnf);
    QVERIFY(dnf->item().passed);
    QVERIFY(!dnf->findChild<QPushButton *>("btn_goto")->isVisible());
    QCOMPARE(dnf->findChild<QLabel *>("label_description")->text(), QStringLiteral("it is not conflict"));
    QVERIFY(row(dialog, "MemoryCheck"));
    QVERIFY(!row(dialog, "DmBitsCheck")); // passed and never listed
    QCOMPARE(CheckResults::snapshot().value("DNFConflictCheck").endState, 1);
    QVERIFY(dialog.requiredPassed());
    QCOMPARE(finished.count(), 0);

    // Memory freed: everything passes and the dialog closes by itself, accepted.
    write("proc/meminfo", "MemTotal: 1000000 kB\nMemAvailable: 900000 kB\n");
    QVERIFY(finished.wait(20000));
    QCOMPARE(finished.first().first().toInt(), int(QDialog::Accepted));
    QVERIFY(dialog.optionalPassed());
    QVERIFY(Global::systemInfo.optionalChecksPassed);
}

void TestEnvironmentCheckDialog::escapeDuringRecheckThenReopen()
{
    // A checker that takes its time, so that the user closes the dialog in the middle of a rerun.
    const QString marker = m_root.path() + "/checker-started";
    QFile::remove(marker);
    write("bin/VTChecker", QStringLiteral("#!/bin/sh\necho > '%1'\nsleep 1\nexit 0\n").arg(marker).toUtf8());
    QFile::setPermissions(m_root.path() + "/bin/VTChecker", QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    EnvironmentCheckDialog::setRerunIntervalMs(20);

    const QString optional = "VTOpenStautsCheck|false|vt is close|go to open;";
    auto *first = new EnvironmentCheckDialog("", optional, true, false, nullptr);
    first->show();
    QVERIFY(QTest::qWaitForWindowExposed(first));
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(marker), 10000);
    QTest::keyClick(first, Qt::Key_Escape);
    QVERIFY(!first->isVisible());
    QCOMPARE(first->result(), int(QDialog::Rejected));
    delete first;

    // A second dialog at once: the first worker must neither update it nor close it.
    QFile::remove(marker);
    EnvironmentCheckDialog second("", optional, true, false, nullptr);
    QSignalSpy finished(&second, &QDialog::finished);
    second.show();
    QVERIFY(QTest::qWaitForWindowExposed(&second));
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(marker), 10000);
    // A second rerun of its own begins only after the first worker's slow rerun has long ended.
    QFile::remove(marker);
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(marker), 10000);
    QCOMPARE(finished.count(), 0);
    QCOMPARE(rows(second).size(), 1);
    QTest::mouseClick(second.findChild<QPushButton *>("btn_close"), Qt::LeftButton);
    QCOMPARE(finished.count(), 1);
    QVERIFY(!second.optionalPassed());
}

QTEST_MAIN(TestEnvironmentCheckDialog)
#include "tst_environmentcheckdialog.moc"
