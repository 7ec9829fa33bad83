#include "global.h"
#include "sqlitetool.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

static QStringList messages;
static void collect(QtMsgType, const QMessageLogContext &, const QString &text)
{
    messages << text;
}

// The test's own view of a database file, as another process would open it.
class PeerDatabase
{
public:
    explicit PeerDatabase(const QString &path)
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("peer"));
        db.setDatabaseName(path);
        db.open();
    }
    ~PeerDatabase() { QSqlDatabase::removeDatabase(QStringLiteral("peer")); }
    QStringList column(const QString &sql)
    {
        QStringList values;
        QSqlQuery query(QSqlDatabase::database(QStringLiteral("peer")));
        if (!query.exec(sql))
            return {QStringLiteral("error")};
        while (query.next())
            values << query.value(0).toString();
        return values;
    }
};

class TestSQLiteTool : public QObject
{
    Q_OBJECT

private slots:
    void failedOpenLeavesDatabaseClosed();
    void opensExistingFileAndKeepsItsTables();
    void damagedFileIsMovedAside_data();
    void damagedFileIsMovedAside();
    void lockedFileIsOpenedOnTheNextUse();
    void freshInstancesGetTheirOwnFiles();
    void connectionsOnOtherThreads();

private:
    QTemporaryDir m_root;
};

void TestSQLiteTool::failedOpenLeavesDatabaseClosed()
{
    // The application-data root is a plain file, so no folder and no database can be made below it.
    QFile blocker(m_root.filePath("not-a-folder"));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    qputenv("APPDATA", blocker.fileName().toUtf8());
    Global::vmName = QStringLiteral("Orvanta_1");

    qInstallMessageHandler(collect);
    SQLiteTool::instance().connect();
    qInstallMessageHandler(nullptr);
    QVERIFY(!SQLiteTool::instance().isOpen());
    QVERIFY(!SQLiteTool::database().isValid());
    const QStringList errors = messages.filter(QStringLiteral("SQLiteTool : connect error "));
    QCOMPARE(errors.size(), 1);
    // Stream form: the tag, one blank, then the driver's text in double quotes.
    QVERIFY2(errors.first().startsWith(QStringLiteral("SQLiteTool : connect error  \"")) &&
                 errors.first().endsWith(QLatin1Char('"')),
             qPrintable(errors.first()));
}

void TestSQLiteTool::opensExistingFileAndKeepsItsTables()
{
    // An existing DataReport table and its rows stay as they are; the missing Keyboard table is created.
    const QString appData = m_root.filePath("appdata");
    qputenv("APPDATA", appData.toUtf8());
    Global::vmName = QStringLiteral("Orvanta_3");
    const QString file = appData + QStringLiteral("/Halvora/Orvanta_3_DB.db");
    QVERIFY(QDir().mkpath(QFileInfo(file).absolutePath()));
    {
        PeerDatabase peer(file);
        QCOMPARE(peer.column(QString::fromLatin1(SQLiteTool::kDataReportTable)), QStringList());
        QCOMPARE(peer.column("INSERT INTO DataReport VALUES (7, 1, '100', x'0801')"), QStringList());
    }

    messages.clear();
    qInstallMessageHandler(collect);
    SQLiteTool::instance().connect();
    qInstallMessageHandler(nullptr);
    QVERIFY(SQLiteTool::instance().isOpen());
    QCOMPARE(messages, (QStringList{"SQLiteTool : database init", "SQLiteTool : database init ok."}));
    QCOMPARE(SQLiteTool::databasePath(), file);
    QVERIFY(!QFile::exists(file + ".broken"));

    PeerDatabase peer(file);
    QCOMPARE(peer.column("SELECT datatime FROM DataReport WHERE id = 7"), QStringList{"100"});
    QCOMPARE(peer.column("SELECT sql FROM sqlite_master WHERE name = 'Keyboard'"),
             QStringList{"CREATE TABLE Keyboard(packageName char(50) primary key, keyMap BLOB, rotation int, "
                         "rect BLOB)"});
}

void TestSQLiteTool::damagedFileIsMovedAside_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("garbage") << "garbage";
    QTest::newRow("truncated") << "truncated";
    QTest::newRow("DataReport of another layout") << "layout";
}

