// The report and log uploads of the real engine against the web stand-in (a real HTTP server on
// 127.0.0.1 that decodes each body on its own): what arrives, and which stored rows stay.

#include "datareportengine.h"
#include "global.h"
#include "installtree.h"
#include "paths.h"
#include "sqlitetool.h"
#include "testports.h"
#include "webstandin.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QMutexLocker>
#include <QRegularExpression>
#include <QSemaphore>
#include <QSqlQuery>
#include <QTcpServer>
#include <QThreadPool>
#include <QTimer>
#include <QtTest>

namespace {

constexpr int kReplyTimeoutMs = 1500;

// The error log of a failed start as the start-up worker writes it.
const char kErrorLog[] =
    " [err]\r\nVBoxManage: error: The virtual machine 'Orvanta_0' has terminated unexpectedly\r\n"
    " [sys]\r\nversion: 1.4.2\r\nbit: 64\r\nvt: yes\r\nstartWithVt: no\r\nmemory: 8192M\r\n"
    "cpuNum: 4\r\ncpu: Test CPU\r\noglVersion: 4.5\r\ncurGraphics: llvmpipe\r\n"
    "renderMode: gl\r\nwinVersion: Debian 12\r\n"
    " [setting]\r\ncpu: 2\r\nram: 2048\r\nrender: gl\r\nwidth: 1280\r\nheight: 720\r\ndpi: 240\r\n"
    " [host]\r\nname=\"Orvanta_0\"\r\n";

} // namespace

class TestReportUpload : public QObject
{
    Q_OBJECT

private:
    InstallTree m_tree;
    WebStandIn m_web{m_tree.root() + QStringLiteral("/web")};

    static void waitForStores() { QThreadPool::globalInstance()->waitForDone(); }

    // Event keys of the stored rows, in table order.
    static QList<int> storedKeys()
    {
        QList<int> keys;
        for (const DataReportRecord &record : DataReportEngine::instance()->dao().findAll())
            keys << int(record.types == 1 ? record.event.eventkey() : record.eventEx.eventkey());
        return keys;
    }

    // Event keys of one received report: plain events first, then events with data.
    static QList<int> reportKeys(const QJsonObject &request)
    {
        QList<int> keys;
        const QJsonObject report = request.value(QStringLiteral("report")).toObject();
        for (const char *field : {"commonEvents", "commonExEvents"}) {
            for (const QJsonValue &event : report.value(QLatin1String(field)).toArray())
                keys << event.toObject().value(QStringLiteral("eventKey")).toInt();
        }
        return keys;
    }

    int reportCount() const { return m_web.requests(QStringLiteral("report")).size(); }

private slots:
    void initTestCase()
    {
        QVERIFY(m_tree.isValid());
        const QProcessEnvironment env = m_tree.environment();
        for (const char *name : {"APPDATA", "LOCALAPPDATA", "XDG_CONFIG_HOME", "XDG_CONFIG_DIRS", "TMPDIR"})
            qputenv(name, env.value(QLatin1String(name)).toUtf8());
        Platform::initSettingsPaths();
        QCoreApplication::setOrganizationName(QStringLiteral("Halvora"));
        QCoreApplication::setApplicationName(QStringLiteral("Orvanta"));

        QVERIFY(m_web.start());
        m_web.configure(m_tree, kReplyTimeoutMs);

        // The report code as the program computes it for this host (no code exists for it: 0).
        Global::initSystemInfo();
        QCOMPARE(Global::subPlatform, 0);
        Global::vmName = QStringLiteral("Orvanta_0");
        Global::systemInfo.installUuid = QStringLiteral("5c0e6a1b-77d2-4f0a-b3e9-0d1c2b3a4f50");
        Global::systemInfo.productVersion = QStringLiteral("1.4.2");
        Global::installInfo.channelId = QStringLiteral("1208");
        SQLiteTool::instance().connect();
        QVERIFY(SQLiteTool::instance().isOpen());
        DataReportEngine::init();
    }

