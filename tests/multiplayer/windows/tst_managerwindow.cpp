// The manager's main window driven with real mouse and key events, against the simulated VirtualBox
// tool and a recording stand-in for the emulator program: create, copy, refuse, delete, back up,
// restore, start, batch start and status messages, as the tool's call log, the list file and the
// emulator starts show them.
#include "backuporrestoreselectdialog.h"
#include "dialogdriver.h"
#include "managervboxtool.h"
#include "mpvboxerrordialog.h"
#include "msgdialog.h"
#include "multiplayermanagerdialog.h"
#include "orvplayeritemdelegate.h"
#include "orvplayermodel.h"
#include "orvplayertableview.h"
#include "playercreatedialog.h"
#include "playerpainter.h"
#include "playerstate.h"
#include "windowfixture.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

using namespace OrvMulti;
using namespace DialogDriver;

namespace {

// Tool calls whose arguments start with `prefix`.
QList<QStringList> callsStartingWith(const QList<QStringList> &calls, const QStringList &prefix)
{
    QList<QStringList> result;
    for (const QStringList &call : calls)
        if (call.mid(0, prefix.size()) == prefix)
            result << call;
    return result;
}

void writeFaults(const QString &stateDir, const QByteArray &json)
{
    QFile faults(stateDir + QStringLiteral("/faults.json"));
    QVERIFY(faults.open(QIODevice::WriteOnly | QIODevice::Truncate));
    faults.write(json);
}

QString messageText(QWidget *dialog)
{
    return dialog->findChild<QLabel *>(QStringLiteral("label_content"))->text();
}

void click(QWidget *dialog, const char *button)
{
    QTest::mouseClick(dialog->findChild<QPushButton *>(QLatin1String(button)), Qt::LeftButton);
}

// Answers the next message with `button` and keeps its text in `text`.
void answerNextMessage(QString *text, const char *button)
{
    onNextDialog<MsgDialog>([text, button](MsgDialog *dialog) {
        *text = messageText(dialog);
        click(dialog, button);
    });
}

} // namespace

class TestManagerWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();
    void createOneFromTheBaseImage();
    void createSeveralFromAStoppedRow();
    void copyOfARunningRowIsRefused();
    void statusMessagesChangeTheRow_data();
    void statusMessagesChangeTheRow();
    void messageWithoutStatusBringsTheWindowBack();
    void deleteARow();
    void firstInstanceIsNeverDeleted();
    void backupThenRestore();
    void restoreOfAnEmptyFileDeletesNothing();
    void closeIsRefusedWhileABackupRuns();
    void startFromTheRowButton();
    void batchStartOfTheCheckedRows();
    void creationWithNoTitlesDoesNothing();
    void failedCreationRemovesItsRows();
    void closeIsRefusedWhileADeleteRuns();
    void screenshotOfRowsInSeveralStates();

private:
    OrvPlayerModel *model() const { return m_window->playerView()->playerModel(); }
    int rowOfTitle(const QString &title) const { return model()->rowOfTitle(title); }
    PlayerStateKind kindOf(const QString &title) const
    {
        return model()->contextAt(rowOfTitle(title))->currentKind();
    }
    QRect cell(int row, int column) const;
    void clickInRow(int row, const std::function<QRect(const QRect &)> &place);
    void clickButton(const char *name);
    bool allRowsSettled() const;

    std::unique_ptr<WindowFixture> m_fixture;
    MultiPlayerManagerDialog *m_window = nullptr;
};

void TestManagerWindow::initTestCase()
{
    QVERIFY(applyManagerStyle());
    QCoreApplication::setOrganizationName(QStringLiteral("Halvora"));
    QCoreApplication::setApplicationName(QStringLiteral("OrvMultiPlayer"));
    m_fixture = std::make_unique<WindowFixture>();
    QVERIFY(m_fixture->tool({"createvm", "--name", "Orvanta_0", "--register"}));
    QCOMPARE(VBoxTool::instance().init(), int(VBoxTool::Success));
}

void TestManagerWindow::cleanupTestCase()
{
    m_fixture.reset();
}

