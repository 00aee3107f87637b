// The first letters of a song's words, kept beside the text index as one number per song: the
// first letter typed into a search matches most of a library, and listing the songs in order
// while testing a bit of each row is far cheaper than reading every match out of the index. The
// words are found by the text index's own tokenizer with its own settings, so a song has a
// letter's bit exactly when the index would match that letter as a word's start.
// Thread: any; the SQL function belongs to the connection it is added to.
#pragma once

#include <QChar>
#include <cstdint>

struct sqlite3;

namespace kelvra::library {

// Bits 0..25 for a..z (either case), 26..35 for 0..9; -1 for every other character, whose words
// the index alone can tell.
int initialBit(QChar c);

// Adds text_initials(TEXT, ...) to `db`: the bits of the first characters of every word the text
// index takes from its arguments; and text_fold(TEXT): those words as the index keeps them (case
// and accents folded, punctuation gone), a space apart, which the index of fragments holds. The
// schema's triggers call both, so every connection that writes songs needs them. False when the
// connection has no FTS5.
bool addTextInitials(sqlite3* db);

}  // namespace kelvra::library