    void init()
    {
        DataReportEngine::instance()->dao().clearTable();
        m_web.setControl(QString());
        QFile::remove(m_web.stateDir() + QStringLiteral("/release"));
    }

    void emptyTableSendsNothing()
    {
        const int before = m_web.requests().size();
        DataReportEngine::uploadNow();
        QCOMPARE(m_web.requests().size(), before);
    }

    void storedEventsArriveAsOneReport()
    {
        DataReportEngine::report(2011);
        waitForStores();
        DataReportEngine::report(1000, QStringLiteral("index"), QStringLiteral("0"));
        waitForStores();
        DataReportEngine::report(
            1004, {{QStringLiteral("time"), QStringLiteral("3")}, {QStringLiteral("empty"), QString()}});
        waitForStores();
        DataReportEngine::report(2014);
        waitForStores();
        QCOMPARE(storedKeys(), (QList<int>{2011, 1000, 1004, 2014}));

        const int before = reportCount();
        QTest::ignoreMessage(QtInfoMsg, "DataReport : upload success");
        DataReportEngine::uploadNow();
        const QList<QJsonObject> requests = m_web.requests(QStringLiteral("report"));
        QCOMPARE(requests.size(), before + 1);
        const QJsonObject request = requests.last();
        QCOMPARE(request.value(QStringLiteral("problems")).toArray(), QJsonArray());
        QCOMPARE(request.value(QStringLiteral("method")).toString(), QStringLiteral("POST"));
        QCOMPARE(request.value(QStringLiteral("target")).toString(),
                 QStringLiteral("/pavixtopdatareport.php"));
        const QJsonObject headers = request.value(QStringLiteral("headers")).toObject();
        QCOMPARE(headers.value(QStringLiteral("content-type")).toString(),
                 QStringLiteral("application/x-www-form-urlencoded"));
        QCOMPARE(headers.value(QStringLiteral("content-length")).toString().toInt(),
                 request.value(QStringLiteral("bodyLength")).toInt());

        const QJsonObject report = request.value(QStringLiteral("report")).toObject();
        QCOMPARE(report.value(QStringLiteral("requestBase")).toObject(),
                 (QJsonObject{{QStringLiteral("requestID"), 101},
                              {QStringLiteral("serverID"), 1},
                              {QStringLiteral("requestFunction"), QStringLiteral("REQUEST_DATA_REPORT")}}));
        QCOMPARE(
            report.value(QStringLiteral("userInfo")).toObject(),
            (QJsonObject{{QStringLiteral("uuid"), QStringLiteral("5c0e6a1b-77d2-4f0a-b3e9-0d1c2b3a4f50")},
                         {QStringLiteral("productID"), 123},
                         {QStringLiteral("version"), QStringLiteral("1.4.2")},
                         {QStringLiteral("channelID"), 1208},
                         {QStringLiteral("platformType"), 103},
                         {QStringLiteral("subPlatform"), 0}}));
        QCOMPARE(reportKeys(request), (QList<int>{2011, 2014, 1000, 1004}));
        const QJsonArray exEvents = report.value(QStringLiteral("commonExEvents")).toArray();
        const QJsonArray maps = exEvents.at(1).toObject().value(QStringLiteral("eventMaps")).toArray();
        // Entries in key order; an empty value is sent, not left out.
        QCOMPARE(maps, (QJsonArray{QJsonObject{{QStringLiteral("dataKey"), QStringLiteral("empty")},
                                               {QStringLiteral("dataValue"), QString()}},
                                   QJsonObject{{QStringLiteral("dataKey"), QStringLiteral("time")},
                                               {QStringLiteral("dataValue"), QStringLiteral("3")}}}));
        const qint64 stamp = qint64(report.value(QStringLiteral("commonEvents"))
                                        .toArray()
                                        .at(0)
                                        .toObject()
                                        .value(QStringLiteral("timeStamp"))
                                        .toDouble());
        QVERIFY(qAbs(stamp - QDateTime::currentSecsSinceEpoch()) < 60);

        QCOMPARE(storedKeys(), QList<int>());
    }

