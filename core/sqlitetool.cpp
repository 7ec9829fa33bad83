#include "sqlitetool.h"

#include "global.h"
#include "logtags.h"
#include "paths.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDir>
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
    static QMutex mutex;
    return mutex;
}

void SQLiteTool::connect()
{
    QMutexLocker locker(&lock());
    if (open.load())
        return;
    const QString folder = Platform::appDataRoot() + QLatin1Char('/') + organizationName();
    QDir().mkpath(folder);
    openedPath = databasePath();
    if (db.isValid()) { // an earlier attempt failed: start again from a fresh default connection
        db.close();
        db = QSqlDatabase();
        QSqlDatabase::removeDatabase(QLatin1String(QSqlDatabase::defaultConnection));
    }
    db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"));
    db.setDatabaseName(openedPath);
    if (!db.open()) {
        qWarning() << ORV_LOG_SQLITETOOL "connect error " << db.lastError().text();
        return;
    }
    open.store(initTables());
}

bool SQLiteTool::initTables()
{
    qDebug() << ORV_LOG_SQLITETOOL "database init";
    bool ok = true;
    QSqlQuery query(QSqlDatabase::database());
    if (!query.exec(QString::fromLatin1(kDataReportTable))) {
        qWarning() << ORV_LOG_SQLITETOOL "table dataprot init failed " << query.lastError().text();
        ok = false;
    }
    if (!query.exec(QString::fromLatin1(kKeyboardTable))) {
        qWarning() << ORV_LOG_SQLITETOOL "table keyboard init failed " << query.lastError().text();
        ok = false;
    }
    if (ok)
        qDebug() << ORV_LOG_SQLITETOOL "database init ok.";
    return ok;
}

QSqlDatabase SQLiteTool::database()
{
    if (!instance().isOpen())
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
