#include <gtest/gtest.h>

#include "tags/GenreTable.h"
#include "tags/TagText.h"

using namespace kelvra::tags;

TEST(TagText, CleanTagTextDropsControlCharactersAndTrimsOnlySpaces) {
    EXPECT_EQ(cleanTagText(QString()), QString());
    EXPECT_EQ(cleanTagText(QStringLiteral(" a\tb ")), QStringLiteral("ab"));
    EXPECT_EQ(cleanTagText(QString::fromLatin1("Title\0\0\0", 8)), QStringLiteral("Title"));
    EXPECT_EQ(cleanTagText(QString::fromLatin1("\0  Song \r\n", 10)), QStringLiteral("Song"));
    EXPECT_EQ(removeNulls(QStringLiteral("  x  ")), QStringLiteral("x"));
    // Only spaces are trimmed; a NBSP (above 31) stays.
    EXPECT_EQ(trimSpaces(QStringLiteral("\u00A0a ")), QStringLiteral("\u00A0a"));
}

TEST(TagText, SingleByteTextUsesWindows1252AboveLatin1Controls) {
    EXPECT_EQ(decodeSingleByte("\x80\x93\x94\xe9\xff\x81"),
              QStringLiteral("\u20AC\u201C\u201D\u00E9\u00FF\u0081"));
    EXPECT_EQ(decodeSingleByte(std::string_view("a\0b", 3)).size(), 3);
    EXPECT_EQ(encodeSingleByte(QStringLiteral("\u20AC\u00E9A\u4E2D")), std::string("\x80\xe9"
                                                                                   "A?"));
    // ansiPointerToText stops at the first NUL.
    EXPECT_EQ(ansiPointerToText(std::string_view("TAGab\0cd", 8)), QStringLiteral("TAGab"));
    EXPECT_EQ(ansiPointerToText({}), QString());
}

TEST(TagText, GenreTableHas148NamesInOrder) {
    ASSERT_EQ(genreTable().size(), 148);
    EXPECT_EQ(genreName(0), QStringLiteral("Blues"));
    EXPECT_EQ(genreName(79), QStringLiteral("Hard Rock"));
    EXPECT_EQ(genreName(80), QStringLiteral("Folk"));
    EXPECT_EQ(genreName(147), QStringLiteral("Synth Pop"));
    EXPECT_EQ(genreName(148), QString());
    EXPECT_EQ(genreName(255), QString());
}
