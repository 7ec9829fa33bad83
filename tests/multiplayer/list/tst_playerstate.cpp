// The row states of the instance list: the transition table, and the races between background work
// and status words with real timing against the simulated tool.

#include "calllogs.h"
#include "managervboxtool.h"
#include "mpfixture.h"
#include "orvplayermodel.h"
#include "playerpainter.h"
#include "playerstate.h"
#include "playertool.h"
#include "programrun.h"
#include "sharedsegment.h"
#include "testartefacts.h"

#include <QImage>
#include <QJsonObject>
#include <QPainter>
#include <QSignalSpy>
#include <QtTest>

#include <algorithm>
#include <sys/stat.h>
#include <unistd.h>

using namespace OrvMulti;
using K = PlayerStateKind;
using T = PlayerTrigger;

Q_DECLARE_METATYPE(OrvMulti::PlayerStateKind)
Q_DECLARE_METATYPE(OrvMulti::PlayerTrigger)

namespace {

const QList<K> kAllStates{K::Stop,
                          K::Running,
                          K::BeingCopied,
                          K::Starting,
                          K::WaittingStart,
                          K::ClosingDown,
                          K::WaittingforCreating,
                          K::Creating,
                          K::Deleting,
                          K::Backuping,
                          K::Restoring};
const QList<T> kAllTriggers{T::StartClicked,  T::CloseClicked,       T::WaitToStart,   T::StartPlayerNow,
                            T::StatusRunning, T::StatusStarting,     T::StatusExiting, T::StatusWaiting,
                            T::DelayedStop,   T::DeleteConfirmed,    T::DeleteFailed,  T::BackupChosen,
                            T::RestoreChosen, T::BackupRestoreEnded, T::CopyRequested, T::CopyFinished,
                            T::BeginToCreate, T::FinishSucceed,      T::FinishFailed,  T::DeleteSucceeded};

const char *const kStateNames[] = {
    "Stop",     "Running",  "BeingCopied", "Starting", "WaittingStart", "ClosingDown", "WaittingforCreating",
    "Creating", "Deleting", "Backuping",   "Restoring"};
const char *const kTriggerNames[] = {
    "StartClicked",   "CloseClicked",  "WaitToStart",   "StartPlayerNow",     "StatusRunning",
    "StatusStarting", "StatusExiting", "StatusWaiting", "DelayedStop",        "DeleteConfirmed",
    "DeleteFailed",   "BackupChosen",  "RestoreChosen", "BackupRestoreEnded", "CopyRequested",
    "CopyFinished",   "BeginToCreate", "FinishSucceed", "FinishFailed",       "DeleteSucceeded"};

// The table the rows follow, written out: (from, trigger) -> to. Status words move every row but those
// whose delete, backup, restore or copy runs.
QMap<QPair<K, T>, K> expectedTable()
{
    QMap<QPair<K, T>, K> table{
        {{K::Stop, T::StartClicked}, K::Starting},
        {{K::Running, T::CloseClicked}, K::ClosingDown},
        {{K::Stop, T::WaitToStart}, K::WaittingStart},
        {{K::WaittingStart, T::StartPlayerNow}, K::Starting},
        {{K::Stop, T::DeleteConfirmed}, K::Deleting},
        {{K::Deleting, T::DeleteFailed}, K::Stop},
        {{K::Stop, T::BackupChosen}, K::Backuping},
        {{K::Stop, T::RestoreChosen}, K::Restoring},
        {{K::Backuping, T::BackupRestoreEnded}, K::Stop},
        {{K::Restoring, T::BackupRestoreEnded}, K::Stop},
        {{K::Stop, T::CopyRequested}, K::BeingCopied},
        {{K::BeingCopied, T::CopyFinished}, K::Stop},
        {{K::WaittingforCreating, T::BeginToCreate}, K::Creating},
        {{K::Creating, T::FinishSucceed}, K::Stop},
    };
    const QList<K> protectedStates{K::Deleting, K::Backuping, K::Restoring, K::BeingCopied};
    const QList<QPair<T, K>> statusMoves{{T::StatusRunning, K::Running},
                                         {T::StatusStarting, K::Starting},
                                         {T::StatusExiting, K::ClosingDown},
                                         {T::StatusWaiting, K::WaittingStart},
                                         {T::DelayedStop, K::Stop}};
    for (const K from : kAllStates) {
        if (protectedStates.contains(from))
            continue;
        for (const auto &move : statusMoves)
            table.insert({from, move.first}, move.second);
    }
    return table;
}

QJsonObject slowCall(const QString &match, double seconds)
{
    return QJsonObject{{"match", match}, {"sleep", seconds}, {"pass", true}};
}

} // namespace