    void replyDecidesAboutRows_data()
    {
        QTest::addColumn<QString>("control");
        QTest::addColumn<bool>("cleared");
        QTest::addColumn<bool>("once"); // Qt's HTTP layer itself sends again after an answer it cannot read
        QTest::newRow("server accepts") << QString() << true << true;
        QTest::newRow("answer with a 1 in it") << QStringLiteral("reply=saved 1 report") << true << true;
        QTest::newRow("answer 0") << QStringLiteral("answer=refuse") << false << true;
        QTest::newRow("empty answer") << QStringLiteral("reply=") << false << true;
        QTest::newRow("error page with a 1")
            << QStringLiteral("answer=error\nreply=error 1") << false << true;
        QTest::newRow("not found with a 1") << QStringLiteral("status=404\nreply=1") << false << true;
        QTest::newRow("answer not HTTP") << QStringLiteral("answer=garbage") << false << false;
        QTest::newRow("connection closed") << QStringLiteral("answer=close") << false << false;
        QTest::newRow("slow but in time") << QStringLiteral("delayMs=300") << true << true;
        QTest::newRow("never answers") << QStringLiteral("answer=hang") << false << true;
    }

    void replyDecidesAboutRows()
    {
        QFETCH(QString, control);
        QFETCH(bool, cleared);
        QFETCH(bool, once);
        DataReportEngine::report(2011);
        waitForStores();
        DataReportEngine::report(2002, QStringLiteral("source"), QStringLiteral("1"));
        waitForStores();
        m_web.setControl(control);

        const int before = reportCount();
        QTest::ignoreMessage(QtInfoMsg,
                             cleared ? "DataReport : upload success" : "DataReport : upload failed");
        QElapsedTimer clock;
        clock.start();
        DataReportEngine::uploadNow();
        // Every wait is bounded, also for a server that never answers.
        QVERIFY2(clock.elapsed() < kReplyTimeoutMs + 3000, qPrintable(QString::number(clock.elapsed())));
        if (once)
            QCOMPARE(reportCount(), before + 1);
        else
            QVERIFY(reportCount() > before);
        QCOMPARE(storedKeys(), cleared ? QList<int>() : (QList<int>{2011, 2002}));
    }

    void unreachableServerKeepsRows()
    {
        DataReportEngine::report(2011);
        waitForStores();
        // A port nobody listens on (of this test's own block, testports.h): the connection is refused.
        const quint16 port = TestPorts::freePort();
        m_tree.writeInstallKey(
            {{QStringLiteral("Server/Report"), QStringLiteral("http://127.0.0.1:%1").arg(port)},
             {QStringLiteral("Server/ReplyTimeoutMs"), QString::number(kReplyTimeoutMs)}});
        QTest::ignoreMessage(QtInfoMsg, "DataReport : upload failed");
        DataReportEngine::uploadNow();
        m_web.configure(m_tree, kReplyTimeoutMs);
        QCOMPARE(storedKeys(), QList<int>{2011});

        // The next attempt sends the kept rows together with the new ones.
        DataReportEngine::report(2014);
        waitForStores();
        DataReportEngine::uploadNow();
        QCOMPARE(reportKeys(m_web.requests(QStringLiteral("report")).last()), (QList<int>{2011, 2014}));
        QCOMPARE(storedKeys(), QList<int>());
    }

    // The quit sequence waits for the report upload; a server that never answers holds it up only
    // for the shorter quit bound, and the rows stay for the next run.
    void quitUploadIsBoundedShorter()
    {
        DataReportEngine::report(1004, QStringLiteral("time"), QStringLiteral("2"));
        waitForStores();
        m_web.setControl(QStringLiteral("answer=hang"));
        m_tree.writeInstallKey({{QStringLiteral("Server/Report"), m_web.baseUrl()},
                                {QStringLiteral("Server/ReplyTimeoutMs"), QStringLiteral("60000")},
                                {QStringLiteral("Server/QuitReplyTimeoutMs"), QStringLiteral("300")}});
        appQuittingFlag = true;
        QElapsedTimer clock;
        clock.start();
        QTest::ignoreMessage(QtInfoMsg, "DataReport : upload failed");
        DataReportEngine::uploadNow();
        const qint64 elapsed = clock.elapsed();
        appQuittingFlag = false;
        m_web.configure(m_tree, kReplyTimeoutMs);
        QVERIFY2(elapsed < 5000, qPrintable(QString::number(elapsed)));
        QCOMPARE(storedKeys(), QList<int>{1004});
    }

