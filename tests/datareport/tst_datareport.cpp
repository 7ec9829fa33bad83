#include "datareportdao.h"
#include "datareportengine.h"
#include "global.h"
#include "reportevents.h"
#include "sqlitetool.h"

#include <QDateTime>
#include <QNetworkAccessManager>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QThreadPool>
#include <QtTest>

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

// Makes `path` unwritable for everyone: the immutable flag when running as the superuser (who ignores
// permissions), else read-only permissions. False when neither could be set.
bool setReadOnly(const QString &path, bool readOnly)
{
    if (geteuid() != 0)
        return QFile::setPermissions(path,
                                     readOnly ? QFile::ReadOwner : QFile::ReadOwner | QFile::WriteOwner);
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    int flags = 0;
    bool ok = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    if (ok) {
        flags = readOnly ? flags | FS_IMMUTABLE_FL : flags & ~FS_IMMUTABLE_FL;
        ok = ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    }
    ::close(fd);
    return ok;
}

} // namespace

// Log lines of the code under test, from any thread.
static QStringList messages;
static QMutex messagesMutex;
static void collect(QtMsgType, const QMessageLogContext &, const QString &text)
{
    QMutexLocker locker(&messagesMutex);
    messages << text;
}
// Warning lines only, from any thread.
static QStringList warnings;
static void collectWarnings(QtMsgType type, const QMessageLogContext &, const QString &text)
{
    QMutexLocker locker(&messagesMutex);
    if (type == QtWarningMsg)
        warnings << text;
}
static QStringList takeMessages()
{
    QMutexLocker locker(&messagesMutex);
    QStringList taken = messages;
    messages.clear();
    return taken;
}

// Protobuf wire encoding written out by hand, so the stored bytes are checked against the schema's field
// numbers and types rather than against the generated code.
static QByteArray varint(quint64 value)
{
    QByteArray out;
    do {
        quint8 byte = value & 0x7F;
        value >>= 7;
        if (value)
            byte |= 0x80;
        out.append(char(byte));
    } while (value);
    return out;
}
static QByteArray lengthDelimited(int field, const QByteArray &bytes)
{
    return char(field << 3 | 2) + varint(quint64(bytes.size())) + bytes;
}
static QByteArray eventBytes(quint64 time, quint32 key)
{
    return "\x08" + varint(time) + "\x10" + varint(key); // 1: timeStamp, 2: eventKey
}
static QByteArray eventExBytes(quint64 time, quint32 key, const QList<QPair<QByteArray, QByteArray>> &entries)
{
    QByteArray out = eventBytes(time, key);
    for (const auto &entry : entries) // 3: eventMaps {1: dataKey, 2: dataValue}
        out += lengthDelimited(3, lengthDelimited(1, entry.first) + lengthDelimited(2, entry.second));
    return out;
}

struct Row
{
    int types;
    QString datatime;
    QByteArray message;
};

class TestDataReport : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();
    void closedDatabaseStoresNothing();
    void initStartsTheEngine();
    void eventWithoutData();
    void eventWithData_data();
    void eventWithData();
    void emptyMapStoresNothing();
    void eventsFromManyThreadsAtOnce();
    void sysMsgKeepsFirstValue();
    void daoReadsBackAndClears();
    void eventsThatCannotBeStoredAreWarned_data();
    void eventsThatCannotBeStoredAreWarned();

private:
    QList<Row> rows();
    int rowCount() { return rows().size(); }

    QTemporaryDir m_appData;
    QString m_file;
};

void TestDataReport::initTestCase()
{
    qputenv("APPDATA", m_appData.path().toUtf8());
    Global::vmName = QStringLiteral("Orvanta_7");
    m_file = m_appData.path() + QStringLiteral("/Halvora/Orvanta_7_DB.db");
    // Enough pool threads that stores really run side by side.
    QThreadPool::globalInstance()->setMaxThreadCount(8);
}