class TestPlayerState : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void transitionTable_data();
    void transitionTable();
    void statusWords_data();
    void statusWords();
    void deleteFinishingWhileStatusArrives();
    void deletesFinishingOutOfOrderRemoveTheirOwnRows();
    void delayedStopYieldsToANewerWord();
    void backupMarksTheMachineBusy();
    void segmentOfAnotherUserIsLeftAlone();
    void modelGoneWhileABackupRuns();
    void onlyAStoppedRowIsACopySource();
    void startUsesTheTitleAsOneArgument();
    void rowShowsItsStateWord_data();
    void rowShowsItsStateWord();

private:
    // Makes instances with these titles (Orvanta_1, Orvanta_2, ...) and a model with their rows in Stop.
    void makeRows(const QStringList &titles);
    K kindOf(int row) const { return m_model->contextAt(row)->currentKind(); }

    std::unique_ptr<ManagerFixture> m_fixture;
    std::unique_ptr<OrvPlayerModel> m_model;
};

void TestPlayerState::init()
{
    // The table cases need no tool; the others make their tree in makeRows.
}

void TestPlayerState::cleanup()
{
    QThreadPool::globalInstance()->waitForDone();
    m_model.reset();
    m_fixture.reset();
}

void TestPlayerState::makeRows(const QStringList &titles)
{
    if (!m_fixture)
        m_fixture = std::make_unique<ManagerFixture>();
    QCOMPARE(VBoxTool::instance().init(), 1);
    VmRecordMap records;
    QCOMPARE(VBoxTool::instance().refreshVms(&records), 1);
    for (const QString &title : titles)
        QCOMPARE(VBoxTool::instance().clone(QStringLiteral("OrvantaBase"), title), 1);
    QCOMPARE(VBoxTool::instance().refreshVms(&records), 1);
    m_model = std::make_unique<OrvPlayerModel>();
    QList<PlayerRecord> rows;
    for (const auto &entry : records)
        rows << PlayerRecord(entry.second.vm, entry.second.title, false);
    m_model->addRecords(rows, K::Stop);
    QCOMPARE(m_model->rowCount(), titles.size());
}

void TestPlayerState::transitionTable_data()
{
    QTest::addColumn<K>("from");
    QTest::addColumn<T>("trigger");
    QTest::addColumn<bool>("moves");
    QTest::addColumn<K>("to");
    const auto table = expectedTable();
    for (const K from : kAllStates) {
        for (const T trigger : kAllTriggers) {
            const auto key = qMakePair(from, trigger);
            QTest::addRow("%s %s", kStateNames[int(from)], kTriggerNames[int(trigger)])
                << from << trigger << table.contains(key) << table.value(key, from);
        }
    }
}

void TestPlayerState::transitionTable()
{
    QFETCH(K, from);
    QFETCH(T, trigger);
    QFETCH(bool, moves);
    QFETCH(K, to);
    K next = from;
    QCOMPARE(nextPlayerState(from, trigger, &next), moves);
    if (moves)
        QCOMPARE(next, to);

    // The same through a row's context, which replaces its state object.
    PlayerContext context(makePlayerState(from, nullptr), PlayerRecord("Orvanta_5", "Five", false), nullptr);
    QCOMPARE(context.fire(trigger), moves);
    QCOMPARE(context.currentKind(), moves ? to : from);
}

void TestPlayerState::statusWords_data()
{
    QTest::addColumn<QString>("word");
    QTest::addColumn<bool>("known");
    QTest::addColumn<T>("trigger");
    QTest::newRow("RUNNING") << "RUNNING" << true << T::StatusRunning;
    QTest::newRow("STARTING") << "STARTING" << true << T::StatusStarting;
    QTest::newRow("EXITING") << "EXITING" << true << T::StatusExiting;
    QTest::newRow("WAITING") << "WAITING" << true << T::StatusWaiting;
    QTest::newRow("STOP") << "STOP" << true << T::DelayedStop;
    QTest::newRow("ERROR") << "ERROR" << true << T::DelayedStop;
    QTest::newRow("STARTWAITING") << "STARTWAITING" << false << T::StatusRunning;
    QTest::newRow("lower case") << "running" << false << T::StatusRunning;
    QTest::newRow("empty") << "" << false << T::StatusRunning;
}

