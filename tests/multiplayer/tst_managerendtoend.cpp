// The manager with the real emulator program: the manager (this process, holding the manager's key and
// channel) starts two instances from its window, each emulator reports its status words by starting
// the manager program, which hands them over the channel, and the rows follow; closing one instance
// from its row ends that emulator and leaves the other running. The machines run on the simulated
// VirtualBox tool.
#include "managervboxtool.h"
#include "mpapplication.h"
#include "multiplayermanagerdialog.h"
#include "orvplayeritemdelegate.h"
#include "orvplayermodel.h"
#include "orvplayertableview.h"
#include "playerpainter.h"
#include "playerstate.h"
#include "programrun.h"
#include "windowfixture.h"

#include <QCheckBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QtTest>

using namespace OrvMulti;

namespace {

WindowFixture *g_fixture = nullptr;

QStringList g_messages;
QtMessageHandler g_previousHandler = nullptr;
void collectMessages(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (message.startsWith(QLatin1String("manager message ")))
        g_messages << message.mid(16);
    g_previousHandler(type, context, message);
}

// The emulator's log lines of one machine that hold `text`.
int logLinesOf(const QString &log, const QString &vm, const QString &text)
{
    int count = 0;
    for (const QString &line : log.split(QLatin1Char('\n')))
        if (line.contains(QLatin1String("]: ") + vm + QLatin1Char(' ')) && line.contains(text))
            ++count;
    return count;
}

} // namespace

class TestManagerEndToEnd : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void twoInstancesStartAndOneIsClosed();

private:
    QString vmState(const QString &vm);
    PlayerStateKind kindOf(const QString &vm) const
    {
        OrvPlayerModel *model = m_window->playerView()->playerModel();
        return model->contextAt(model->rowOfVm(vm))->currentKind();
    }
    bool hasMessage(const QString &vm, const QString &status) const
    {
        return g_messages.contains(QStringLiteral(R"({"status":"%1","vm":"%2"})").arg(status, vm));
    }

    MultiPlayerManagerDialog *m_window = nullptr;
};

void TestManagerEndToEnd::initTestCase()
{
    if (qEnvironmentVariableIsEmpty("DISPLAY"))
        QSKIP("the emulator's start-up checks need an X display");
    auto *app = qobject_cast<OrvApplication *>(QCoreApplication::instance());
    QVERIFY(app && !app->isRunning());
    g_previousHandler = qInstallMessageHandler(collectMessages);
    QCoreApplication::setOrganizationName(QStringLiteral("Halvora"));
    QCoreApplication::setApplicationName(QStringLiteral("OrvMultiPlayer"));
    InstallTree &tree = g_fixture->tree();
    for (const char *program : {"Orvanta", "OrvantaUpdater", "OrvMultiPlayer"})
        QVERIFY(tree.addProgram(QLatin1String(program)));
    // The manager finds the emulator on the path (it is not beside this test program).
    qputenv("PATH", tree.playerDir().toLocal8Bit() + ':' + qgetenv("PATH"));
    QCOMPARE(VBoxTool::instance().init(), int(VBoxTool::Success));
    for (const char *vm : {"Orvanta_1", "Orvanta_2"})
        QVERIFY(g_fixture->tool({"createvm", "--name", QLatin1String(vm), "--register"}));
    PlayerPainter::setInstance(new PlayerPainter);
    m_window = new MultiPlayerManagerDialog;
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window));
    QTRY_VERIFY_WITH_TIMEOUT(m_window->playerView()->isLoaded(), 10000);
    QCOMPARE(m_window->playerView()->playerModel()->rowCount(), 2);
}

void TestManagerEndToEnd::cleanupTestCase()
{
    for (const char *vm : {"Orvanta_1", "Orvanta_2"}) {
        ProgramRun stop(g_fixture->tree(), QStringLiteral("Orvanta"), {QLatin1String("-vm=") + vm, "-stop"});
        stop.run();
    }
    // The emulators power their machines off before the tree ends what still runs.
    for (const char *vm : {"Orvanta_1", "Orvanta_2"})
        QTRY_COMPARE_WITH_TIMEOUT(vmState(QLatin1String(vm)), QStringLiteral("poweroff"), 20000);
    delete m_window;
    qInstallMessageHandler(g_previousHandler);
}