void TestDataReport::cleanup()
{
    QThreadPool::globalInstance()->waitForDone();
    qInstallMessageHandler(nullptr);
    if (QFile::exists(m_file)) {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("cleaner"));
        db.setDatabaseName(m_file);
        db.open();
        QSqlQuery(db).exec(QStringLiteral("DELETE FROM DataReport"));
        db.close();
        db = QSqlDatabase();
        QSqlDatabase::removeDatabase(QStringLiteral("cleaner"));
    }
}

// The rows as another reader of the database file sees them.
QList<Row> TestDataReport::rows()
{
    QList<Row> result;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("peer"));
        db.setDatabaseName(m_file);
        if (db.open()) {
            QSqlQuery query(db);
            query.exec(QStringLiteral("SELECT types, datatime, message FROM DataReport ORDER BY id"));
            while (query.next()) {
                result.append(
                    {query.value(0).toInt(), query.value(1).toString(), query.value(2).toByteArray()});
            }
            db.close();
        }
    }
    QSqlDatabase::removeDatabase(QStringLiteral("peer"));
    return result;
}

void TestDataReport::closedDatabaseStoresNothing()
{
    QVERIFY(!SQLiteTool::instance().isOpen());
    qInstallMessageHandler(collect);
    DataReportEngine::report(ReportEvent::Screenshot);
    DataReportEngine::report(ReportEvent::StartUpInfo, QStringLiteral("index"), QStringLiteral("0"));
    DataReportEngine::reportSysMsg(ReportEvent::SystemInfo);
    QThreadPool::globalInstance()->waitForDone();
    qInstallMessageHandler(nullptr);
    // The report functions say nothing (the engine's own creation line aside).
    QCOMPARE(takeMessages().filter(QStringLiteral("DataReport :")), QStringList());
    QVERIFY(!QFile::exists(m_file));
    DataReportDao dao;
    QVERIFY(!dao.add(1, 1, "x"));
    QVERIFY(dao.findAll().isEmpty());

    SQLiteTool::instance().connect();
    QVERIFY(SQLiteTool::instance().isOpen());
    QVERIFY(QFile::exists(m_file));
}

void TestDataReport::initStartsTheEngine()
{
    // The host's report code is not known yet: "systemVer" stays free for the start-up's own value.
    Global::subPlatform = 0;
    qInstallMessageHandler(collect);
    DataReportEngine::init();
    qInstallMessageHandler(nullptr);
    const QStringList lines = takeMessages();
    QVERIFY2(lines.contains(QStringLiteral("DataReportEngine : init ")), qPrintable(lines.join('\n')));
    QVERIFY(lines.contains(QStringLiteral("DataReportEngine : init ok")));
    QVERIFY(DataReportEngine::instance()->isStarted());
    // The network access waits for the first upload: the start-up does not build it (nor the
    // network configuration thread and plug-ins that come with it).
    QVERIFY(DataReportEngine::instance()->findChildren<QNetworkAccessManager *>().isEmpty());
    QVERIFY(!DataReportEngine::sysMsgMap().contains(QStringLiteral("systemVer")));
}

void TestDataReport::eventWithoutData()
{
    const qint64 before = QDateTime::currentSecsSinceEpoch();
    DataReportEngine::report(ReportEvent::Screenshot);
    QTRY_COMPARE(rowCount(), 1);
    const qint64 after = QDateTime::currentSecsSinceEpoch();
    const Row row = rows().first();
    QCOMPARE(row.types, 1);
    const qint64 time = row.datatime.toLongLong();
    QVERIFY(time >= before && time <= after);
    QCOMPARE(row.message.toHex(), eventBytes(quint64(time), 2011).toHex());
}