    // Events stored while an upload waits for its reply are not part of it and stay for the next one.
    void rowsStoredDuringUploadSurvive()
    {
        DataReportEngine::report(2011);
        waitForStores();
        DataReportEngine::report(2012);
        waitForStores();
        m_web.setControl(QStringLiteral("hold=1"));
        const int before = reportCount();

        QTimer poll;
        bool stored = false;
        connect(&poll, &QTimer::timeout, this, [&] {
            if (stored || reportCount() == before)
                return;
            stored = true;
            DataReportEngine::report(2013);
            waitForStores();
            DataReportEngine::report(2002, QStringLiteral("source"), QStringLiteral("0"));
            waitForStores();
            m_web.release();
        });
        poll.start(10);
        QTest::ignoreMessage(QtInfoMsg, "DataReport : upload success");
        DataReportEngine::uploadNow();
        poll.stop();
        QVERIFY(stored);
        QCOMPARE(reportKeys(m_web.requests(QStringLiteral("report")).last()), (QList<int>{2011, 2012}));
        QCOMPARE(storedKeys(), (QList<int>{2013, 2002}));

        m_web.setControl(QString());
        DataReportEngine::uploadNow();
        QCOMPARE(reportKeys(m_web.requests(QStringLiteral("report")).last()), (QList<int>{2013, 2002}));
        QCOMPARE(storedKeys(), QList<int>());
    }

    // An upload that starts while another waits (the quit upload during a slow timer upload) sends
    // only the rows not already on their way, and each reply decides only about its own rows.
    void eachReplyDecidesForItsOwnRows()
    {
        DataReportEngine::report(2008, QStringLiteral("source"), QStringLiteral("0"));
        waitForStores();
        m_web.setControl(QStringLiteral("answer=hang"));
        const int before = reportCount();

        QTimer poll;
        bool nested = false;
        connect(&poll, &QTimer::timeout, this, [&] {
            if (nested || reportCount() == before)
                return;
            nested = true;
            poll.stop();
            m_web.setControl(QString());
            DataReportEngine::report(2009, QStringLiteral("source"), QStringLiteral("1"));
            waitForStores();
            DataReportEngine::uploadNow(); // answered and accepted while the first one still waits
        });
        poll.start(10);
        DataReportEngine::uploadNow();
        QVERIFY(nested);
        const QList<QJsonObject> requests = m_web.requests(QStringLiteral("report")).mid(before);
        QCOMPARE(requests.size(), 2);
        QCOMPARE(reportKeys(requests.at(0)), QList<int>{2008});
        QCOMPARE(reportKeys(requests.at(1)), QList<int>{2009});
        // The first request never got an answer: its row stays; the accepted one is gone.
        QCOMPARE(storedKeys(), QList<int>{2008});
    }

    // The quit reports its running time and uploads at once: the upload waits for events that the pool
    // has not stored yet, so the quit's own event travels with the quit's own report.
    void quitUploadCarriesEventsStillBeingStored()
    {
        // Every pool thread is busy for a moment, so the store tasks of the quit's events wait in the queue.
        QThreadPool *pool = QThreadPool::globalInstance();
        QSemaphore gate;
        for (int i = 0; i < pool->maxThreadCount(); ++i)
            pool->start([&gate] { gate.tryAcquire(1, 300); });
        DataReportEngine::report(2011);
        DataReportEngine::report(1004, QStringLiteral("time"), QStringLiteral("7"));
        const int before = reportCount();
        QTest::ignoreMessage(QtInfoMsg, "DataReport : upload success");
        DataReportEngine::uploadNow();
        QCOMPARE(reportCount(), before + 1);
        QCOMPARE(reportKeys(m_web.requests(QStringLiteral("report")).last()), (QList<int>{2011, 1004}));
        QCOMPARE(storedKeys(), QList<int>());
    }

