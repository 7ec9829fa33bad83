// The dialog dispatcher and the quit, update and VirtualBox-error dialogs, driven through their object
// names with real clicks on the offscreen platform. The updater stand-in lies beside this test program,
// where the program looks for the updater; its calls and those of the instance manager are recorded.

#include "calllogs.h"
#include "datareportengine.h"
#include "dialogcontrol.h"
#include "environmentcheckdialog.h"
#include "global.h"
#include "quitorvdialog.h"
#include "settingmodel.h"
#include "sqlitetool.h"
#include "updatedialog.h"
#include "urlcatcher.h"
#include "vboxerrordialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QDesktopServices>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLabel>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QThreadPool>
#include <QTimer>
#include <QtTest>

#include <functional>

namespace {

// Once a modal dialog is up, runs `action` on it (from the dialog's own event loop).
void whenModal(const std::function<void(QWidget *)> &action)
{
    auto *timer = new QTimer;
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, action] {
        QWidget *modal = QApplication::activeModalWidget();
        if (!modal || !modal->isVisible())
            return;
        timer->stop();
        timer->deleteLater();
        action(modal);
    });
    timer->start();
}

void clickWhenModal(const QString &button)
{
    whenModal([button](QWidget *dialog) {
        auto *target = dialog->findChild<QPushButton *>(button);
        if (!target || !target->isVisible()) {
            qWarning() << "no visible button" << button << "in" << dialog->objectName();
            dialog->close();
            return;
        }
        QTest::mouseClick(target, Qt::LeftButton);
    });
}

// The stored usage events as "<id>" or "<id> key=value ..." (keys in order), oldest first.
QStringList storedEvents()
{
    QThreadPool::globalInstance()->waitForDone();
    QStringList events;
    for (const DataReportRecord &record : DataReportEngine::instance()->dao().findAll()) {
        if (record.types == DataReportDao::kTypeEvent) {
            events << QString::number(record.event.eventkey());
            continue;
        }
        QString text = QString::number(record.eventEx.eventkey());
        for (const auto &entry : record.eventEx.eventmaps()) {
            const QString key = QString::fromStdString(entry.datakey());
            // The running time depends on the test's pace; only its presence is checked.
            text += QLatin1Char(' ') + key + QLatin1Char('=') +
                    (key == QLatin1String("time") ? QStringLiteral("*")
                                                  : QString::fromStdString(entry.datavalue()));
        }
        events << text;
    }
    return events;
}

QList<QStringList> recordedCalls(const QString &name)
{
    return readRecordedCalls(qEnvironmentVariable("ORV_RECORD_DIR") + QLatin1Char('/') + name +
                             QStringLiteral(".calls"));
}

} // namespace

class TestDialogControl : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void environmentCheckRecords_data();
    void environmentCheckRecords();
    void typesWithoutDialog_data();
    void typesWithoutDialog();
    void fileMissing_data();
    void fileMissing();
    void memoryWarning_data();
    void memoryWarning();
    void vboxError_data();
    void vboxError();
    void errorCode_data();
    void errorCode();
    void errorCodeKindSurvivesANestedRequest();
    void messageIsNeverParented();
    void updatePrompt_data();
    void updatePrompt();
    void quittingAnswersAtOnceAndClosesOpenDialogs();
    void parentIsForgottenWhenItGoes();
    void quitDialogNoRemind_data();
    void quitDialogNoRemind();
    void updateNotesShownOnce();
    void clearDataBackupKeepsTheDialogOpen();

private:
    QTemporaryDir m_dir;
    int m_round = 0;
};