void TestManagerWindow::init()
{
    PlayerPainter::setInstance(new PlayerPainter);
    m_window = new MultiPlayerManagerDialog;
    m_window->move(200, 100);
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window));
    QTRY_VERIFY_WITH_TIMEOUT(m_window->playerView()->isLoaded(), 10000);
    m_fixture->clearCalls();
}

void TestManagerWindow::cleanup()
{
    cancelDialogWatchers();
    QTRY_VERIFY_WITH_TIMEOUT(allRowsSettled(), 10000);
    delete m_window;
    m_window = nullptr;
    QVERIFY(!PlayerPainter::instance());
}

bool TestManagerWindow::allRowsSettled() const
{
    if (m_window->isCreating() || m_window->playerView()->busyCount() ||
        m_window->playerView()->deletingCount())
        return false;
    return true;
}

QRect TestManagerWindow::cell(int row, int column) const
{
    OrvPlayerTableView *view = m_window->playerView();
    return OrvPlayerItemDelegate::cellRect(view->visualRect(view->playerModel()->index(row, column)));
}

void TestManagerWindow::clickInRow(int row, const std::function<QRect(const QRect &)> &place)
{
    QWidget *viewport = m_window->playerView()->viewport();
    const QPoint point = place(cell(row, 3)).center();
    QTest::mouseMove(viewport, point);
    QTest::mouseClick(viewport, Qt::LeftButton, {}, point);
}

void TestManagerWindow::clickButton(const char *name)
{
    QTest::mouseClick(m_window->findChild<QPushButton *>(QLatin1String(name)), Qt::LeftButton);
}

void TestManagerWindow::createOneFromTheBaseImage()
{
    QCOMPARE(model()->rowCount(), 1);
    QCOMPARE(model()->playerRecords().at(0)->title, QStringLiteral("Orvanta"));
    QStringList sources;
    onNextDialog<playerCreateDialog>([&sources](playerCreateDialog *dialog) {
        auto *combo = dialog->findChild<QComboBox *>(QStringLiteral("comboBox_copyobject"));
        for (int i = 0; i < combo->count(); ++i)
            sources << combo->itemText(i);
        click(dialog, "pushButton_ok");
    });
    clickButton("pushButton_new");
    QCOMPARE(sources, (QStringList{"the original palyer", "Orvanta"}));
    QCOMPARE(model()->rowCount(), 2);
    QCOMPARE(model()->playerRecords().at(1)->title, QStringLiteral("Orvanta_1"));
    // Nothing was copied from a row.
    QCOMPARE(kindOf(QStringLiteral("Orvanta")), PlayerStateKind::Stop);
    QTRY_COMPARE_WITH_TIMEOUT(model()->playerRecords().at(1)->vm, QStringLiteral("Orvanta_1"), 15000);
    QCOMPARE(kindOf(QStringLiteral("Orvanta_1")), PlayerStateKind::Stop);
    QTRY_VERIFY(!m_window->isCreating());
    // The base machine was made by this very list load, so the new machine is built from the image.
    const auto calls = m_fixture->modifyingCalls();
    QVERIFY(callsStartingWith(calls, {"clonevm"}).isEmpty());
    QCOMPARE(callsStartingWith(calls, {"createvm", "--name"}).size(), 1);
    QCOMPARE(callsStartingWith(calls, {"createvm", "--name"}).at(0).at(2), QStringLiteral("Orvanta_1"));
    QVERIFY(m_fixture->readFile(m_fixture->xmlPath()).contains(QLatin1String("title=\"Orvanta_1\"")));
}