    // The quit comes while the timer's upload waits for its reply. The quit lets that upload finish
    // (its rows are accepted and removed) and sends only its own rows; when the event loops end right
    // after, nothing is cut off, so no report reaches the server twice.
    void quitWaitsForTheUploadInFlight()
    {
        DataReportEngine::report(2008, QStringLiteral("source"), QStringLiteral("0"));
        waitForStores();
        m_web.setControl(QStringLiteral("hold=1"));
        const int before = reportCount();

        QTimer poll;
        bool quitRan = false;
        connect(&poll, &QTimer::timeout, this, [&] {
            if (quitRan || reportCount() == before)
                return;
            quitRan = true;
            poll.stop();
            appQuittingFlag = true;
            DataReportEngine::report(1004, QStringLiteral("time"), QStringLiteral("3"));
            QTimer::singleShot(200, this, [this] { m_web.release(); });
            DataReportEngine::uploadNow();
            // The quit sequence then leaves every event loop, the timer upload's wait included.
            QCoreApplication::quit();
        });
        poll.start(10);
        DataReportEngine::instance()->uploadData(); // the timer's upload
        appQuittingFlag = false;
        // quit() leaves every later local event loop at once until the application's loop has run again.
        QTimer::singleShot(0, qApp, &QCoreApplication::quit);
        QCoreApplication::exec();
        QVERIFY(quitRan);
        const QList<QJsonObject> requests = m_web.requests(QStringLiteral("report")).mid(before);
        QCOMPARE(requests.size(), 2);
        QCOMPARE(reportKeys(requests.at(0)), QList<int>{2008});
        QCOMPARE(reportKeys(requests.at(1)), QList<int>{1004});
        QCOMPARE(storedKeys(), QList<int>());
        m_web.setControl(QString());
        const int after = reportCount();
        DataReportEngine::uploadNow();
        QCOMPARE(reportCount(), after); // nothing left to send
    }