void TestSQLiteTool::damagedFileIsMovedAside()
{
    // A damaged file would keep every usage event of every later run out: it is kept as "<file>.broken"
    // and a fresh database takes its place.
    QFETCH(QString, kind);
    QTemporaryDir dir;
    const QString file = dir.filePath("Halvora/Orvanta_4_DB.db");
    QVERIFY(QDir().mkpath(QFileInfo(file).absolutePath()));
    if (kind == "garbage") {
        QFile out(file);
        QVERIFY(out.open(QIODevice::WriteOnly));
        for (int i = 0; i < 3000; ++i)
            out.putChar(static_cast<char>((i * 131 + 7) % 251));
    } else {
        {
            PeerDatabase peer(file);
            if (kind == "layout") {
                QCOMPARE(peer.column("CREATE TABLE DataReport (id integer, note text)"), QStringList());
                QCOMPARE(peer.column("INSERT INTO DataReport VALUES (7, 'kept')"), QStringList());
            } else {
                QCOMPARE(peer.column(QString::fromLatin1(SQLiteTool::kDataReportTable)), QStringList());
                for (int i = 0; i < 200; ++i)
                    peer.column(
                        QStringLiteral("INSERT INTO DataReport(types, datatime, message) VALUES (1, '%1', "
                                       "randomblob(200))")
                            .arg(i));
            }
        }
        if (kind == "truncated") {
            QFile cut(file);
            QVERIFY(cut.size() > 16384);
            QVERIFY(cut.resize(cut.size() / 2));
        }
    }
    QFile original(file);
    QVERIFY(original.open(QIODevice::ReadOnly));
    const QByteArray bytes = original.readAll();
    original.close();

    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("APPDATA"), dir.path());
    child.setProcessEnvironment(env);
    child.start(QCoreApplication::applicationFilePath(),
                {QStringLiteral("--connect"), QStringLiteral("Orvanta_4")});
    QVERIFY(child.waitForFinished(60000));
    QCOMPARE(child.readAllStandardOutput(), QByteArray("open\n"));
    QVERIFY2(child.readAllStandardError().contains("SQLiteTool : damaged database moved aside as " +
                                                   QFile::encodeName(file) + ".broken"),
             "the move is logged");

    QFile kept(file + ".broken");
    QVERIFY(kept.open(QIODevice::ReadOnly));
    QCOMPARE(kept.readAll(), bytes);
    PeerDatabase peer(file);
    QCOMPARE(peer.column("SELECT sql FROM sqlite_master WHERE name = 'DataReport'"),
             QStringList{"CREATE TABLE DataReport (id integer primary key autoincrement, types integer , "
                         "datatime varchar(50), message BLOB)"});
    QCOMPARE(peer.column("SELECT count(*) FROM DataReport"), QStringList{"0"});
}

void TestSQLiteTool::lockedFileIsOpenedOnTheNextUse()
{
    // Another process holds the file locked longer than the busy time-out while this one starts: the
    // database is not open at first, and the next use opens it once the lock is gone.
    QTemporaryDir dir;
    const QString file = dir.filePath("Halvora/Orvanta_5_DB.db");
    QVERIFY(QDir().mkpath(QFileInfo(file).absolutePath()));
    auto peer = std::make_unique<PeerDatabase>(file);
    QCOMPARE(peer->column(QString::fromLatin1(SQLiteTool::kDataReportTable)), QStringList());
    QCOMPARE(peer->column("BEGIN EXCLUSIVE"), QStringList());

    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("APPDATA"), dir.path());
    child.setProcessEnvironment(env);
    child.start(QCoreApplication::applicationFilePath(),
                {QStringLiteral("--connect-and-use"), QStringLiteral("Orvanta_5")});
    QVERIFY(child.waitForStarted(10000));
    QTRY_VERIFY_WITH_TIMEOUT(child.canReadLine(), SQLiteTool::kBusyTimeoutMs + 10000);
    QCOMPARE(child.readLine(), QByteArray("closed\n"));

    QCOMPARE(peer->column("ROLLBACK"), QStringList());
    peer.reset();
    child.write("use\n");
    QVERIFY(child.waitForFinished(20000));
    QCOMPARE(child.readAllStandardOutput(), QByteArray("open\n"));
}

