// Kelvra's song database file: its schema, brought forward one version at a time, and the opening
// rules every connection to it follows (WAL, foreign keys; what is not ours is left untouched, a
// database of ours proven damaged is set aside by a writer and never deleted). A small
// prepared-statement wrapper shared by the units that query it.
// Thread: a connection belongs to the thread that uses it; the functions here are any thread.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace kelvra::library {

// 1: songs and hot cues; 2: saved loops; 3: the library (file facts, tags, analysis, ratings,
// the text index, crates, set history); 4: songs in name order, files found missing; 5: the
// watched folders; 6: the first letters of the songs' words; 7: the index of fragments; 8: the
// songs whose analysis found no tempo.
inline constexpr int kSchemaVersion = 8;

// Who opens the database: only a writer checks it whole and may set a damaged one aside and start
// afresh; a reader says it is damaged and changes nothing.
enum class Access { Reading, Writing };

// How long an opening waits for another program's lock on the database before it gives up.
inline constexpr int kBusyWaitMs = 5000;

// Opens (or makes) the database at `path` and migrates it to kSchemaVersion. What is not a regular
// file, not a database of ours, or of a newer Kelvra is refused and left as it is; one held by
// another program is waited for (kBusyWaitMs) and then refused. One of ours that cannot be read,
// or (for a writer, which runs the quick check of every page first) whose check fails, is
// damaged: a writer renames it aside (with its journal files) and makes a fresh one in its place,
// a reader refuses it. A reader finds later damage in its reads (stepFailure()). `notice` says what
// happened, naming the files. Null when nothing could be opened (`notice` says why).
sqlite3* openDatabase(const QString& path, QString& notice, Access access = Access::Writing);

// The whole check of the database at `path`, opened read-only (the pages, the indexes and the text
// index): empty when it is sound, otherwise what is wrong, a line each.
QStringList databaseProblems(const QString& path);

// What the DJ can do about a damaged database: the words that follow every message saying so.
QString recoveryAdvice();

// A read that ended early says why (damage, a lock held too long, the disk); empty when it ran
// to its end. `step` is the code the last step returned.
QString stepFailure(sqlite3* db, int step);

// Runs the schema steps from the database's version up to `version`, each in one transaction.
// It adds the SQL functions the schema uses to `db` first (a connection of any origin).
// openDatabase() does it up to kSchemaVersion; tests make the earlier versions with it.
bool migrateTo(sqlite3* db, int version);

// Another connection to a database openDatabase() has already brought up to date: for a second
// thread. It neither migrates nor sets anything aside. Null (with `why`) when it cannot.
sqlite3* openConnection(const QString& path, QString& why);

// The connection's last error as a sentence; "the disk is full" for SQLITE_FULL.
QString errorText(sqlite3* db);

// A prepared statement that finalises itself. Columns are 0-based as in SQLite; parameters are
// bound by name (":path"), so a statement reads the same where it is written and where it is
// bound, and a name bound that the SQL lacks binds nothing.
class StatementCache;

class Statement {
  public:
    Statement(sqlite3* db, const char* sql);
    // Borrows the cache's statement for `sql` (prepared on first use) and gives it back, reset,
    // when done: for what a connection runs thousands of times, like a scan's writes.
    Statement(StatementCache& cache, const char* sql);
    ~Statement();
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    bool ok() const { return statement_ != nullptr; }
    void bind(const char* name, std::int64_t value);
    void bind(const char* name, double value);
    void bind(const char* name, const QByteArray& blob);
    void bindText(const char* name, const QString& text);
    void bind(const char* name, std::optional<double> value);
    void bindNull(const char* name);
    // `pointer` for an SQL function of ours to take back by `type` (never seen as a value).
    void bindPointer(const char* name, void* pointer, const char* type);
    int step();
    void reset();

    std::int64_t integer(int column) const;
    double real(int column) const;
    std::optional<double> optionalReal(int column) const;
    bool isNull(int column) const;
    QByteArray blob(int column) const;
    QString text(int column) const;

  private:
    int indexOf(const char* name) const;

    sqlite3_stmt* statement_ = nullptr;
    StatementCache* cache_ = nullptr;  // the lender, when borrowed
};

// One connection's prepared statements, kept by the address of their SQL text (a literal), so a
// statement run for every file is compiled once and not once per file. Finalises them when
// destroyed, which must come before the connection is closed.
// Thread: the connection's.
class StatementCache {
  public:
    explicit StatementCache(sqlite3* db) : db_(db) {}
    ~StatementCache();
    sqlite3* connection() const { return db_; }
    StatementCache(const StatementCache&) = delete;
    StatementCache& operator=(const StatementCache&) = delete;

  private:
    friend class Statement;
    struct Entry {
        const char* sql;
        sqlite3_stmt* statement;
        bool lent;
    };
    // Null when `sql` does not compile. A statement still lent (the same SQL borrowed again
    // before the first is done) is prepared anew and finalised when given back.
    sqlite3_stmt* borrow(const char* sql);
    void giveBack(sqlite3_stmt* statement);

    sqlite3* db_;
    std::vector<Entry> entries_;
};

// Runs `sql` (several statements allowed). False on any failure.
bool execute(sqlite3* db, const char* sql);

}  // namespace kelvra::library
