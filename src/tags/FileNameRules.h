// How a title, an artist and an album are guessed from a file's name and folders when the file
// carries no tag. Pure text rules; any thread.
#pragma once

#include <QString>

namespace kelvra::tags {

// The six texts of a tag as clsMP3Info keeps them, in its order.
struct InfoRecord {
    QString title;
    QString artist;
    QString album;
    QString comment;
    QString year;
    QString genre;
};

// Number of non-overlapping occurrences of `separator` in `text`; 0 for an empty text.
int countSeparators(const QString& text, const QString& separator);

// The path before its last "/" and the name after it, each trimmed, joined by " - ". This folds
// the innermost folder into the name so the rules can take the artist from it.
QString joinFolderAndName(const QString& path);

// Title, artist and album from the path's name, falling back to its folders when the name alone
// gives no title. Title, artist and album may keep spaces at their ends; readers trim them.
InfoRecord parseFileName(const QString& path);

}  // namespace kelvra::tags
