#include "sqlitetool.h"

#include "global.h"
#include "logtags.h"
#include "paths.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QThread>
#include <QThreadStorage>

namespace {

QString organizationName()
{
    const QString name = QCoreApplication::organizationName();
    return name.isEmpty() ? QStringLiteral("Halvora") : name;
}

// The file that connect() opened; written before `open` becomes true.
QString openedPath;

QString busyOption()
{
    return QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(SQLiteTool::kBusyTimeoutMs);
}

// SQLite's result codes for a file that is no database or a damaged one.
bool isDamageError(const QSqlError &error)
{
    const QString code = error.nativeErrorCode();
    return code == QLatin1String("26") /* SQLITE_NOTADB */ ||
           code == QLatin1String("11") /* SQLITE_CORRUPT */;
}

// Keeps a damaged file (and its journal) as "<file>.broken" for inspection; an older copy goes.
bool moveAside(const QString &path)
{
    const QString copy = path + QStringLiteral(".broken");
    QFile::remove(copy);
    QFile::remove(copy + QStringLiteral("-journal"));
    if (!QFile::rename(path, copy))
        return false;
    if (QFile::exists(path + QStringLiteral("-journal")))
        QFile::rename(path + QStringLiteral("-journal"), copy + QStringLiteral("-journal"));
    return true;
}

// One extra connection per thread; closed and removed from Qt's registry when the thread ends.
class ThreadConnection
{
public:
    explicit ThreadConnection(const QString &path)
    {
        static std::atomic_int counter{0};
        name = QStringLiteral("orv_sqlite_thread_%1").arg(++counter);
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(path);
        db.setConnectOptions(busyOption());
        if (!db.open())
            qWarning() << ORV_LOG_SQLITETOOL "connect error " << db.lastError().text();
    }
    ~ThreadConnection()
    {
        {
            QSqlDatabase db = QSqlDatabase::database(name, false);
            db.close();
        }
        QSqlDatabase::removeDatabase(name);
    }
    QString name;
};

QThreadStorage<ThreadConnection *> threadConnections;

} // namespace

const char *const SQLiteTool::kDataReportTable =
    "CREATE TABLE IF NOT EXISTS DataReport (id integer primary key "
    "autoincrement, types integer , datatime varchar(50), message "
    "BLOB)";
const char *const SQLiteTool::kKeyboardTable = "CREATE TABLE IF NOT EXISTS Keyboard(packageName char(50) "
                                               "primary key, keyMap BLOB, rotation int, rect BLOB)";

SQLiteTool &SQLiteTool::instance()
{
    static SQLiteTool tool;
    return tool;
}

QString SQLiteTool::databasePath()
{
    return Platform::appDataRoot() + QLatin1Char('/') + organizationName() + QLatin1Char('/') +
           Global::vmName + QStringLiteral("_DB.db");
}

QMutex &SQLiteTool::lock()
{
    static QMutex mutex(QMutex::Recursive);
    return mutex;
}

void SQLiteTool::connect()
{
    QMutexLocker locker(&lock());
    if (open.load())
        return;
    requested.store(true);
    const QString folder = Platform::appDataRoot() + QLatin1Char('/') + organizationName();
    QDir().mkpath(folder);
    openedPath = databasePath();

    QString damage;
    if (openChecked(&damage)) {
        open.store(initTables());
        return;
    }
    if (damage.isEmpty())
        return; // not opened (locked, no access): tried again on the next use

    // A damaged file would keep the usage events out for good: it is kept aside, a fresh one takes its place.
    closeDefault();
    if (!moveAside(openedPath)) {
        qWarning().noquote() << ORV_LOG_SQLITETOOL "damaged database cannot be moved aside:" << openedPath
                             << damage;
        return;
    }
    qWarning().noquote() << ORV_LOG_SQLITETOOL "damaged database moved aside as"
                         << openedPath + QStringLiteral(".broken") << ":" << damage;
    if (openChecked(&damage))
        open.store(initTables());
}