void TestDialogControl::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QVERIFY2(QFileInfo::exists(QCoreApplication::applicationDirPath() + "/OrvantaUpdater"),
             "the updater stand-in lies beside the test");
    QCoreApplication::setOrganizationName(QStringLiteral("Halvora"));
    QCoreApplication::setApplicationName(QStringLiteral("Orvanta"));
    qputenv("APPDATA", (m_dir.path() + "/appdata").toLocal8Bit());
    qputenv("LOCALAPPDATA", (m_dir.path() + "/localappdata").toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", (m_dir.path() + "/config").toLocal8Bit());
    // The instance manager is a recorder on PATH.
    const QString bin = m_dir.path() + "/bin";
    QDir().mkpath(bin);
    QVERIFY(QFile::copy(QStringLiteral(ORV_RECORDER), bin + "/OrvMultiPlayer"));
    qputenv("PATH", (bin + ":" + qEnvironmentVariable("PATH")).toLocal8Bit());
    Global::vmName = QStringLiteral("Orvanta_2");
    Global::startClock.start();
    registerDialogType();
    SQLiteTool::instance().connect();
    QVERIFY(SQLiteTool::instance().isOpen());
}

void TestDialogControl::init()
{
    const QString records = m_dir.path() + QStringLiteral("/records-%1").arg(++m_round);
    QDir().mkpath(records);
    qputenv("ORV_RECORD_DIR", records.toLocal8Bit());
    appQuittingFlag = false;
    QThreadPool::globalInstance()->waitForDone();
    DataReportEngine::instance()->dao().clearTable();
}

void TestDialogControl::cleanup()
{
    appQuittingFlag = false;
    // Nothing may be left open between cases.
    QTRY_VERIFY(!QApplication::activeModalWidget());
}

void TestDialogControl::environmentCheckRecords_data()
{
    QTest::addColumn<QString>("from");
    QTest::addColumn<bool>("shown");
    QTest::addColumn<QStringList>("events");
    QTest::addColumn<bool>("quits");
    const QString required = QStringLiteral("DmBitsCheck|false|depth 16|go to modify;");
    const QString optional = QStringLiteral(
        "VTOpenStautsCheck|false|vt is off|go;MemoryCheck|true|ok|passed;GraphicsCheck|true|ok|passed;");
    // One event per record in name order, with the check's source code.
    const QStringList all{"1008 clickState=0 endState=0 initState=0 source=1",
                          "1008 clickState=0 endState=0 initState=1 source=6",
                          "1008 clickState=0 endState=0 initState=1 source=4",
                          "1008 clickState=0 endState=0 initState=0 source=7"};
    QTest::newRow("required failed") << required + "#" + optional << true << all << true;
    QTest::newRow("required passed") << "#" + optional << true << QStringList(all.mid(1)) << false;
    QTest::newRow("empty optional part") << required + "#" << true << QStringList(all.mid(0, 1)) << true;
    QTest::newRow("no #") << required << false << QStringList() << false;
    QTest::newRow("two #") << required + "#" + optional + "#" << false << QStringList() << false;
}

void TestDialogControl::environmentCheckRecords()
{
    QFETCH(QString, from);
    QFETCH(bool, shown);
    QFETCH(QStringList, events);
    QFETCH(bool, quits);
    // The checks are not run again while the dialog is open: the records are those of the start-up.
    EnvironmentCheckDialog::setRerunIntervalMs(60000);
    CheckResults::clear();
    CheckResults::recordInitial(from.section(QLatin1Char('#'), 0, 0) + from.section(QLatin1Char('#'), 1, 1));
    // One pool thread: the events are stored in the order they were reported.
    const int threads = QThreadPool::globalInstance()->maxThreadCount();
    QThreadPool::globalInstance()->setMaxThreadCount(1);
    DialogControl control;
    QSignalSpy quit(&control, &DialogControl::quitApp);
    bool seen = false;
    if (shown) {
        whenModal([&seen](QWidget *dialog) {
            seen = true;
            dialog->close();
        });
    }
    control.showDialog(QStringLiteral("1"), DialogType::EnvironmentCheck, nullptr, from);
    QCOMPARE(seen, shown);
    const QStringList stored = storedEvents();
    QThreadPool::globalInstance()->setMaxThreadCount(threads);
    QCOMPARE(stored, events);
    QCOMPARE(quit.count(), quits ? 1 : 0);
}

void TestDialogControl::typesWithoutDialog_data()
{
    QTest::addColumn<int>("type");
    for (int type : {6, 11, 13, 14, 15, 16, -1, 20})
        QTest::newRow(qPrintable(QString::number(type))) << type;
}