void TestManagerWindow::createSeveralFromAStoppedRow()
{
    onNextDialog<playerCreateDialog>([](playerCreateDialog *dialog) {
        auto *combo = dialog->findChild<QComboBox *>(QStringLiteral("comboBox_copyobject"));
        combo->setFocus();
        QTest::keyClick(combo, Qt::Key_Down); // "Orvanta"
        auto *count = dialog->findChild<QLineEdit *>(QStringLiteral("lineEdit_creat_number"));
        QTest::mouseClick(count, Qt::LeftButton);
        count->selectAll();
        QTest::keyClicks(count, QStringLiteral("3"));
        click(dialog, "pushButton_ok");
    });
    clickButton("pushButton_new");
    QCOMPARE(model()->rowCount(), 5);
    QStringList titles;
    for (int row = 2; row < 5; ++row)
        titles << model()->playerRecords().at(row)->title;
    // "Orvanta_1" is taken: the numbers go on after it.
    QCOMPARE(titles, (QStringList{"Orvanta_2", "Orvanta_3", "Orvanta_4"}));
    QVERIFY(m_window->isCreating());
    QCOMPARE(kindOf(QStringLiteral("Orvanta")), PlayerStateKind::BeingCopied);
    // Another create while this one runs is refused.
    QString refusal;
    answerNextMessage(&refusal, "pushButton_ok");
    clickButton("pushButton_new");
    QCOMPARE(refusal, QStringLiteral("be creating player, can not do creatting"));

    QTRY_VERIFY_WITH_TIMEOUT(!m_window->isCreating(), 20000);
    for (int row = 2; row < 5; ++row) {
        QCOMPARE(model()->playerRecords().at(row)->vm, QStringLiteral("Orvanta_%1").arg(row));
        QCOMPARE(model()->contextAt(row)->currentKind(), PlayerStateKind::Stop);
    }
    QCOMPARE(kindOf(QStringLiteral("Orvanta")), PlayerStateKind::Stop);
    const auto clones = callsStartingWith(m_fixture->modifyingCalls(), {"clonevm"});
    QCOMPARE(clones.size(), 3);
    for (int i = 0; i < 3; ++i)
        QCOMPARE(clones.at(i).mid(0, 4),
                 (QStringList{"clonevm", "Orvanta_0", "--name", QStringLiteral("Orvanta_%1").arg(i + 2)}));
}

void TestManagerWindow::copyOfARunningRowIsRefused()
{
    const int rows = model()->rowCount();
    m_window->handleNewConnect(QStringLiteral(R"({"vm":"Orvanta_1","status":"RUNNING"})"));
    QCOMPARE(kindOf(QStringLiteral("Orvanta_1")), PlayerStateKind::Running);

    QString refusal;
    QStringList buttons;
    bool askedAgain = false;
    onNextDialog<playerCreateDialog>([&](playerCreateDialog *dialog) {
        auto *combo = dialog->findChild<QComboBox *>(QStringLiteral("comboBox_copyobject"));
        combo->setCurrentIndex(combo->findText(QStringLiteral("Orvanta_1")));
        onNextDialog<MsgDialog>([&](MsgDialog *message) {
            refusal = messageText(message);
            for (auto *b : message->findChildren<QPushButton *>())
                if (b->isVisible() && !b->text().isEmpty())
                    buttons << b->text();
            // "no" goes back to the create dialog, which is left this time.
            onNextDialog<playerCreateDialog>([&](playerCreateDialog *again) {
                askedAgain = true;
                click(again, "pushButton_return");
            });
            click(message, "pushButton_reject");
        });
        click(dialog, "pushButton_ok");
    });
    clickButton("pushButton_new");
    QCOMPARE(refusal, QStringLiteral("the object which is running can not be copied"));
    buttons.sort();
    QCOMPARE(buttons, (QStringList{"no", "retry"}));
    QVERIFY(askedAgain);
    QCOMPARE(model()->rowCount(), rows);
    QCOMPARE(kindOf(QStringLiteral("Orvanta_1")), PlayerStateKind::Running);
    QVERIFY(!m_window->isCreating());
    QVERIFY(callsStartingWith(m_fixture->modifyingCalls(), {"clonevm"}).isEmpty());
}

void TestManagerWindow::statusMessagesChangeTheRow_data()
{
    QTest::addColumn<QString>("status");
    QTest::addColumn<int>("kind");

    QTest::newRow("STARTING") << "STARTING" << int(PlayerStateKind::Starting);
    QTest::newRow("EXITING") << "EXITING" << int(PlayerStateKind::ClosingDown);
    QTest::newRow("WAITING") << "WAITING" << int(PlayerStateKind::WaittingStart);
    QTest::newRow("STARTWAITING changes nothing") << "STARTWAITING" << int(PlayerStateKind::Running);
    QTest::newRow("lower case changes nothing") << "running" << int(PlayerStateKind::Running);
    QTest::newRow("RUNNING") << "RUNNING" << int(PlayerStateKind::Running);
}

