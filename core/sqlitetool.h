#pragma once

#include <QMutex>
#include <QSqlDatabase>
#include <QString>

#include <atomic>

// Holder of the instance database <appdata>/<organisation>/<VM name>_DB.db with the tables DataReport
// and Keyboard. One per process.
//
// Qt binds a database connection to the thread that opened it and refuses its use from any other
// thread. connect() opens Qt's default connection on the calling thread and creates the tables there;
// after that every thread that reads or writes rows takes its own connection to the same file from
// database(), which is closed and removed when that thread ends. Users hold lock() around each use so
// that our own connections never meet each other's file locks.
class SQLiteTool
{
public:
    static SQLiteTool &instance();

    // The creation statements of the two tables, character for character.
    static const char *const kDataReportTable;
    static const char *const kKeyboardTable;

    // Opens the database on the default connection and creates the tables. `open` becomes true only
    // when both steps succeed. Called once at start-up.
    void connect();
    // Runs the two creation statements on the default connection.
    bool initTables();
    bool isOpen() const { return open.load(); }

    // The file of this process's database.
    static QString databasePath();
    // A connection to the database that may be used on the calling thread (invalid before connect()).
    static QSqlDatabase database();
    // Serialises the uses of the database inside this process.
    static QMutex &lock();

    ~SQLiteTool();

private:
    SQLiteTool() = default;
    SQLiteTool(const SQLiteTool &) = delete;
    SQLiteTool &operator=(const SQLiteTool &) = delete;

    std::atomic_bool open{false};
    QSqlDatabase db;
};