void TestDialogControl::typesWithoutDialog()
{
    QFETCH(int, type);
    DialogControl control;
    QSignalSpy quit(&control, &DialogControl::quitApp);
    QSignalSpy finished(&control, &DialogControl::dialogFinished);
    control.showDialog(QStringLiteral("text"), static_cast<DialogType>(type));
    QCOMPARE(finished.count(), 1);
    QCOMPARE(quit.count(), 0);
    QVERIFY(!QApplication::activeModalWidget());
}

void TestDialogControl::fileMissing_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<QList<QStringList>>("updaterCalls");
    QTest::newRow("confirm starts the updater")
        << "btn_normal_confirm" << QList<QStringList>{{"fromOrvantaToUpdate"}};
    QTest::newRow("cancel still quits") << "btn_normal_cancel" << QList<QStringList>{};
}

void TestDialogControl::fileMissing()
{
    QFETCH(QString, button);
    QFETCH(QList<QStringList>, updaterCalls);
    DialogControl control;
    QSignalSpy quit(&control, &DialogControl::quitApp);
    QString shown;
    whenModal([&shown, button](QWidget *dialog) {
        shown = dialog->findChild<QLabel *>(QStringLiteral("dlg_msg"))->text();
        QTest::mouseClick(dialog->findChild<QPushButton *>(button), Qt::LeftButton);
    });
    control.showDialog(QStringLiteral("file miss"), DialogType::FileMissing);
    QCOMPARE(shown, QStringLiteral("file miss"));
    QCOMPARE(quit.count(), 1);
    QCOMPARE(quit.at(0).at(0).toBool(), false);
    QTRY_COMPARE(recordedCalls(QStringLiteral("OrvantaUpdater")), updaterCalls);
}

void TestDialogControl::memoryWarning_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<int>("quits");
    QTest::newRow("cancel gives up") << "btn_memory_cancel" << 1;
    QTest::newRow("continue goes on") << "btn_memory_continue" << 0;
}

void TestDialogControl::memoryWarning()
{
    QFETCH(QString, button);
    QFETCH(int, quits);
    DialogControl control;
    QSignalSpy quit(&control, &DialogControl::quitApp);
    clickWhenModal(button);
    control.showDialog(QStringLiteral("memory low"), DialogType::MemoryWarning);
    QCOMPARE(quit.count(), quits);
}

void TestDialogControl::vboxError_data()
{
    QTest::addColumn<bool>("confirm");
    QTest::addColumn<int>("quits");
    QTest::newRow("confirm quits") << true << 1;
    QTest::newRow("escape stays") << false << 0;
}

void TestDialogControl::vboxError()
{
    QFETCH(bool, confirm);
    QFETCH(int, quits);
    Global::lastErrorCode = QStringLiteral("VBoxManage: error: machine <b>gone</b>");
    DialogControl control;
    QSignalSpy quit(&control, &DialogControl::quitApp);
    QString shown;
    UrlCatcher catcher;
    QDesktopServices::setUrlHandler(QStringLiteral("file"), &catcher, "open");
    QDesktopServices::setUrlHandler(QStringLiteral("https"), &catcher, "open");
    Global::logRoot = QStringLiteral("/opt/orvanta");
    Global::startDate = QStringLiteral("2026-12-10");
    whenModal([&shown, confirm](QWidget *dialog) {
        shown = dialog->findChild<QLabel *>(QStringLiteral("label_msg"))->text();
        // The service and log buttons leave the dialog open.
        QTest::mouseClick(dialog->findChild<QPushButton *>(QStringLiteral("btn_getLog")), Qt::LeftButton);
        QTest::mouseClick(dialog->findChild<QPushButton *>(QStringLiteral("btn_curtom")), Qt::LeftButton);
        QVERIFY(dialog->isVisible());
        if (confirm)
            QTest::mouseClick(dialog->findChild<QPushButton *>(QStringLiteral("btn_confirm")),
                              Qt::LeftButton);
        else
            QTest::keyClick(dialog, Qt::Key_Escape);
    });
    control.showDialog(QString(), DialogType::VBoxError);
    QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
    QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
    QCOMPARE(shown, Global::lastErrorCode);
    QCOMPARE(catcher.urls, (QList<QUrl>{QUrl::fromLocalFile(QStringLiteral("/opt/orvanta/log/log")),
                                        QUrl(QString::fromLatin1(VBoxErrorDialog::kServiceUrl))}));
    QCOMPARE(quit.count(), quits);
}