void TestManagerWindow::statusMessagesChangeTheRow()
{
    QFETCH(QString, status);
    QFETCH(int, kind);

    m_window->handleNewConnect(QStringLiteral(R"({"vm":"Orvanta_1","status":"RUNNING"})"));
    m_window->handleNewConnect(QStringLiteral(R"({"vm":"Orvanta_1","status":"%1"})").arg(status));
    QCOMPARE(int(kindOf(QStringLiteral("Orvanta_1"))), kind);
    // A word for a machine no row has is dropped; other rows keep their states.
    m_window->handleNewConnect(QStringLiteral(R"({"vm":"Orvanta_9","status":"RUNNING"})"));
    QCOMPARE(kindOf(QStringLiteral("Orvanta_2")), PlayerStateKind::Stop);

    if (QByteArray(QTest::currentDataTag()) == "RUNNING") {
        // "STOP" shows after its delay.
        m_window->handleNewConnect(QStringLiteral(R"({"vm":"Orvanta_1","status":"STOP"})"));
        QCOMPARE(kindOf(QStringLiteral("Orvanta_1")), PlayerStateKind::Running);
        QTRY_COMPARE_WITH_TIMEOUT(kindOf(QStringLiteral("Orvanta_1")), PlayerStateKind::Stop, 4000);
    }
}

void TestManagerWindow::messageWithoutStatusBringsTheWindowBack()
{
    m_window->showMinimized();
    QTRY_VERIFY(m_window->isMinimized());
    m_window->handleNewConnect(QStringLiteral(R"({"vm":"","status":""})"));
    QTRY_VERIFY(!m_window->isMinimized());
    QVERIFY(m_window->isVisible());
    m_window->showMinimized();
    QTRY_VERIFY(m_window->isMinimized());
    m_window->handleNewConnect(QStringLiteral("not json"));
    QTRY_VERIFY(!m_window->isMinimized());
}

void TestManagerWindow::deleteARow()
{
    const int row = rowOfTitle(QStringLiteral("Orvanta_4"));
    QVERIFY(row > 0);
    QString question;
    answerNextMessage(&question, "pushButton_yes");
    clickInRow(row, &PlayerPainter::deleteRect);
    QCOMPARE(question, QStringLiteral("is confirm to delete"));
    QTRY_COMPARE_WITH_TIMEOUT(rowOfTitle(QStringLiteral("Orvanta_4")), -1, 10000);
    QCOMPARE(model()->rowCount(), 4);
    QVERIFY(
        !callsStartingWith(m_fixture->modifyingCalls(), {"unregistervm", "Orvanta_4", "--delete"}).isEmpty());
    QVERIFY(!m_fixture->readFile(m_fixture->xmlPath()).contains(QLatin1String("Orvanta_4")));
}

void TestManagerWindow::firstInstanceIsNeverDeleted()
{
    // Neither the first instance nor a running one asks anything.
    m_window->handleNewConnect(QStringLiteral(R"({"vm":"Orvanta_1","status":"RUNNING"})"));
    QString asked;
    answerNextMessage(&asked, "pushButton_reject");
    clickInRow(0, &PlayerPainter::deleteRect);
    clickInRow(rowOfTitle(QStringLiteral("Orvanta_1")), &PlayerPainter::deleteRect);
    QCOMPARE(asked, QString());
    cancelDialogWatchers();
    QCOMPARE(model()->rowCount(), 4);
    QCOMPARE(kindOf(QStringLiteral("Orvanta")), PlayerStateKind::Stop);
    QVERIFY(m_fixture->modifyingCalls().isEmpty());
    QVERIFY(!QApplication::activeModalWidget());
}

