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

    // How long a statement waits for another connection's lock before it gives up.
    static constexpr int kBusyTimeoutMs = 3000;

    // Opens the database on the default connection and creates the tables. `open` becomes true only
    // when both steps succeed. Called once at start-up. A damaged file (not a database, failing the
    // integrity check, or a DataReport table of another layout) is moved aside as "<file>.broken" and a
    // fresh one is made; a file that is only locked is left alone and tried again on the next use.
    void connect();
    // Runs the two creation statements on the default connection.
    bool initTables();
    bool isOpen() const { return open.load(); }
    // True when the database is open, or connect() was asked for and a new attempt has now opened it.
    // False before connect() and while the file cannot be opened.
    bool ensureOpen();
    // connect() has been asked for (whatever its outcome): events are worth keeping for a reopen.
    bool wasRequested() const { return requested.load(); }

    // The file of this process's database.
    static QString databasePath();
    // A connection to the database that may be used on the calling thread (invalid before connect()).
    static QSqlDatabase database();
    // Serialises the uses of the database inside this process (recursive: a use may reopen it).
    static QMutex &lock();

    ~SQLiteTool();

private:
    SQLiteTool() = default;
    SQLiteTool(const SQLiteTool &) = delete;
    SQLiteTool &operator=(const SQLiteTool &) = delete;

    // Opens the default connection and checks it; false when the file is damaged (`damage` says why).
    bool openChecked(QString *damage);
    void closeDefault();

    std::atomic_bool open{false};
    std::atomic_bool requested{false};
    QSqlDatabase db;
};