void TestDialogControl::errorCode_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("button");
    QTest::addColumn<bool>("tutorial");
    QTest::newRow("known code") << 9 << "1401"
                                << "Error_Path_Chinese"
                                << "btn_error_confirm" << false;
    QTest::newRow("code without text") << 9 << "1002"
                                       << ""
                                       << "btn_error_confirm" << false;
    QTest::newRow("not a number, closed") << 9 << "abc"
                                          << ""
                                          << "dlg_close" << false;
    QTest::newRow("tutorial kind, closed") << 10 << "1601"
                                           << "Error_conflict_with_soft"
                                           << "dlg_close" << true;
}

void TestDialogControl::errorCode()
{
    QFETCH(int, type);
    QFETCH(QString, code);
    QFETCH(QString, message);
    QFETCH(QString, button);
    QFETCH(bool, tutorial);
    DialogControl control;
    QSignalSpy quit(&control, &DialogControl::quitApp);
    QString shown;
    QWidget *parentSeen = reinterpret_cast<QWidget *>(1);
    UrlCatcher catcher;
    QDesktopServices::setUrlHandler(QStringLiteral("https"), &catcher, "open");
    whenModal([&, button](QWidget *dialog) {
        shown = dialog->findChild<QLabel *>(QStringLiteral("dlg_msg"))->text();
        parentSeen = dialog->parentWidget();
        QTest::mouseClick(dialog->findChild<QPushButton *>(button), Qt::LeftButton);
    });
    QWidget parent;
    control.showDialog(code, static_cast<DialogType>(type), &parent);
    QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
    QCOMPARE(shown, message);
    QCOMPARE(parentSeen, nullptr);
    QCOMPARE(quit.count(), 1);
    QCOMPARE(catcher.urls,
             tutorial ? QList<QUrl>{QUrl(QString::fromLatin1(DialogControl::kTutorialUrl))} : QList<QUrl>{});
    // The instance manager learns of the error; the code goes out with the system information (the
    // first "error" of the run stays), then the running time.
    QTRY_VERIFY_WITH_TIMEOUT(
        recordedCalls(QStringLiteral("OrvMultiPlayer"))
            .contains(QStringList{QStringLiteral("-vm=Orvanta_2"), QStringLiteral("-status=ERROR")}),
        10000);
    QStringList events = storedEvents();
    events.sort(); // stored by separate pool tasks
    QCOMPARE(events.size(), 2);
    QVERIFY2(events.at(0).startsWith(QStringLiteral("1002 error=")), qPrintable(events.at(0)));
    QCOMPARE(events.at(1), QStringLiteral("1003 time=*"));
}

void TestDialogControl::errorCodeKindSurvivesANestedRequest()
{
    // A message request served while the tutorial-kind error dialog is open must not turn that dialog's
    // answer into the answer of a plain message.
    DialogControl control;
    QSignalSpy quit(&control, &DialogControl::quitApp);
    UrlCatcher catcher;
    QDesktopServices::setUrlHandler(QStringLiteral("https"), &catcher, "open");
    bool nestedShown = false;
    whenModal([&](QWidget *errorDialog) {
        whenModal([&](QWidget *nested) {
            nestedShown = nested != errorDialog;
            QTest::mouseClick(nested->findChild<QPushButton *>(QStringLiteral("btn_error_confirm")),
                              Qt::LeftButton);
        });
        control.showDialog(QStringLiteral("app_starting"), DialogType::Message);
        QTest::mouseClick(errorDialog->findChild<QPushButton *>(QStringLiteral("dlg_close")), Qt::LeftButton);
    });
    control.showDialog(QStringLiteral("1601"), DialogType::ErrorCodeTutorial);
    QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
    QVERIFY(nestedShown);
    QCOMPARE(quit.count(), 1);
    QCOMPARE(catcher.urls, QList<QUrl>{QUrl(QString::fromLatin1(DialogControl::kTutorialUrl))});
}