void TestManagerWindow::backupThenRestore()
{
    const QString folder = m_fixture->tree().root() + QStringLiteral("/backups");
    QVERIFY(QDir().mkpath(folder));
    const QString file = folder + QStringLiteral("/orvanta3.ova");
    OrvPlayerTableView *view = m_window->playerView();
    QString proposed;
    view->saveFileChooser = [&](QWidget *, const QString &caption, const QString &name,
                                const QString &filter) {
        proposed = name;
        return caption == QLatin1String("backup") && filter == QLatin1String("backup file (*.ova)")
                   ? file
                   : QString();
    };
    QString result;
    onNextDialog<BackupOrRestoreSelectdialog>([&result](BackupOrRestoreSelectdialog *dialog) {
        answerNextMessage(&result, "pushButton_ok");
        click(dialog, "pushButton");
    });
    const int row = rowOfTitle(QStringLiteral("Orvanta_3"));
    clickInRow(row, &PlayerPainter::backupRect);
    QVERIFY(proposed.endsWith(QLatin1String(".ova")));
    QCOMPARE(kindOf(QStringLiteral("Orvanta_3")), PlayerStateKind::Backuping);
    QCOMPARE(view->busyCount(), 1);
    QTRY_COMPARE_WITH_TIMEOUT(result, QStringLiteral("backup successful"), 15000);
    QCOMPARE(kindOf(QStringLiteral("Orvanta_3")), PlayerStateKind::Stop);
    QCOMPARE(view->busyCount(), 0);
    QVERIFY(QFileInfo(file).size() > 0);
    QCOMPARE(view->lastBackupFolder(), folder + QLatin1Char('/'));
    QCOMPARE(callsStartingWith(m_fixture->modifyingCalls(), {"export"}),
             (QList<QStringList>{{"export", "Orvanta_3", "-o", file}}));

    m_fixture->clearCalls();
    QString openedIn;
    view->openFileChooser = [&](QWidget *, const QString &caption, const QString &dir, const QString &) {
        openedIn = dir;
        return caption == QLatin1String("restore") ? file : QString();
    };
    result.clear();
    onNextDialog<BackupOrRestoreSelectdialog>([&result](BackupOrRestoreSelectdialog *dialog) {
        answerNextMessage(&result, "pushButton_ok");
        click(dialog, "pushButton_2");
    });
    clickInRow(row, &PlayerPainter::backupRect);
    QCOMPARE(kindOf(QStringLiteral("Orvanta_3")), PlayerStateKind::Restoring);
    QTRY_COMPARE_WITH_TIMEOUT(result, QStringLiteral("retore successful"), 15000);
    QCOMPARE(kindOf(QStringLiteral("Orvanta_3")), PlayerStateKind::Stop);
    QCOMPARE(view->lastRestoreFolder(), folder);
    const auto calls = m_fixture->modifyingCalls();
    // The machine is unregistered, never deleted: its disks are kept aside until the import is checked.
    QVERIFY(callsStartingWith(calls, {"unregistervm", "Orvanta_3", "--delete"}).isEmpty());
    QVERIFY(calls.contains({"unregistervm", "Orvanta_3"}));
    // The file is tried by a dry run of its import before the machine is touched.
    QCOMPARE(callsStartingWith(calls, {"import"}),
             (QList<QStringList>{{"import", file, "--vsys", "0", "--vmname", "Orvanta_3", "--dry-run"},
                                 {"import", file, "--vsys", "0", "--vmname", "Orvanta_3"}}));
    QVERIFY(calls.indexOf({"import", file, "--vsys", "0", "--vmname", "Orvanta_3", "--dry-run"}) <
            calls.indexOf({"unregistervm", "Orvanta_3"}));
    // The instance keeps its title and list entry.
    QVERIFY(m_fixture->readFile(m_fixture->xmlPath()).contains(QLatin1String("title=\"Orvanta_3\"")));

    // A restore whose import fails after its dry run: the message says that the instance is as before.
    writeFaults(m_fixture->stateDir(),
                R"([{"match": "import * --vmname Orvanta_3", "times": 1,
                     "stderr": "{prog}: error: Appliance import failed\n{prog}: error: Could not create the imported medium '/x' (VERR_DISK_FULL)\n"}])");
    result.clear();
    onNextDialog<BackupOrRestoreSelectdialog>([&result](BackupOrRestoreSelectdialog *dialog) {
        answerNextMessage(&result, "pushButton_ok");
        click(dialog, "pushButton_2");
    });
    clickInRow(rowOfTitle(QStringLiteral("Orvanta_3")), &PlayerPainter::backupRect);
    QTRY_VERIFY_WITH_TIMEOUT(!result.isEmpty(), 15000);
    QVERIFY2(result.startsWith(QLatin1String("retore fail")), qPrintable(result));
    QVERIFY2(result.contains(QLatin1String("VERR_DISK_FULL")), qPrintable(result));
    QVERIFY2(result.contains(QLatin1String("put back as it was before the restore")), qPrintable(result));
    QCOMPARE(kindOf(QStringLiteral("Orvanta_3")), PlayerStateKind::Stop);
}

