// The search box's language read into index conditions: words as prefixes, phrases, fields,
// tempo ranges and keys, and what is refused.
#include "library/SearchQuery.h"

#include <gtest/gtest.h>

namespace kelvra::library {
namespace {

std::string matchOf(const char* text) {
    const SearchQuery query = parseSearchQuery(QString::fromUtf8(text));
    EXPECT_TRUE(query.error.isEmpty()) << text << ": " << query.error.toStdString();
    return query.match.toStdString();
}

TEST(SearchQuery, WordsArePrefixesAndPhrasesFieldsAndQuotesAreKeptWhole) {
    EXPECT_EQ(matchOf(""), "");
    EXPECT_EQ(matchOf("   "), "");
    EXPECT_EQ(matchOf("daft"), "\"daft\"*");
    EXPECT_EQ(matchOf("  daft   punk "), "\"daft\"* \"punk\"*");
    EXPECT_EQ(matchOf("\"one more time\""), "\"one more time\"");
    EXPECT_EQ(matchOf("\"unclosed phrase"), "\"unclosed phrase\"");
    EXPECT_EQ(matchOf("artist:daft"), "artist : \"daft\"*");
    EXPECT_EQ(matchOf("TITLE:\"one more\" genre:house"), "title : \"one more\" genre : \"house\"*");
    // A quote inside a word is doubled, so it cannot end the index's string early.
    EXPECT_EQ(matchOf("rock'n\"roll"), "\"rock'n\"\"roll\"*");
    // A name that is no field keeps its colon as part of the words.
    EXPECT_EQ(matchOf("12:30"), "\"12:30\"*");
    EXPECT_EQ(matchOf("mix:"), "\"mix:\"*");
    // Punctuation alone matches nothing and is dropped rather than sent to the index.
    EXPECT_EQ(matchOf("- & daft"), "\"daft\"*");
    EXPECT_EQ(matchOf("artist:"), "");
}

TEST(SearchQuery, UnicodeTextReachesTheIndexUnchangedForItToFold) {
    // Case and accents are folded by the index on both sides, so the parser must not fold them
    // differently (a lower-cased "İ" would no longer match what the index made of it).
    EXPECT_EQ(matchOf("Beyoncé"), "\"Beyoncé\"*");
    EXPECT_EQ(matchOf("ARTIST:ÉTÉ"), "artist : \"ÉTÉ\"*");
    EXPECT_EQ(matchOf("Ärzte İstanbul"), "\"Ärzte\"* \"İstanbul\"*");
    EXPECT_EQ(matchOf("東京"), "\"東京\"*");
}

TEST(SearchQuery, TempoIsAWholeNumberRoundedHalfToEvenOrARange) {
    SearchQuery query = parseSearchQuery("bpm:128");
    EXPECT_EQ(query.bpmLow, 127.5);
    EXPECT_EQ(query.bpmHigh, 128.5);
    EXPECT_TRUE(query.match.isEmpty());
    query = parseSearchQuery("house bpm:120-128");
    EXPECT_EQ(query.bpmLow, 119.5);
    EXPECT_EQ(query.bpmHigh, 128.5);
    EXPECT_EQ(query.match, "\"house\"*");
    query = parseSearchQuery("bpm:128-120");  // backwards is the same range
    EXPECT_EQ(query.bpmLow, 119.5);
    EXPECT_EQ(query.bpmHigh, 128.5);
    query = parseSearchQuery("bpm:127.25-127.75");  // fractions are exact
    EXPECT_EQ(query.bpmLow, 127.25);
    EXPECT_EQ(query.bpmHigh, 127.75);
    query = parseSearchQuery("bpm:120-130 bpm:125-140");  // both must hold
    EXPECT_EQ(query.bpmLow, 124.5);
    EXPECT_EQ(query.bpmHigh, 130.5);
    for (const char* bad :
         {"bpm:", "bpm:fast", "bpm:120-", "bpm:1-2-3", "bpm:-5", "bpm:nan", "bpm:1e9", "bpm:inf"}) {
        query = parseSearchQuery(bad);
        EXPECT_FALSE(query.error.isEmpty()) << bad;
    }
}

TEST(SearchQuery, KeysOnTheWheelOrByNameInAnyCase) {
    // 9 + 12: A minor; 0: C major; 6 + 12: F# minor; 10: Bb major; 11: B major; 23: B minor.
    const std::pair<const char*, int> cases[] = {
        {"8A", 21},  {"8a", 21},  {"A minor", 21},  {"am", 21},       {"Amin", 21},
        {"8B", 0},   {"C", 0},    {"c major", 0},   {"CMAJ", 0},      {"11A", 18},
        {"F#m", 18}, {"Gbm", 18}, {"Bb", 10},       {"bb major", 10}, {"B", 11},
        {"bm", 23},  {"Bbm", 22}, {"C♯ minor", 13}, {"12b", 4},       {"1A", 20},
    };
    for (const auto& [text, key] : cases)
        EXPECT_EQ(parseKey(QString::fromUtf8(text)), key) << text;
    for (const char* bad : {"", "13A", "0A", "H", "8C", "A moll", "C##"})
        EXPECT_FALSE(parseKey(QString::fromUtf8(bad))) << bad;

    EXPECT_EQ(parseSearchQuery("key:8A").key, 21);
    EXPECT_EQ(parseSearchQuery("key:\"A minor\" techno").key, 21);
    // Unquoted, the mode may follow as the next word; a word that is no mode stays a word.
    SearchQuery query = parseSearchQuery("key:A minor deep");
    EXPECT_EQ(query.key, 21);
    EXPECT_EQ(query.match, "\"deep\"*");
    query = parseSearchQuery("key:A house");
    EXPECT_EQ(query.key, 9);
    EXPECT_EQ(query.match, "\"house\"*");
    EXPECT_EQ(parseSearchQuery("key:8A key:8B").key, kNoMatchingKey);
    EXPECT_EQ(parseSearchQuery("key:8A key:am").key, 21);
    EXPECT_FALSE(parseSearchQuery("key:Z").error.isEmpty());
}

}  // namespace
}  // namespace kelvra::library