void TestDataReport::eventWithData_data()
{
    QTest::addColumn<int>("eventKey");
    QTest::addColumn<QVariantMap>("data");
    QTest::addColumn<QByteArray>("entries"); // key=value pairs as stored, ";"-separated
    QTest::addColumn<QString>("logLine");    // the first debug line of the report (stream form, quoted)

    QTest::newRow("one pair") << 1000 << QVariantMap{{"index", "0"}} << QByteArray("index=0")
                              << QStringLiteral("DataReport : report map :  1000  mapValue :  \"0\"");
    QTest::newRow("empty value is kept")
        << 2007 << QVariantMap{{"source", ""}} << QByteArray("source=")
        << QStringLiteral("DataReport : report map :  2007  mapValue :  \"\"");
    QTest::newRow("map in key order")
        << 1008 << QVariantMap{{"source", "3"}, {"initState", "0"}, {"endState", "1"}, {"clickState", "2"}}
        << QByteArray("clickState=2;endState=1;initState=0;source=3")
        << QStringLiteral("DataReport : report maps :  \"clickState\"  mapValue :  \"2\"");
    QTest::newRow("non-ASCII text") << 2500 << QVariantMap{{"source", "多开"}} << QByteArray("source=多开")
                                    << QStringLiteral(
                                           "DataReport : report map :  2500  mapValue :  \"多开\"");
}

void TestDataReport::eventWithData()
{
    QFETCH(int, eventKey);
    QFETCH(QVariantMap, data);
    QFETCH(QByteArray, entries);
    QFETCH(QString, logLine);

    qInstallMessageHandler(collect);
    if (data.size() == 1) {
        DataReportEngine::report(eventKey, data.firstKey(), data.first().toString());
    } else {
        QMap<QString, QString> maps;
        for (auto it = data.cbegin(); it != data.cend(); ++it)
            maps.insert(it.key(), it.value().toString());
        DataReportEngine::report(eventKey, maps);
    }
    qInstallMessageHandler(nullptr);
    const QStringList reportLines = takeMessages().filter(QStringLiteral("DataReport : report"));
    QVERIFY(!reportLines.isEmpty());
    QCOMPARE(reportLines.first(), logLine);
    QTRY_COMPARE(rowCount(), 1);
    const Row row = rows().first();
    QCOMPARE(row.types, 2);
    QList<QPair<QByteArray, QByteArray>> expected;
    for (const QByteArray &entry : entries.split(';')) {
        const int eq = entry.indexOf('=');
        expected.append({entry.left(eq), entry.mid(eq + 1)});
    }
    QCOMPARE(row.message.toHex(),
             eventExBytes(row.datatime.toULongLong(), quint32(eventKey), expected).toHex());
}

void TestDataReport::emptyMapStoresNothing()
{
    DataReportEngine::report(ReportEvent::ManagerListBuilt, QMap<QString, QString>());
    QThreadPool::globalInstance()->waitForDone();
    QCOMPARE(rowCount(), 0);
}