void TestManagerWindow::restoreOfAnEmptyFileDeletesNothing()
{
    const QString empty = m_fixture->tree().root() + QStringLiteral("/empty.ova");
    QFile(empty).open(QIODevice::WriteOnly);
    m_window->playerView()->openFileChooser = [&](QWidget *, const QString &, const QString &,
                                                  const QString &) { return empty; };
    QString result;
    onNextDialog<BackupOrRestoreSelectdialog>([&result](BackupOrRestoreSelectdialog *dialog) {
        answerNextMessage(&result, "pushButton_ok");
        click(dialog, "pushButton_2");
    });
    clickInRow(rowOfTitle(QStringLiteral("Orvanta_3")), &PlayerPainter::backupRect);
    QCOMPARE(result, QStringLiteral("retore fail"));
    QCOMPARE(kindOf(QStringLiteral("Orvanta_3")), PlayerStateKind::Stop);
    QVERIFY(m_fixture->modifyingCalls().isEmpty());
}

void TestManagerWindow::closeIsRefusedWhileABackupRuns()
{
    // The export takes a second, long enough to try closing meanwhile.
    writeFaults(m_fixture->stateDir(), R"([{"match": "export *", "sleep": 1, "pass": true}])");
    const QString file = m_fixture->tree().root() + QStringLiteral("/slow.ova");
    m_window->playerView()->saveFileChooser = [&](QWidget *, const QString &, const QString &,
                                                  const QString &) { return file; };
    onNextDialog<BackupOrRestoreSelectdialog>(
        [](BackupOrRestoreSelectdialog *dialog) { click(dialog, "pushButton"); });
    clickInRow(rowOfTitle(QStringLiteral("Orvanta_2")), &PlayerPainter::backupRect);
    QCOMPARE(kindOf(QStringLiteral("Orvanta_2")), PlayerStateKind::Backuping);
    QString refusal;
    answerNextMessage(&refusal, "pushButton_ok");
    clickButton("pushButton_close");
    QCOMPARE(refusal, QStringLiteral("be backing player, can not exit"));
    // Nor does a creation start meanwhile.
    answerNextMessage(&refusal, "pushButton_ok");
    clickButton("pushButton_new");
    QCOMPARE(refusal, QStringLiteral("be backing player, can not do creatting"));
    QVERIFY(!m_window->isCreating());
    QVERIFY(m_window->isVisible());
    QString result;
    answerNextMessage(&result, "pushButton_ok");
    QTRY_COMPARE_WITH_TIMEOUT(result, QStringLiteral("backup successful"), 15000);
    QFile::remove(m_fixture->stateDir() + QStringLiteral("/faults.json"));
}

void TestManagerWindow::startFromTheRowButton()
{
    const int row = rowOfTitle(QStringLiteral("Orvanta_2"));
    clickInRow(row, &PlayerPainter::buttonRect);
    QTRY_COMPARE(m_fixture->emulatorStarts().size(), 1);
    QCOMPARE(m_fixture->emulatorStarts().at(0), (QStringList{"-vm=Orvanta_2", "-title=Orvanta_2"}));
    QCOMPARE(kindOf(QStringLiteral("Orvanta_2")), PlayerStateKind::Starting);
    // A busy row's button area does nothing.
    clickInRow(row, &PlayerPainter::buttonRect);
    QCOMPARE(m_fixture->emulatorStarts().size(), 1);
}

