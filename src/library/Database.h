// Kelvra's song database file: its schema, brought forward one version at a time, and the opening
// rules every connection to it follows (WAL, foreign keys, a file that is not ours set aside and
// never deleted). A small prepared-statement wrapper shared by the units that query it.
// Thread: a connection belongs to the thread that uses it; the functions here are any thread.
#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <optional>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace kelvra::library {

// 1: songs and hot cues; 2: saved loops; 3: the library (file facts, tags, analysis, ratings,
// the text index, crates, set history); 4: songs in name order, files found missing; 5: the
// watched folders; 6: the first letters of the songs' words.
inline constexpr int kSchemaVersion = 6;

// Opens (or makes) the database at `path` and migrates it to kSchemaVersion. A file that is not a
// database of ours, or one of a newer Kelvra, is renamed aside and a fresh database made in its
// place; `notice` then says so. Null when nothing could be opened (`notice` says why).
sqlite3* openDatabase(const QString& path, QString& notice);

// Runs the schema steps from the database's version up to `version`, each in one transaction.
// It adds the SQL functions the schema uses to `db` first (a connection of any origin).
// openDatabase() does it up to kSchemaVersion; tests make the earlier versions with it.
bool migrateTo(sqlite3* db, int version);

// Another connection to a database openDatabase() has already brought up to date: for a second
// thread. It neither migrates nor sets anything aside. Null (with `why`) when it cannot.
sqlite3* openConnection(const QString& path, QString& why);

// The connection's last error as a sentence; "the disk is full" for SQLITE_FULL.
QString errorText(sqlite3* db);

// A prepared statement that finalises itself. Columns and binds are 0- and 1-based as in SQLite.
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
    void bind(int index, std::int64_t value);
    void bind(int index, double value);
    void bind(int index, const QByteArray& blob);
    void bindText(int index, const QString& text);
    void bind(int index, std::optional<double> value);
    void bindNull(int index);
    // `pointer` for an SQL function of ours to take back by `type` (never seen as a value).
    void bindPointer(int index, void* pointer, const char* type);
    int step();
    void reset();

    std::int64_t integer(int column) const;
    double real(int column) const;
    std::optional<double> optionalReal(int column) const;
    bool isNull(int column) const;
    QByteArray blob(int column) const;
    QString text(int column) const;

  private:
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
