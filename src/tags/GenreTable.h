// The 148 ID3v1 genre names, indices 0 to 147, as the tag editor and readers show them.
#pragma once

#include <QStringList>

namespace kelvra::tags {

// Built once from one constant text; the same list for the whole run. Any thread.
const QStringList& genreTable();

// The name of genre byte `code`, or an empty text when the table has no such entry.
QString genreName(int code);

}  // namespace kelvra::tags