void TestManagerWindow::batchStartOfTheCheckedRows()
{
    const int before = m_fixture->emulatorStarts().size();
    // Nothing checked: nothing starts.
    clickButton("pushButton_start");
    QVERIFY(!m_window->isStarting());
    QWidget *viewport = m_window->playerView()->viewport();
    for (const QString &title : {QStringLiteral("Orvanta"), QStringLiteral("Orvanta_3")})
        QTest::mouseClick(viewport, Qt::LeftButton, {}, cell(rowOfTitle(title), 0).center());
    clickButton("pushButton_start");
    QTRY_COMPARE(m_fixture->emulatorStarts().size(), before + 2);
    // Both emulators start at once; their records may land in either order.
    QList<QStringList> starts = m_fixture->emulatorStarts().mid(before);
    std::sort(starts.begin(), starts.end());
    QCOMPARE(starts.at(0), (QStringList{"-vm=Orvanta_0", "-title=Orvanta"}));
    QCOMPARE(starts.at(1), (QStringList{"-vm=Orvanta_3", "-title=Orvanta_3"}));
    QCOMPARE(kindOf(QStringLiteral("Orvanta")), PlayerStateKind::Starting);
    QCOMPARE(kindOf(QStringLiteral("Orvanta_3")), PlayerStateKind::Starting);
    QTRY_VERIFY(!m_window->isStarting());
    // "select all" checks every row.
    QTest::mouseClick(m_window->findChild<QCheckBox *>(QStringLiteral("checkBox")), Qt::LeftButton);
    for (PlayerRecord *record : model()->playerRecords())
        QVERIFY(record->selected);
}

void TestManagerWindow::creationWithNoTitlesDoesNothing()
{
    const int rows = model()->rowCount();
    m_window->createPlayersrRcursively(QStringLiteral("Orvanta"), 0);
    QCOMPARE(model()->rowCount(), rows);
    QVERIFY(!m_window->isCreating());
    QCOMPARE(kindOf(QStringLiteral("Orvanta")), PlayerStateKind::Stop);
    QVERIFY(m_fixture->modifyingCalls().isEmpty());
}

void TestManagerWindow::failedCreationRemovesItsRows()
{
    // The second of three copies fails with an error of the tool.
    writeFaults(m_fixture->stateDir(),
                R"([{"match": "clonevm Orvanta_0 --name Orvanta_5 *", "exit": 1,
                     "stderr": "{prog}: error: Could not create the clone medium\n"}])");
    const int rows = model()->rowCount();
    QString error;
    onNextDialog<playerCreateDialog>([&error](playerCreateDialog *dialog) {
        auto *combo = dialog->findChild<QComboBox *>(QStringLiteral("comboBox_copyobject"));
        combo->setCurrentIndex(combo->findText(QStringLiteral("Orvanta")));
        auto *count = dialog->findChild<QLineEdit *>(QStringLiteral("lineEdit_creat_number"));
        count->setText(QStringLiteral("3"));
        onNextDialog<VBoxErrorDialog>(
            [&error](VBoxErrorDialog *failure) {
                error = messageText(failure);
                click(failure, "pushButton_confirm");
            },
            20000);
        click(dialog, "pushButton_ok");
    });
    clickButton("pushButton_new");
    QCOMPARE(model()->rowCount(), rows + 3);
    QTRY_VERIFY_WITH_TIMEOUT(!error.isEmpty(), 20000);
    QVERIFY2(error.contains(QLatin1String("error: Could not create the clone medium")), qPrintable(error));
    QTRY_VERIFY_WITH_TIMEOUT(!m_window->isCreating(), 10000);
    // The first copy stays; the failed one and the one after it are gone, and the third was never tried.
    QCOMPARE(model()->rowCount(), rows + 1);
    QCOMPARE(model()->playerRecords().at(rows)->title, QStringLiteral("Orvanta_4"));
    QCOMPARE(model()->playerRecords().at(rows)->vm, QStringLiteral("Orvanta_4"));
    QCOMPARE(kindOf(QStringLiteral("Orvanta_4")), PlayerStateKind::Stop);
    QCOMPARE(kindOf(QStringLiteral("Orvanta")), PlayerStateKind::Stop);
    QCOMPARE(rowOfTitle(QStringLiteral("Orvanta_5")), -1);
    QCOMPARE(rowOfTitle(QStringLiteral("Orvanta_6")), -1);
    const auto clones = callsStartingWith(m_fixture->modifyingCalls(), {"clonevm"});
    QCOMPARE(clones.size(), 2);
    QVERIFY(callsStartingWith(clones, {"clonevm", "Orvanta_0", "--name", "Orvanta_6"}).isEmpty());
    QFile::remove(m_fixture->stateDir() + QStringLiteral("/faults.json"));
}