void TestDialogControl::messageIsNeverParented()
{
    DialogControl control;
    QWidget parent;
    QWidget *parentSeen = &parent;
    whenModal([&parentSeen](QWidget *dialog) {
        parentSeen = dialog->parentWidget();
        QTest::mouseClick(dialog->findChild<QPushButton *>(QStringLiteral("btn_error_confirm")),
                          Qt::LeftButton);
    });
    control.showDialog(QStringLiteral("starting"), DialogType::Message, &parent);
    QCOMPARE(parentSeen, nullptr);
    // The request's parent is kept for the dialogs that use one.
    QCOMPARE(control.dialogParent(), &parent);
}

void TestDialogControl::updatePrompt_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<bool>("cancelled");
    QTest::addColumn<QList<QStringList>>("updaterCalls");
    QTest::newRow("update") << "btn_update" << false << QList<QStringList>{{"fromOrvantaToUpdate"}};
    QTest::newRow("not now") << "btn_cancel" << true << QList<QStringList>{};
    QTest::newRow("close") << "btn_close" << true << QList<QStringList>{};
}

void TestDialogControl::updatePrompt()
{
    QFETCH(QString, button);
    QFETCH(bool, cancelled);
    QFETCH(QList<QStringList>, updaterCalls);
    DialogControl control;
    QSignalSpy quit(&control, &DialogControl::quitApp);
    clickWhenModal(button);
    const quint32 before = static_cast<quint32>(QDateTime::currentSecsSinceEpoch());
    control.showDialog(QString(), DialogType::UpdatePrompt);
    QCOMPARE(quit.count(), 0);
    QSettings userKey(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Halvora"),
                      QStringLiteral("Orvanta"));
    QCOMPARE(userKey.value(QStringLiteral("IsUpdateCancel")).toBool(), cancelled);
    if (cancelled)
        QVERIFY(userKey.value(QStringLiteral("LastCheckTime")).toUInt() >= before);
    QTRY_COMPARE(recordedCalls(QStringLiteral("OrvantaUpdater")), updaterCalls);
    userKey.clear();
}

void TestDialogControl::quittingAnswersAtOnceAndClosesOpenDialogs()
{
    DialogControl control;
    QSignalSpy quit(&control, &DialogControl::quitApp);
    // A dialog is open when the quit begins: it is closed and nothing follows from it.
    whenModal([&control](QWidget *) {
        appQuittingFlag = true;
        QCOMPARE(control.activeRequests(), 1);
        control.closeOpenDialogs();
    });
    control.showDialog(QStringLiteral("file miss"), DialogType::FileMissing);
    QCOMPARE(control.activeRequests(), 0);
    QCOMPARE(quit.count(), 0);
    QCOMPARE(recordedCalls(QStringLiteral("OrvantaUpdater")), QList<QStringList>{});

    // Later requests are answered without a dialog.
    QSignalSpy finished(&control, &DialogControl::dialogFinished);
    control.showDialog(QString(), DialogType::VBoxError);
    control.showDialog(QStringLiteral("1"), DialogType::EnvironmentCheck, nullptr, QStringLiteral("a#b"));
    QCOMPARE(finished.count(), 2);
    QVERIFY(!QApplication::activeModalWidget());

    // A plain message too (a later start's "exiting"): a dialog now would hold the quit until clicked.
    bool opened = false;
    QTimer guard; // closes a dialog that should not be there, so that the test fails instead of hanging
    guard.setInterval(10);
    connect(&guard, &QTimer::timeout, this, [&opened] {
        if (QWidget *modal = QApplication::activeModalWidget()) {
            opened = true;
            QTest::keyClick(modal, Qt::Key_Escape);
        }
    });
    guard.start();
    control.showDialog(QStringLiteral("closing"), DialogType::Message);
    guard.stop();
    QCOMPARE(finished.count(), 3);
    QVERIFY(!opened);
}