void TestPlayerState::statusWords()
{
    QFETCH(QString, word);
    QFETCH(bool, known);
    QFETCH(T, trigger);
    T found = T::StatusRunning;
    QCOMPARE(statusTrigger(word, &found), known);
    if (known)
        QCOMPARE(found, trigger);
}

void TestPlayerState::deleteFinishingWhileStatusArrives()
{
    makeRows({"Doomed"});
    m_fixture->setFaults({slowCall(QStringLiteral("unregistervm Orvanta_1 --delete"), 0.6)});
    QSignalSpy result(m_model.get(), &OrvPlayerModel::deleteResult);
    QVERIFY(m_model->startDelete(0));
    QCOMPARE(kindOf(0), K::Deleting);
    // Words of the machine arrive while the tool deletes it; the row keeps its state object.
    for (const char *word : {"RUNNING", "STARTING", "STOP"}) {
        QVERIFY(m_model->applyStatusWord(QStringLiteral("Orvanta_1"), QLatin1String(word)));
        QCOMPARE(kindOf(0), K::Deleting);
    }
    QVERIFY(result.wait(10000));
    QCOMPARE(result.first().at(2).toBool(), true);
    QCOMPARE(m_model->rowCount(), 0);
    QVERIFY(VBoxTool::instance().findVmByTitle(QStringLiteral("Doomed")).isEmpty());
    // The stop that was pending for the removed row finds nothing to do.
    QTest::qWait(OrvPlayerModel::kDelayedStopMs + 100);
    QCOMPARE(m_model->rowCount(), 0);
}

void TestPlayerState::deletesFinishingOutOfOrderRemoveTheirOwnRows()
{
    makeRows({"Slow", "Fast", "Stays"});
    m_fixture->setFaults({slowCall(QStringLiteral("unregistervm Orvanta_1 --delete"), 0.8)});
    QSignalSpy result(m_model.get(), &OrvPlayerModel::deleteResult);
    QVERIFY(m_model->startDelete(0));
    QVERIFY(m_model->startDelete(1));
    QTRY_COMPARE_WITH_TIMEOUT(result.size(), 2, 10000);
    QCOMPARE(result.at(0).at(1).toString(), QStringLiteral("Fast"));
    QCOMPARE(result.at(1).at(1).toString(), QStringLiteral("Slow"));
    QCOMPARE(m_model->rowCount(), 1);
    QCOMPARE(m_model->playerRecords().first()->title, QStringLiteral("Stays"));
    QCOMPARE(kindOf(0), K::Stop);
}

void TestPlayerState::delayedStopYieldsToANewerWord()
{
    makeRows({"Flicker", "Ends"});
    const QString first = m_model->playerRecords().at(0)->vm;
    const QString second = m_model->playerRecords().at(1)->vm;
    QVERIFY(m_model->applyStatusWord(first, QStringLiteral("RUNNING")));
    QVERIFY(m_model->applyStatusWord(second, QStringLiteral("RUNNING")));
    QCOMPARE(kindOf(0), K::Running);

    QVERIFY(m_model->applyStatusWord(first, QStringLiteral("STOP")));
    QVERIFY(m_model->applyStatusWord(second, QStringLiteral("ERROR")));
    QTest::qWait(300);
    QVERIFY(m_model->applyStatusWord(first, QStringLiteral("RUNNING")));
    QCOMPARE(kindOf(0), K::Running);
    QCOMPARE(kindOf(1), K::Running);
    QTRY_COMPARE_WITH_TIMEOUT(kindOf(1), K::Stop, OrvPlayerModel::kDelayedStopMs + 1000);
    QTest::qWait(400);
    QCOMPARE(kindOf(0), K::Running);
    QVERIFY(!m_model->applyStatusWord(QStringLiteral("Orvanta_99"), QStringLiteral("RUNNING")));
}

void TestPlayerState::backupMarksTheMachineBusy()
{
    makeRows({"Saved"});
    const QString vm = m_model->playerRecords().first()->vm;
    m_fixture->setFaults({slowCall(QStringLiteral("export *"), 0.6)});
    const QString ova = m_fixture->tree().root() + QStringLiteral("/saved.ova");
    QSignalSpy result(m_model.get(), &OrvPlayerModel::backupOrRestoreResult);
    QVERIFY(m_model->startBackupOrRestore(0, true, ova));
    QCOMPARE(m_model->busyCount, 1);
    QCOMPARE(SharedSegment::peekText(vm), QStringLiteral("RUNNING"));
    // An emulator started for the machine now finds a live owner of its segment.
    SharedSegment emulator(vm);
    QVERIFY(!emulator.takeOwnership());
    QVERIFY(m_model->applyStatusWord(vm, QStringLiteral("RUNNING")));
    QCOMPARE(kindOf(0), K::Backuping);
    QVERIFY(!m_model->startDelete(0));

    QVERIFY(result.wait(10000));
    QCOMPARE(result.first().at(1).toBool(), true);
    QCOMPARE(result.first().at(2).toBool(), true);
    QCOMPARE(kindOf(0), K::Stop);
    QCOMPARE(m_model->busyCount, 0);
    QVERIFY(QFileInfo(ova).size() > 0);
    QVERIFY(SharedSegment::peekText(vm).isEmpty());
    QVERIFY(emulator.takeOwnership());
}