void TestManagerWindow::closeIsRefusedWhileADeleteRuns()
{
    writeFaults(m_fixture->stateDir(),
                R"([{"match": "unregistervm Orvanta_4 --delete", "sleep": 1, "pass": true}])");
    QString question;
    answerNextMessage(&question, "pushButton_yes");
    clickInRow(rowOfTitle(QStringLiteral("Orvanta_4")), &PlayerPainter::deleteRect);
    QCOMPARE(question, QStringLiteral("is confirm to delete"));
    QCOMPARE(kindOf(QStringLiteral("Orvanta_4")), PlayerStateKind::Deleting);
    QString refusal;
    answerNextMessage(&refusal, "pushButton_ok");
    clickButton("pushButton_close");
    QCOMPARE(refusal, QStringLiteral("be deleting player, can not exit"));
    QVERIFY(m_window->isVisible());
    QTRY_COMPARE_WITH_TIMEOUT(rowOfTitle(QStringLiteral("Orvanta_4")), -1, 15000);
    QCOMPARE(m_window->playerView()->deletingCount(), 0);
    QFile::remove(m_fixture->stateDir() + QStringLiteral("/faults.json"));
}

void TestManagerWindow::screenshotOfRowsInSeveralStates()
{
    m_window->handleNewConnect(QStringLiteral(R"({"vm":"Orvanta_1","status":"RUNNING"})"));
    m_window->handleNewConnect(QStringLiteral(R"({"vm":"Orvanta_2","status":"STARTING"})"));
    model()->contextAt(3)->setState(makePlayerState(PlayerStateKind::Deleting, PlayerPainter::instance()));
    model()->DataChangedSlot(3, 0, 3, 3);
    // Row buttons, in window coordinates.
    const QPoint list = m_window->playerView()->viewport()->mapTo(m_window, QPoint(0, 0));
    QImage shot;
    auto buttonShows = [&](int row, const QString &picture) {
        const QRect button = PlayerPainter::buttonRect(cell(row, 3));
        return showsPicture(shot, list + QPoint(button.left() + 10, button.center().y()), picture);
    };
    // The screen shows the new states once the window has repainted.
    QTRY_VERIFY_WITH_TIMEOUT(
        (shot = grabShownWindow(m_window), buttonShows(1, QStringLiteral("closePlayerBtn"))), 10000);
    QVERIFY(keepArtifact(shot, QStringLiteral("MultiPlayerManagerDialog")));
    QVERIFY(buttonShows(0, QStringLiteral("btnstart")));
    QVERIFY(showsPicture(shot, list + PlayerPainter::deleteRect(cell(0, 3)).center(),
                         QStringLiteral("delBtnDisabled")));
    QVERIFY(showsPicture(shot, list + PlayerPainter::deleteRect(cell(1, 3)).center(),
                         QStringLiteral("delBtnDisabled")));
    // The bottom bar and the title bar, in window coordinates (the panel starts at 10, 10).
    QVERIFY(showsPicture(shot, QPoint(10 + 472 + 5, 10 + 620 + 12 + 5), QStringLiteral("bottomBtn")));
    QVERIFY(showsPicture(shot, QPoint(10 + 614 + 5, 10 + 620 + 12 + 5), QStringLiteral("bottomBtn")));
    QVERIFY(showsPicture(shot, QPoint(10 + 666 + 8, 10 + 21 + 8), QStringLiteral("min")));
    QVERIFY(showsPicture(shot, QPoint(10 + 703 + 8, 10 + 21 + 8), QStringLiteral("close")));
    QCOMPARE(shot.pixel(20, 30), qRgb(0x35, 0x3a, 0x40));
    QCOMPARE(shot.pixel(100, 10 + 620 + 5), qRgb(61, 65, 74));
    model()->contextAt(3)->setState(makePlayerState(PlayerStateKind::Stop, PlayerPainter::instance()));
    m_window->handleNewConnect(QStringLiteral(R"({"vm":"Orvanta_2","status":"RUNNING"})"));
}

QTEST_MAIN(TestManagerWindow)
#include "tst_managerwindow.moc"