void TestSQLiteTool::freshInstancesGetTheirOwnFiles()
{
    // Two instances started in a missing folder chain: the folders are created and each VM name has its
    // own file with both tables exactly as stated.
    const QString appData = m_root.filePath("deep/app data");
    QVERIFY(!QFile::exists(appData));
    for (const char *vm : {"Orvanta_0", "Orvanta_1"}) {
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("APPDATA"), appData);
        child.setProcessEnvironment(env);
        child.start(QCoreApplication::applicationFilePath(),
                    {QStringLiteral("--connect"), QString::fromLatin1(vm)});
        QVERIFY(child.waitForFinished(60000));
        QCOMPARE(child.readAllStandardOutput(), QByteArray("open\n"));
        QCOMPARE(child.exitCode(), 0);
    }
    QCOMPARE(QDir(appData + QStringLiteral("/Halvora")).entryList(QDir::Files),
             (QStringList{"Orvanta_0_DB.db", "Orvanta_1_DB.db"}));
    PeerDatabase peer(appData + QStringLiteral("/Halvora/Orvanta_1_DB.db"));
    QCOMPARE(
        peer.column("SELECT sql FROM sqlite_master WHERE type = 'table' AND name != 'sqlite_sequence' "
                    "ORDER BY name"),
        (QStringList{"CREATE TABLE DataReport (id integer primary key autoincrement, types integer , "
                     "datatime varchar(50), message BLOB)",
                     "CREATE TABLE Keyboard(packageName char(50) primary key, keyMap BLOB, rotation int, "
                     "rect BLOB)"}));
    QCOMPARE(
        QString::fromLatin1(SQLiteTool::kDataReportTable),
        QStringLiteral("CREATE TABLE IF NOT EXISTS DataReport (id integer primary key autoincrement, types "
                       "integer , datatime varchar(50), message BLOB)"));
    QCOMPARE(
        QString::fromLatin1(SQLiteTool::kKeyboardTable),
        QStringLiteral("CREATE TABLE IF NOT EXISTS Keyboard(packageName char(50) primary key, keyMap BLOB, "
                       "rotation int, rect BLOB)"));
}

void TestSQLiteTool::connectionsOnOtherThreads()
{
    QVERIFY(SQLiteTool::instance().isOpen());
    // Every thread gets a connection it may use; Qt refuses a connection made on another thread.
    QStringList results;
    QMutex resultsMutex;
    QList<QThread *> threads;
    for (int i = 0; i < 4; ++i) {
        threads << QThread::create([&, i] {
            QMutexLocker locker(&SQLiteTool::lock());
            QSqlQuery query(SQLiteTool::database());
            const bool ok = query.exec(
                QStringLiteral("INSERT INTO Keyboard(packageName, rotation) VALUES ('p%1', %1)").arg(i));
            QMutexLocker results_(&resultsMutex);
            results << (ok ? QStringLiteral("ok") : QStringLiteral("failed"));
        });
        threads.last()->start();
    }
    for (QThread *thread : threads) {
        QVERIFY(thread->wait(30000));
        delete thread;
    }
    QCOMPARE(results, (QStringList{"ok", "ok", "ok", "ok"}));
    PeerDatabase peer(SQLiteTool::databasePath());
    QCOMPARE(peer.column("SELECT count(*) FROM Keyboard"), QStringList{"4"});
    QSqlQuery clean(SQLiteTool::database());
    QVERIFY(clean.exec(QStringLiteral("DELETE FROM Keyboard")));
}

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    // Child mode: open the database of one VM as a fresh process would, and say whether it is open.
    if (argc == 3 && qstrcmp(argv[1], "--connect") == 0) {
        Global::vmName = QString::fromLocal8Bit(argv[2]);
        SQLiteTool::instance().connect();
        fputs(SQLiteTool::instance().isOpen() ? "open\n" : "closed\n", stdout);
        return 0;
    }
    // Child mode: connect, say whether it is open, then on a line from the test use the database once.
    if (argc == 3 && qstrcmp(argv[1], "--connect-and-use") == 0) {
        Global::vmName = QString::fromLocal8Bit(argv[2]);
        SQLiteTool::instance().connect();
        fputs(SQLiteTool::instance().isOpen() ? "open\n" : "closed\n", stdout);
        fflush(stdout);
        char line[16];
        if (!fgets(line, sizeof(line), stdin))
            return 1;
        const bool usable = SQLiteTool::database().isValid();
        fputs(usable && SQLiteTool::instance().isOpen() ? "open\n" : "closed\n", stdout);
        return 0;
    }
    TestSQLiteTool test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_sqlitetool.moc"
