// What the database's own files share: the mark of a file of ours, why an opening failed, and the
// schema steps the opening runs. Private to the library. Thread: a connection's own.
#pragma once

#include <QString>

struct sqlite3;

namespace kelvra::library {

// Marks the file as Kelvra's, so a database of another program is never taken for ours.
inline constexpr int kApplicationId = 0x4B4C5652;  // "KLVR"

// The first column of the first row `sql` reads, or -1.
int firstInteger(sqlite3* db, const char* sql);

// Why an opening failed, which decides what may be done about it.
enum class Trouble { None, NotAFile, NotOurs, Newer, Busy, Full, Damaged, Other };

// What the last failure on `db` means for an opening.
Trouble troubleOf(sqlite3* db);

// The steps from the database's version up to `target`. A failed step is rolled back, and what
// went wrong is kept in `trouble` and `why` first (the rollback's own success would hide it).
bool migrateSteps(sqlite3* db, int target, Trouble& trouble, QString& why);

}  // namespace kelvra::library
