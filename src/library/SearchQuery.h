// What the DJ types into the library's search, read into the conditions of a query: words that
// match the start of any word in artist, title, album, genre or comment (and, from three letters
// on, any part of a word); "quoted phrases"; a field named before a colon (artist:, title:,
// album:, genre:, comment:) for words of that field only; bpm:128 or bpm:120-128; key:8A or
// key:"A minor" (also Am, F#, Bb major). Every condition must hold. Case and accents are folded
// by the text index itself, the same way for the words typed and the words stored. Pure; any
// thread.
#pragma once

#include <QString>
#include <optional>
#include <vector>

namespace kelvra::library {

// One text condition typed: a word or quoted phrase, in one field or any.
struct TextTerm {
    QString field;  // lower case; empty for every text field
    QString value;  // as typed
    QString words;  // its part of `match`: the word starts it finds in the text index
    bool quoted = false;
};

// A term of this many letters or more, unquoted, is also found inside words ("amura" in
// "Nakamura"); shorter ones would find too much to help, and stay word starts.
inline constexpr int kFewestInside = 3;

struct SearchQuery {
    // An FTS5 match expression over the text index: every term at a word's start; empty when no
    // words were typed.
    QString match;
    // The terms `match` is made of, in the order typed, for the index of fragments.
    std::vector<TextTerm> terms;
    // When the words are one letter or digit alone, unquoted and in no field: its bit in the
    // songs' initials (TextInitials.h), which match exactly the songs `match` does; else -1.
    int initial = -1;
    // The tempo range, inclusive at both ends. A whole number typed covers every tempo shown
    // as that number (128 is 127.5 to 128.5, halves going to the even neighbour).
    std::optional<double> bpmLow, bpmHigh;
    // 0..23 as KeyNames.h numbers them; kNoMatchingKey when two different keys were asked for.
    std::optional<int> key;
    // Why the query cannot be read ("bpm takes ..."); then nothing matches.
    QString error;
};

inline constexpr int kNoMatchingKey = -2;

SearchQuery parseSearchQuery(const QString& text);

// A key as the DJ writes it: on the wheel ("8A", "12b") or by name ("A minor", "Am", "F#",
// "Bb major", "ebm"). Case and spaces do not matter. None when it names no key.
std::optional<int> parseKey(const QString& text);

}  // namespace kelvra::library