void TestDataReport::eventsFromManyThreadsAtOnce()
{
    // Reports come from several threads at once and are stored by several pool threads at once; every
    // event must arrive as its own row.
    constexpr int kThreads = 8;
    constexpr int kEach = 40;
    qInstallMessageHandler(collect);
    QList<QThread *> senders;
    for (int t = 0; t < kThreads; ++t) {
        senders << QThread::create([t] {
            for (int i = 0; i < kEach; ++i) {
                if (i % 2)
                    DataReportEngine::report(3000 + t, QStringLiteral("n"), QString::number(i));
                else
                    DataReportEngine::report(4000 + t * 100 + i);
            }
        });
    }
    for (QThread *sender : senders)
        sender->start();
    for (QThread *sender : senders) {
        QVERIFY(sender->wait(60000));
        delete sender;
    }
    QThreadPool::globalInstance()->waitForDone();
    qInstallMessageHandler(nullptr);

    QSet<QString> seen;
    for (const Row &row : rows()) {
        if (row.types == 1) {
            YeltProto::CommonEventObject event;
            QVERIFY(event.ParseFromArray(row.message.constData(), row.message.size()));
            seen.insert(QString::number(event.eventkey()));
        } else {
            YeltProto::CommonEventObjectEx event;
            QVERIFY(event.ParseFromArray(row.message.constData(), row.message.size()));
            QCOMPARE(event.eventmaps_size(), 1);
            seen.insert(QStringLiteral("%1:%2")
                            .arg(event.eventkey())
                            .arg(QString::fromStdString(event.eventmaps(0).datavalue())));
        }
    }
    QSet<QString> expected;
    for (int t = 0; t < kThreads; ++t)
        for (int i = 0; i < kEach; ++i)
            expected.insert(i % 2 ? QStringLiteral("%1:%2").arg(3000 + t).arg(i)
                                  : QString::number(4000 + t * 100 + i));
    QCOMPARE(rowCount(), kThreads * kEach);
    QCOMPARE(seen, expected);
    const QStringList lines = takeMessages();
    QCOMPARE(lines.filter(QStringLiteral("DataReportDao : add ok")).size(), kThreads * kEach);
    QCOMPARE(lines.filter(QStringLiteral("requested database does not belong")).size(), 0);
}

void TestDataReport::sysMsgKeepsFirstValue()
{
    qInstallMessageHandler(collect);
    DataReportEngine::sysMsg(QStringLiteral("error"), QStringLiteral("1301"));
    DataReportEngine::sysMsg(QStringLiteral("error"), QStringLiteral("1201"));
    DataReportEngine::sysMsg(QStringLiteral("vt"), QStringLiteral("2"));
    DataReportEngine::sysMsg(QStringLiteral("systemVer"), QStringLiteral("Linux x64"));
    DataReportEngine::sysMsg(QStringLiteral("vt"), QStringLiteral("1"));
    qInstallMessageHandler(nullptr);
    const QStringList lines = takeMessages().filter(QStringLiteral("Global : sysMsg"));
    QCOMPARE(lines.size(), 3);
    QCOMPARE(lines.first(), QStringLiteral("Global : sysMsg  \"error\"      \"1301\""));

    const QMap<QString, QString> expected{{"error", "1301"}, {"systemVer", "Linux x64"}, {"vt", "2"}};
    QCOMPARE(DataReportEngine::sysMsgMap(), expected);

    DataReportEngine::reportSysMsg(ReportEvent::ErrorSystemInfo);
    QTRY_COMPARE(rowCount(), 1);
    const Row row = rows().first();
    QCOMPARE(row.types, 2);
    QCOMPARE(row.message.toHex(), eventExBytes(row.datatime.toULongLong(), 1002,
                                               {{"error", "1301"}, {"systemVer", "Linux x64"}, {"vt", "2"}})
                                      .toHex());
}

void TestDataReport::daoReadsBackAndClears()
{
    DataReportEngine::report(ReportEvent::Shake);
    DataReportEngine::report(ReportEvent::FullScreen, QStringLiteral("source"), QStringLiteral("1"));
    QTRY_COMPARE(rowCount(), 2);

    DataReportDao dao;
    QList<DataReportRecord> records = dao.findAll();
    QCOMPARE(records.size(), 2);
    std::sort(records.begin(), records.end(),
              [](const DataReportRecord &a, const DataReportRecord &b) { return a.types < b.types; });
    QCOMPARE(records[0].types, 1);
    QCOMPARE(records[0].event.eventkey(), 2014u);
    QCOMPARE(QString::number(records[0].event.timestamp()), records[0].datatime);
    QCOMPARE(records[0].event.eventvalue_size(), 0);
    QCOMPARE(records[1].types, 2);
    QCOMPARE(records[1].eventEx.eventkey(), 2002u);
    QCOMPARE(records[1].eventEx.eventmaps(0).datakey(), std::string("source"));
    QCOMPARE(records[1].eventEx.eventmaps(0).datavalue(), std::string("1"));

    // A row whose message does not parse is still read back.
    QVERIFY(dao.add(5, 1, QByteArray("\xff\xff\xff", 3)));
    QCOMPARE(dao.findAll().size(), 3);

    dao.clearTable();
    QCOMPARE(rowCount(), 0);
    QCOMPARE(dao.findAll().size(), 0);
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("schema"));
        db.setDatabaseName(m_file);
        QVERIFY(db.open());
        QSqlQuery query(db);
        QVERIFY(query.exec(QStringLiteral("SELECT sql FROM sqlite_master WHERE name = 'DataReport'")));
        QVERIFY(query.next());
        QCOMPARE(
            query.value(0).toString(),
            QStringLiteral("CREATE TABLE DataReport (id integer primary key autoincrement, types integer , "
                           "datatime varchar(50), message BLOB)"));
        query.finish();
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("schema"));

    // Storing goes on after the table was recreated.
    DataReportEngine::report(ReportEvent::StopScript);
    QTRY_COMPARE(rowCount(), 1);
}