void TestPlayerState::segmentOfAnotherUserIsLeftAlone()
{
    if (::geteuid() != 0)
        QSKIP("giving a file to another user needs root");
    makeRows({"Theirs"});
    const QString vm = m_model->playerRecords().first()->vm;
    const QString path = QFile::decodeName(SharedSegment::objectName(vm));
    const QByteArray bytes = QByteArray("their own word").leftJustified(255, '\0');
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QCOMPARE(file.write(bytes), qint64(bytes.size()));
    }
    QCOMPARE(::chown(QFile::encodeName(path).constData(), 65534, 65534), 0);
    QSignalSpy result(m_model.get(), &OrvPlayerModel::backupOrRestoreResult);
    QVERIFY(m_model->startBackupOrRestore(0, true, m_fixture->tree().root() + QStringLiteral("/theirs.ova")));
    QVERIFY(result.wait(10000));
    // The other user's file keeps its owner and its bytes.
    struct stat info;
    QCOMPARE(::lstat(QFile::encodeName(path).constData(), &info), 0);
    QCOMPARE(info.st_uid, uid_t(65534));
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), bytes);
}

void TestPlayerState::modelGoneWhileABackupRuns()
{
    // The model goes away (its window is closed) while the worker of a backup still runs the tool: the
    // worker must be done with the row and the model before they are freed. A model that left it running
    // had the worker write the result into freed memory, a crash seen later in whatever ran then.
    makeRows({"Saved"});
    m_fixture->setFaults({slowCall(QStringLiteral("export *"), 1.0)});
    const QString ova = m_fixture->tree().root() + QStringLiteral("/saved.ova");
    QVERIFY(m_model->startBackupOrRestore(0, true, ova));
    QVERIFY(waitUntil(
        [this] {
            const QList<ToolCallRecord> calls = readToolCallRecords(m_fixture->stateDir());
            return std::any_of(calls.cbegin(), calls.cend(),
                               [](const ToolCallRecord &call) { return call.args.value(0) == "export"; });
        },
        30000));
    m_model.reset();
    // Once the model is gone, the export it started has returned: nothing of the worker is left.
    const QList<ToolCallRecord> calls = readToolCallRecords(m_fixture->stateDir());
    const auto exportCall = std::find_if(calls.cbegin(), calls.cend(), [](const ToolCallRecord &call) {
        return call.args.value(0) == "export";
    });
    QVERIFY(exportCall != calls.cend());
    QVERIFY2(exportCall->end.isValid(), "the model was freed while its backup ran");
    QVERIFY(QFileInfo(ova).size() > 0);
    // Events that the worker posted to the model are gone with it.
    QCoreApplication::processEvents();
}

void TestPlayerState::onlyAStoppedRowIsACopySource()
{
    makeRows({"Source", "Busy"});
    QVERIFY(m_model->applyStatusWord(m_model->playerRecords().at(1)->vm, QStringLiteral("RUNNING")));
    QVERIFY(!m_model->markCopySource(QStringLiteral("Busy")));
    QCOMPARE(kindOf(1), K::Running);
    QVERIFY(m_model->markCopySource(QStringLiteral("Source")));
    QCOMPARE(kindOf(0), K::BeingCopied);
    QVERIFY(!m_model->markCopySource(QStringLiteral("Source")));
    QCOMPARE(SharedSegment::peekText(m_model->playerRecords().at(0)->vm), QStringLiteral("RUNNING"));
    QVERIFY(m_model->applyStatusWord(m_model->playerRecords().at(0)->vm, QStringLiteral("STARTING")));
    QCOMPARE(kindOf(0), K::BeingCopied);
    QVERIFY(m_model->contextAt(0)->fire(T::CopyFinished));
    QCOMPARE(kindOf(0), K::Stop);
}