QString TestManagerEndToEnd::vmState(const QString &vm)
{
    QString out;
    if (!g_fixture->tool({"showvminfo", vm, "--machinereadable"}, &out))
        return QString();
    static const QRegularExpression state(QStringLiteral("^VMState=\"([^\"]*)\""),
                                          QRegularExpression::MultilineOption);
    return state.match(out).captured(1);
}

void TestManagerEndToEnd::twoInstancesStartAndOneIsClosed()
{
    InstallTree &tree = g_fixture->tree();
    OrvPlayerTableView *view = m_window->playerView();
    QTest::mouseClick(m_window->findChild<QCheckBox *>(QStringLiteral("checkBox")), Qt::LeftButton);
    QTest::mouseClick(m_window->findChild<QPushButton *>(QStringLiteral("pushButton_start")), Qt::LeftButton);
    QTRY_COMPARE(kindOf(QStringLiteral("Orvanta_1")), PlayerStateKind::Starting);
    QTRY_COMPARE(kindOf(QStringLiteral("Orvanta_2")), PlayerStateKind::Starting);

    // Each emulator brings its machine up and tells the manager through the manager program.
    QTRY_VERIFY_WITH_TIMEOUT(hasMessage(QStringLiteral("Orvanta_1"), QStringLiteral("STARTING")) &&
                                 hasMessage(QStringLiteral("Orvanta_2"), QStringLiteral("STARTING")),
                             30000);
    QTRY_VERIFY_WITH_TIMEOUT(
        logLinesOf(tree.logText(), QStringLiteral("Orvanta_1"), "Loading    : machine running") == 1 &&
            logLinesOf(tree.logText(), QStringLiteral("Orvanta_2"), "Loading    : machine running") == 1,
        60000);
    QCOMPARE(vmState(QStringLiteral("Orvanta_1")), QStringLiteral("running"));
    QCOMPARE(vmState(QStringLiteral("Orvanta_2")), QStringLiteral("running"));
    QCOMPARE(kindOf(QStringLiteral("Orvanta_1")), PlayerStateKind::Starting);

    // The simulated guest does not boot Android, so the word an emulator sends once Android is up is
    // sent here as that emulator would: by starting the manager program.
    for (const char *vm : {"Orvanta_1", "Orvanta_2"}) {
        ProgramRun report(tree, QStringLiteral("OrvMultiPlayer"),
                          {QLatin1String("-vm=") + vm, QStringLiteral("-status=RUNNING")});
        QCOMPARE(report.run(), 0);
    }
    QTRY_COMPARE(kindOf(QStringLiteral("Orvanta_1")), PlayerStateKind::Running);
    QTRY_COMPARE(kindOf(QStringLiteral("Orvanta_2")), PlayerStateKind::Running);

    // "close" on the first row.
    const int row = view->playerModel()->rowOfVm(QStringLiteral("Orvanta_1"));
    const QRect cell = OrvPlayerItemDelegate::cellRect(view->visualRect(view->playerModel()->index(row, 3)));
    const QPoint close = PlayerPainter::buttonRect(cell).center();
    QTest::mouseMove(view->viewport(), close);
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, close);
    QCOMPARE(kindOf(QStringLiteral("Orvanta_1")), PlayerStateKind::ClosingDown);
    QTRY_VERIFY_WITH_TIMEOUT(hasMessage(QStringLiteral("Orvanta_1"), QStringLiteral("EXITING")), 30000);
    QTRY_VERIFY_WITH_TIMEOUT(hasMessage(QStringLiteral("Orvanta_1"), QStringLiteral("STOP")), 30000);
    QTRY_COMPARE_WITH_TIMEOUT(kindOf(QStringLiteral("Orvanta_1")), PlayerStateKind::Stop, 5000);
    QTRY_COMPARE_WITH_TIMEOUT(vmState(QStringLiteral("Orvanta_1")), QStringLiteral("poweroff"), 10000);

    // The other instance runs on.
    QCOMPARE(kindOf(QStringLiteral("Orvanta_2")), PlayerStateKind::Running);
    QCOMPARE(vmState(QStringLiteral("Orvanta_2")), QStringLiteral("running"));
    QVERIFY(!hasMessage(QStringLiteral("Orvanta_2"), QStringLiteral("EXITING")));
}

int main(int argc, char **argv)
{
    // The tree's folders, including the temporary folder that names the manager's key and channel, are
    // in place before the application object takes the key.
    WindowFixture fixture;
    g_fixture = &fixture;
    int appArgc = 1;
    OrvApplication app(appArgc, argv);
    TestManagerEndToEnd test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_managerendtoend.moc"
