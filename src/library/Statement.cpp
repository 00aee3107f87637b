// The prepared-statement wrapper the library's units query with, and one connection's cache of
// the statements it runs again and again.
#include <sqlite3.h>

#include <algorithm>

#include "library/Database.h"

namespace kelvra::library {

Statement::Statement(sqlite3* db, const char* sql) {
    if (db) sqlite3_prepare_v2(db, sql, -1, &statement_, nullptr);
}

Statement::Statement(StatementCache& cache, const char* sql)
    : statement_(cache.borrow(sql)), cache_(&cache) {}

Statement::~Statement() {
    if (cache_)
        cache_->giveBack(statement_);
    else
        sqlite3_finalize(statement_);
}

StatementCache::~StatementCache() {
    for (const Entry& entry : entries_)
        sqlite3_finalize(entry.statement);
}

sqlite3_stmt* StatementCache::borrow(const char* sql) {
    if (!db_) return nullptr;
    for (Entry& entry : entries_) {
        if (entry.sql != sql || entry.lent) continue;
        entry.lent = true;
        return entry.statement;
    }
    sqlite3_stmt* statement = nullptr;
    const bool kept = std::none_of(entries_.begin(), entries_.end(),
                                   [sql](const Entry& entry) { return entry.sql == sql; });
    sqlite3_prepare_v3(db_, sql, -1, kept ? SQLITE_PREPARE_PERSISTENT : 0, &statement, nullptr);
    if (statement && kept) entries_.push_back({sql, statement, true});
    return statement;
}

void StatementCache::giveBack(sqlite3_stmt* statement) {
    if (!statement) return;
    for (Entry& entry : entries_) {
        if (entry.statement != statement) continue;
        // Reset now, not at the next borrow: a statement left mid-read would hold its read
        // transaction open, and bound blobs would stay copied for nothing.
        sqlite3_reset(statement);
        sqlite3_clear_bindings(statement);
        entry.lent = false;
        return;
    }
    sqlite3_finalize(statement);
}

int Statement::indexOf(const char* name) const {
    return statement_ ? sqlite3_bind_parameter_index(statement_, name) : 0;
}

void Statement::bind(const char* name, std::int64_t value) {
    sqlite3_bind_int64(statement_, indexOf(name), value);
}

void Statement::bind(const char* name, double value) {
    sqlite3_bind_double(statement_, indexOf(name), value);
}

void Statement::bind(const char* name, const QByteArray& blob) {
    sqlite3_bind_blob(statement_, indexOf(name), blob.constData(), int(blob.size()),
                      SQLITE_TRANSIENT);
}

void Statement::bindText(const char* name, const QString& text) {
    const QByteArray utf8 = text.toUtf8();
    sqlite3_bind_text(statement_, indexOf(name), utf8.constData(), int(utf8.size()),
                      SQLITE_TRANSIENT);
}

void Statement::bind(const char* name, std::optional<double> value) {
    if (value)
        bind(name, *value);
    else
        bindNull(name);
}

void Statement::bindNull(const char* name) {
    sqlite3_bind_null(statement_, indexOf(name));
}

void Statement::bindPointer(const char* name, void* pointer, const char* type) {
    sqlite3_bind_pointer(statement_, indexOf(name), pointer, type, nullptr);
}

int Statement::step() {
    return statement_ ? sqlite3_step(statement_) : SQLITE_MISUSE;
}

void Statement::reset() {
    sqlite3_reset(statement_);
    sqlite3_clear_bindings(statement_);
}

std::int64_t Statement::integer(int column) const {
    return sqlite3_column_int64(statement_, column);
}

double Statement::real(int column) const {
    return sqlite3_column_double(statement_, column);
}

std::optional<double> Statement::optionalReal(int column) const {
    if (isNull(column)) return std::nullopt;
    return real(column);
}

bool Statement::isNull(int column) const {
    return sqlite3_column_type(statement_, column) == SQLITE_NULL;
}

QByteArray Statement::blob(int column) const {
    const void* data = sqlite3_column_blob(statement_, column);
    const int size = sqlite3_column_bytes(statement_, column);
    return data ? QByteArray(static_cast<const char*>(data), size) : QByteArray();
}

QString Statement::text(int column) const {
    const unsigned char* data = sqlite3_column_text(statement_, column);
    const int size = sqlite3_column_bytes(statement_, column);
    return data ? QString::fromUtf8(reinterpret_cast<const char*>(data), size) : QString();
}

}  // namespace kelvra::library