void TestPlayerState::startUsesTheTitleAsOneArgument()
{
    m_fixture = std::make_unique<ManagerFixture>();
    QVERIFY(m_fixture->tree().addRecorder(QStringLiteral("Orvanta")));
    makeRows({"My phone"});
    PlayerTool::instance().initEmulatorPath();
    m_model->startOrCloseSlot(m_model->index(0, 3));
    QCOMPARE(kindOf(0), K::Starting);
    QTRY_COMPARE(m_fixture->tree().calls(QStringLiteral("Orvanta")),
                 (QList<QStringList>{{"-vm=Orvanta_1", "-title=My phone"}}));

    // The running instance's "close" asks the emulator of that machine to stop.
    QVERIFY(m_model->applyStatusWord(QStringLiteral("Orvanta_1"), QStringLiteral("RUNNING")));
    m_model->startOrCloseSlot(m_model->index(0, 3));
    QCOMPARE(kindOf(0), K::ClosingDown);
    QTRY_COMPARE(m_fixture->tree().calls(QStringLiteral("Orvanta")).value(1),
                 (QStringList{"-vm=Orvanta_1", "-stop"}));

    // A row whose title names no machine starts nothing.
    m_model->addRecords({PlayerRecord(QString(), QStringLiteral("Unknown"), false)}, K::Stop);
    m_model->startOrCloseSlot(m_model->index(1, 3));
    QCOMPARE(kindOf(1), K::Stop);
    QTest::qWait(200);
    QCOMPARE(m_fixture->tree().calls(QStringLiteral("Orvanta")).size(), 2);
}

void TestPlayerState::rowShowsItsStateWord_data()
{
    QTest::addColumn<K>("kind");
    QTest::addColumn<QColor>("colour");
    QTest::addColumn<bool>("progress");
    const QColor grey(140, 140, 140);
    const QColor blue(0, 144, 255);
    QTest::newRow("stop") << K::Stop << grey << false;
    QTest::newRow("running") << K::Running << blue << false;
    QTest::newRow("being copied") << K::BeingCopied << grey << false;
    QTest::newRow("starting") << K::Starting << blue << true;
    QTest::newRow("waiting to start") << K::WaittingStart << grey << true;
    QTest::newRow("deleting") << K::Deleting << blue << true;
    QTest::newRow("backing up") << K::Backuping << grey << true;
}

void TestPlayerState::rowShowsItsStateWord()
{
    QFETCH(K, kind);
    QFETCH(QColor, colour);
    QFETCH(bool, progress);
    PlayerPainter painter;
    PlayerPainter::setInstance(&painter);
    OrvPlayerModel model;
    model.addRecords({PlayerRecord(QString(), QStringLiteral("Row"), true)}, kind);
    QImage image(760, 64, QImage::Format_RGB32);
    image.fill(Qt::black);
    QPainter p(&image);
    PlayerContext *context = model.contextAt(0);
    context->paintCheckBox(&p, QRect(0, 10, 46, 54));
    context->paintTitle(&p, QRect(46, 10, 335, 54), -1);
    context->paintStateLabel(&p, QRect(381, 10, 65, 54));
    context->paintAction(&p, QRect(446, 10, 314, 54), -1, -1, -1, -1);
    p.end();
    auto hasColour = [&image](const QRect &area, const QColor &wanted) {
        for (int y = area.top(); y <= area.bottom(); ++y) {
            for (int x = area.left(); x <= area.right(); ++x) {
                if (image.pixelColor(x, y) == wanted)
                    return true;
            }
        }
        return false;
    };
    QVERIFY(hasColour(QRect(381, 10, 65, 54), colour));
    QVERIFY(hasColour(QRect(46, 10, 300, 54), QColor(Qt::white)));
    image.save(TestArtefacts::path(QStringLiteral("playerstate-%1.png")
                                       .arg(QTest::currentDataTag())
                                       .replace(QLatin1Char(' '), QLatin1Char('-'))));
    // A busy row points its animation at its own row and advances a frame every 150 ms.
    auto *busy = dynamic_cast<PlayerWaittingState *>(context->currentState());
    QCOMPARE(busy != nullptr, progress);
    if (busy) {
        QCOMPARE(busy->refreshAction()->counter, &context->playerRecord().progress);
        const int before = context->playerRecord().progress;
        QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
        QVERIFY(changed.wait(1000));
        QCOMPARE(context->playerRecord().progress, (before + 1) % RefreshAction::kFrames);
    }
    PlayerPainter::setInstance(nullptr);
}

QTEST_MAIN(TestPlayerState)
#include "tst_playerstate.moc"