bool SQLiteTool::ensureOpen()
{
    if (open.load())
        return true;
    if (!requested.load())
        return false;
    connect();
    return open.load();
}

void SQLiteTool::closeDefault()
{
    if (!db.isValid())
        return;
    db.close();
    db = QSqlDatabase();
    QSqlDatabase::removeDatabase(QLatin1String(QSqlDatabase::defaultConnection));
}

bool SQLiteTool::openChecked(QString *damage)
{
    damage->clear();
    closeDefault(); // an earlier attempt failed: start again from a fresh default connection
    // A folder (or any other non-file) in the database's place can never be opened: it is damage too,
    // kept aside whole like a damaged file, so the events get a fresh database instead of none.
    const QFileInfo existing(openedPath);
    if (existing.exists() && !existing.isFile()) {
        *damage = QStringLiteral("not a regular file");
        return false;
    }
    db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"));
    db.setDatabaseName(openedPath);
    db.setConnectOptions(busyOption());
    if (!db.open()) {
        qWarning() << ORV_LOG_SQLITETOOL "connect error " << db.lastError().text();
        return false;
    }
    QSqlQuery check(db);
    if (!check.exec(QStringLiteral("PRAGMA quick_check"))) {
        if (isDamageError(check.lastError())) {
            *damage = check.lastError().text();
        } else {
            qWarning() << ORV_LOG_SQLITETOOL "connect error " << check.lastError().text();
        }
        return false;
    }
    const QString verdict = check.next() ? check.value(0).toString() : QString();
    if (verdict != QLatin1String("ok")) {
        *damage = QStringLiteral("integrity check: ") + verdict;
        return false;
    }
    // The events are written by column name: a DataReport table of another layout would refuse them all.
    QSqlQuery columns(db);
    QStringList names;
    if (columns.exec(QStringLiteral("PRAGMA table_info(DataReport)"))) {
        while (columns.next())
            names << columns.value(1).toString();
    }
    const QStringList expected{QStringLiteral("id"), QStringLiteral("types"), QStringLiteral("datatime"),
                               QStringLiteral("message")};
    if (!names.isEmpty() && names != expected) {
        *damage = QStringLiteral("table DataReport has the columns ") + names.join(QLatin1Char(','));
        return false;
    }
    return true;
}

bool SQLiteTool::initTables()
{
    qDebug() << ORV_LOG_SQLITETOOL "database init";
    bool ok = true;
    QSqlDatabase database = QSqlDatabase::database();
    // Both tables in one transaction: a new database is written and synced once, not once per table.
    const bool batched = database.transaction();
    QSqlQuery query(database);
    if (!query.exec(QString::fromLatin1(kDataReportTable))) {
        qWarning() << ORV_LOG_SQLITETOOL "table dataprot init failed " << query.lastError().text();
        ok = false;
    }
    if (!query.exec(QString::fromLatin1(kKeyboardTable))) {
        qWarning() << ORV_LOG_SQLITETOOL "table keyboard init failed " << query.lastError().text();
        ok = false;
    }
    query.finish();
    if (batched && !database.commit()) {
        qWarning() << ORV_LOG_SQLITETOOL "table init not committed " << database.lastError().text();
        database.rollback();
        ok = false;
    }
    if (ok)
        qDebug() << ORV_LOG_SQLITETOOL "database init ok.";
    return ok;
}

QSqlDatabase SQLiteTool::database()
{
    if (!instance().ensureOpen())
        return QSqlDatabase();
    if (!threadConnections.hasLocalData())
        threadConnections.setLocalData(new ThreadConnection(openedPath));
    return QSqlDatabase::database(threadConnections.localData()->name);
}

SQLiteTool::~SQLiteTool()
{
    qDebug() << ORV_LOG_SQLITETOOL "destory";
    if (open.load())
        db.close();
}