    // Rows that the server accepted but that cannot be deleted (read-only file, full disk) are never sent
    // again by this process; they go once deleting works again.
    void acceptedRowsThatStayAreNotSentAgain()
    {
        DataReportEngine::report(2011);
        waitForStores();
        {
            QMutexLocker locker(&SQLiteTool::lock());
            QSqlQuery query(SQLiteTool::database());
            QVERIFY(query.exec(QStringLiteral("CREATE TRIGGER keep_rows BEFORE DELETE ON DataReport BEGIN "
                                              "SELECT RAISE(ABORT, 'disk full'); END")));
        }
        const int before = reportCount();
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("remove sent rows failed")));
        QTest::ignoreMessage(QtWarningMsg,
                             QRegularExpression(QStringLiteral("accepted rows stay in the database")));
        DataReportEngine::uploadNow();
        QCOMPARE(storedKeys(), QList<int>{2011});

        DataReportEngine::uploadNow(); // nothing new: no request
        DataReportEngine::report(2014);
        waitForStores();
        DataReportEngine::uploadNow();
        const QList<QJsonObject> requests = m_web.requests(QStringLiteral("report")).mid(before);
        QCOMPARE(requests.size(), 2);
        QCOMPARE(reportKeys(requests.at(0)), QList<int>{2011});
        QCOMPARE(reportKeys(requests.at(1)), QList<int>{2014});

        {
            QMutexLocker locker(&SQLiteTool::lock());
            QSqlQuery query(SQLiteTool::database());
            QVERIFY(query.exec(QStringLiteral("DROP TRIGGER keep_rows")));
        }
        DataReportEngine::uploadNow(); // deleting works again: the accepted rows go, nothing is sent
        QCOMPARE(reportCount(), before + 2);
        QCOMPARE(storedKeys(), QList<int>());
    }

    // One row that cannot be read does not block the others; it goes with the accepted report.
    void unreadableRowDoesNotBlock()
    {
        DataReportEngine::instance()->dao().add(uint(QDateTime::currentSecsSinceEpoch()), 1,
                                                QByteArray("\x08", 1));
        DataReportEngine::report(2011);
        waitForStores();
        QTest::ignoreMessage(QtWarningMsg,
                             QRegularExpression(QStringLiteral("unreadable row \\d+ of kind 1")));
        QTest::ignoreMessage(QtInfoMsg, "DataReport : upload success");
        DataReportEngine::uploadNow();
        const QJsonObject request = m_web.requests(QStringLiteral("report")).last();
        QCOMPARE(request.value(QStringLiteral("problems")).toArray(), QJsonArray());
        QCOMPARE(reportKeys(request), QList<int>{2011});
        QCOMPARE(storedKeys(), QList<int>());
    }

    void logUpload_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("control");
        QTest::addColumn<QString>("endpoint");
        QTest::addColumn<QString>("target");
        QTest::addColumn<bool>("accepted");
        const QString errorLog = QString::fromUtf8(kErrorLog);
        QTest::newRow("error log of a failed start")
            << QStringLiteral("ERRORLOG") << errorLog << QString() << QStringLiteral("runlog")
            << QStringLiteral("/runlogUp.php?platform=windows") << true;
        QTest::newRow("crash log") << QStringLiteral("CRASHLOG") << QStringLiteral("dump: 0x1234\n")
                                   << QString() << QStringLiteral("crashlog")
                                   << QStringLiteral("/logup.php?platform=windows") << true;
        QTest::newRow("kind in lower case goes to the run log")
            << QStringLiteral("crashlog") << QStringLiteral("x") << QString() << QStringLiteral("runlog")
            << QStringLiteral("/runlogUp.php?platform=windows") << true;
        QTest::newRow("empty text") << QStringLiteral("ERRORLOG") << QString() << QStringLiteral("reply=0")
                                    << QStringLiteral("runlog")
                                    << QStringLiteral("/runlogUp.php?platform=windows") << false;
        QTest::newRow("refused") << QStringLiteral("ERRORLOG") << errorLog
                                 << QStringLiteral("runlog.answer=refuse") << QStringLiteral("runlog")
                                 << QStringLiteral("/runlogUp.php?platform=windows") << false;
        QTest::newRow("no answer") << QStringLiteral("ERRORLOG") << errorLog << QStringLiteral("answer=hang")
                                   << QStringLiteral("runlog")
                                   << QStringLiteral("/runlogUp.php?platform=windows") << false;
    }

    void logUpload()
    {
        QFETCH(QString, kind);
        QFETCH(QString, text);
        QFETCH(QString, control);
        QFETCH(QString, endpoint);
        QFETCH(QString, target);
        QFETCH(bool, accepted);
        // Stored usage events are no business of the log upload.
        DataReportEngine::report(2011);
        waitForStores();
        m_web.setControl(control);
        const int before = m_web.requests(endpoint).size();

        QTest::ignoreMessage(QtInfoMsg,
                             accepted ? "DataReport : upload success" : "DataReport : upload failed");
        DataReportEngine::uploadCrashLog(kind, text);
        const QList<QJsonObject> requests = m_web.requests(endpoint);
        QCOMPARE(requests.size(), before + 1);
        const QJsonObject request = requests.last();
        QCOMPARE(request.value(QStringLiteral("target")).toString(), target);
        QCOMPARE(request.value(QStringLiteral("problems")).toArray(), QJsonArray());
        QCOMPARE(request.value(QStringLiteral("text")).toString(), text);
        QCOMPARE(request.value(QStringLiteral("bodyLength")).toInt() == 0, text.isEmpty());
        QCOMPARE(request.value(QStringLiteral("headers"))
                     .toObject()
                     .value(QStringLiteral("content-length"))
                     .toString(),
                 QString::number(request.value(QStringLiteral("bodyLength")).toInt()));
        QCOMPARE(storedKeys(), QList<int>{2011});
    }
};

QTEST_GUILESS_MAIN(TestReportUpload)
#include "tst_reportupload.moc"