void TestDataReport::eventsThatCannotBeStoredAreWarned_data()
{
    QTest::addColumn<QString>("obstacle");
    QTest::newRow("database locked by another writer") << "locked";
    QTest::newRow("database file read-only") << "read-only";
}

void TestDataReport::eventsThatCannotBeStoredAreWarned()
{
    QFETCH(QString, obstacle);
    // The database exists and takes events.
    DataReportEngine::report(ReportEvent::Shake);
    QTRY_COMPARE(rowCount(), 1);
    cleanup();

    QSqlDatabase peer = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("writer"));
    bool blocked = true;
    const auto unblock = [&] {
        if (!blocked)
            return;
        blocked = false;
        if (peer.isOpen()) {
            QSqlQuery(peer).exec(QStringLiteral("ROLLBACK"));
            peer.close();
        }
        peer = QSqlDatabase();
        QSqlDatabase::removeDatabase(QStringLiteral("writer"));
        if (obstacle != QLatin1String("locked"))
            QVERIFY(setReadOnly(m_file, false));
    };
    auto unblockAtEnd = qScopeGuard(unblock);
    if (obstacle == QLatin1String("locked")) {
        // Another program holds the whole database for longer than the busy time-out.
        peer.setDatabaseName(m_file);
        QVERIFY(peer.open());
        QVERIFY(QSqlQuery(peer).exec(QStringLiteral("BEGIN EXCLUSIVE")));
    } else if (!setReadOnly(m_file, true)) {
        QSKIP("the database file cannot be made read-only on this file system");
    }

    {
        QMutexLocker locker(&messagesMutex);
        warnings.clear();
    }
    qInstallMessageHandler(collectWarnings);
    DataReportEngine::report(ReportEvent::Screenshot);
    DataReportEngine::report(ReportEvent::RunMinutes, QStringLiteral("time"), QStringLiteral("7"));
    QThreadPool::globalInstance()->waitForDone();
    qInstallMessageHandler(nullptr);
    QStringList lines;
    {
        QMutexLocker locker(&messagesMutex);
        lines = warnings;
    }
    // Each lost event is named at warning level, with the database's reason.
    for (const char *event : {"2011", "1004"}) {
        const QStringList named =
            lines.filter(QStringLiteral("DataReport : event %1 not stored: ").arg(event));
        QVERIFY2(named.size() == 1, qPrintable(lines.join('\n')));
        QVERIFY2(named.first().size() > QStringLiteral("DataReport : event 2011 not stored: ").size(),
                 qPrintable(named.first()));
    }
    unblock();
    QCOMPARE(rowCount(), 0);

    // With the obstacle gone, events are stored again.
    DataReportEngine::report(ReportEvent::StopScript);
    QTRY_COMPARE(rowCount(), 1);
}

QTEST_GUILESS_MAIN(TestDataReport)
#include "tst_datareport.moc"