void TestDialogControl::parentIsForgottenWhenItGoes()
{
    DialogControl control;
    auto *window = new QWidget;
    control.showDialog(QString(), static_cast<DialogType>(6), window);
    QCOMPARE(control.dialogParent(), window);
    delete window;
    QCOMPARE(control.dialogParent(), nullptr);
    // A later dialog is made without a parent instead of on a deleted one.
    QWidget *parentSeen = reinterpret_cast<QWidget *>(1);
    whenModal([&parentSeen](QWidget *dialog) {
        parentSeen = dialog->parentWidget();
        QTest::keyClick(dialog, Qt::Key_Escape);
    });
    control.showDialog(QString(), DialogType::VBoxError);
    QCOMPARE(parentSeen, nullptr);
}

void TestDialogControl::quitDialogNoRemind_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<int>("result");
    QTest::addColumn<bool>("stillAsks");
    QTest::newRow("confirm with no remind") << "btn_confirm" << 1 << false;
    QTest::newRow("cancel with no remind") << "btn_cancel" << 0 << true;
    QTest::newRow("close with no remind") << "btn_close" << 0 << true;
}

void TestDialogControl::quitDialogNoRemind()
{
    QFETCH(QString, button);
    QFETCH(int, result);
    QFETCH(bool, stillAsks);
    QFile::remove(SettingModel::filePath());
    SettingModel::instance()->load(true);
    QVERIFY(SettingModel::instance()->isShowCloseDialog());

    QuitOrvDialog dialog;
    QTimer::singleShot(0, &dialog, [&dialog, button] {
        QTest::mouseClick(dialog.findChild<QCheckBox *>(QStringLiteral("remind")), Qt::LeftButton,
                          Qt::NoModifier, QPoint(5, 11));
        QTest::mouseClick(dialog.findChild<QPushButton *>(button), Qt::LeftButton);
    });
    QCOMPARE(dialog.exec(), result);
    QCOMPARE(SettingModel::instance()->isShowCloseDialog(), stillAsks);
    QSettings file(SettingModel::filePath(), QSettings::IniFormat);
    QCOMPARE(file.value(QStringLiteral("Global/isShowCloseDialog"), true).toBool(), stillAsks);
}

void TestDialogControl::updateNotesShownOnce()
{
    const QString notes = UpdateDialog::notesFilePath();
    QDir().mkpath(QFileInfo(notes).absolutePath());
    QFile file(notes);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("1.5.0: faster start");
    file.close();

    UpdateDialog first(false);
    QCOMPARE(first.findChild<QTextEdit *>(QStringLiteral("update_content"))->toPlainText(),
             QStringLiteral("1.5.0: faster start"));
    QVERIFY(!QFileInfo::exists(notes));
    UpdateDialog second(false);
    QCOMPARE(second.findChild<QTextEdit *>(QStringLiteral("update_content"))->toPlainText(), QString());
}

void TestDialogControl::clearDataBackupKeepsTheDialogOpen()
{
    UpdateDialog dialog(true);
    int warnings = 0;
    // First "update": the warning, whose "backup" starts the manager; the update dialog stays open.
    // Second "update": the warning again, whose "update" lets the update go ahead.
    QTimer::singleShot(0, &dialog, [&] {
        const auto answerWarning = [&warnings](const QString &button) {
            whenModal([&warnings, button](QWidget *warning) {
                ++warnings;
                QTest::mouseClick(warning->findChild<QPushButton *>(button), Qt::LeftButton);
            });
        };
        answerWarning(QStringLiteral("btn_clear_backup"));
        QTest::mouseClick(dialog.findChild<QPushButton *>(QStringLiteral("btn_update")), Qt::LeftButton);
        QVERIFY(dialog.isVisible());
        answerWarning(QStringLiteral("btn_clear_update"));
        QTest::mouseClick(dialog.findChild<QPushButton *>(QStringLiteral("btn_update")), Qt::LeftButton);
    });
    QCOMPARE(dialog.exec(), int(QDialog::Accepted));
    QCOMPARE(warnings, 2);
    QTRY_COMPARE(recordedCalls(QStringLiteral("OrvMultiPlayer")), QList<QStringList>{QStringList{}});
}

QTEST_MAIN(TestDialogControl)
#include "tst_dialogcontrol.moc"
