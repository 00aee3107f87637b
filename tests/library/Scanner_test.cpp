// Scanning real folders of song files into a real library: each format's tags by its reader,
// unchanged files skipped, changed ones read again, moved ones keeping their rows, hostile tags
// stored bounded and clean, and the analysis cache's results taken without analysing.
#include "library/Scanner.h"

#include <gtest/gtest.h>

#include <utime.h>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "audio/CreateAudioLibrary.h"
#include "audio/analysis/AnalysisCache.h"
#include "library/Library.h"
#include "library/SearchQuery.h"
#include "library/SongStore.h"
#include "library/SongTags.h"
#include "support/AudioFixtures.h"
#include "support/SongFiles.h"

namespace kelvra::library {
namespace {

using test::Frame;

class Scan : public ::testing::Test {
  protected:
    QString music(const QString& name) const { return dir_.filePath("music/" + name); }
    QString dbPath() const { return dir_.filePath("library.sqlite"); }
    ScanCounts scan(Library& library, const audio::analysis::AnalysisCache* cache = nullptr) {
        Scanner scanner(library, *tags_, cache);
        EXPECT_TRUE(scanner.scan({dir_.filePath("music")})) << scanner.failure().toStdString();
        return scanner.counts();
    }
    QTemporaryDir dir_;
    std::unique_ptr<audio::AudioLibrary> tags_ = audio::createAudioLibrary();
};

TEST_F(Scan, EachFormatIsReadByItsReaderAndNothingButSongsIsTaken) {
    ASSERT_TRUE(
        test::writeTaggedMp3(music("a/one.mp3"), "Röyksopp", "Eple", "Melody A.M.", "(52)"));
    // An ID3v1 block only, its fields NUL-padded with leftovers after the NUL.
    ASSERT_TRUE(test::writeSongFile(
        music("a/b/two.MP3"), {}, 2000, 2,
        test::id3v1Block("Title1", QByteArray("Art\0junk", 8), "Alb", "Comm", 4)));
    // A comment frame: language and description are not part of the text.
    ASSERT_TRUE(test::writeSongFile(music("a/three.mp3"),
                                    test::id3v2Tag({{"TIT2", test::utf16Text("With comment")},
                                                    {"COMM", test::commentText("Great opener")}}),
                                    1000, 3));
    const std::string wav = music("four.wav").toStdString();
    ASSERT_TRUE(test::writeWav(wav, test::sine(44100, 2, 0.5, 440), 44100, 2));
    {
        QFile file(music("four.wav"));
        ASSERT_TRUE(file.open(QIODevice::Append));
        file.write(test::id3v1Block("Wave", "Sine", "", "", 255));
    }
    for (const char* name : {"five.flac", "six.ogg", "seven.opus", "eight.m4a", "nine.aiff"}) {
        std::vector<std::string> args = {"-metadata", "artist=Encoder",
                                         "-metadata", std::string("title=") + name,
                                         "-metadata", "genre=Test"};
        // AIFF keeps its tags in an ID3 chunk, which ffmpeg writes only when asked.
        if (QString(name).endsWith("aiff")) args.insert(args.end(), {"-write_id3v2", "1"});
        ASSERT_TRUE(test::ffmpegEncode(wav, music(name).toStdString(), args)) << name;
    }
    ASSERT_TRUE(test::ffmpegEncode(wav, music("ten.wma").toStdString(),
                                   {"-metadata", "artist=Windows", "-metadata", "title=Media"}));
    test::writeSongFile(music("cover.jpg"), {}, 100, 1);
    test::writeSongFile(music("notes.txt"), {}, 100, 1);
    QDir().mkpath(music("folder.mp3"));  // a folder named like a song is no song

    Library library(dbPath());
    const ScanCounts counts = scan(library);
    EXPECT_EQ(counts.found, 10);
    EXPECT_EQ(counts.added, 10);
    EXPECT_EQ(counts.stored, 10);
    const SongRow one = *library.song(music("a/one.mp3"));
    EXPECT_EQ(one.artist, "Röyksopp");
    EXPECT_EQ(one.title, "Eple");
    EXPECT_EQ(one.album, "Melody A.M.");
    EXPECT_EQ(one.genre, "Electronic");  // ID3v1 genre 52, by its name
    const SongRow two = *library.song(music("a/b/two.MP3"));
    EXPECT_EQ(two.title, "Title1");
    EXPECT_EQ(two.artist, "Art");
    EXPECT_EQ(two.comment, "Comm");
    EXPECT_EQ(two.genre, "Disco");
    EXPECT_EQ(library.song(music("a/three.mp3"))->comment, "Great opener");
    const SongRow four = *library.song(music("four.wav"));
    EXPECT_EQ(four.title, "Wave");
    EXPECT_EQ(four.artist, "Sine");
    EXPECT_NEAR(four.seconds, 0.5, 0.01);
    for (const char* name : {"five.flac", "six.ogg", "seven.opus", "eight.m4a", "nine.aiff"}) {
        const SongRow song = *library.song(music(name));
        EXPECT_EQ(song.artist, "Encoder") << name;
        EXPECT_EQ(song.genre, "Test") << name;
        EXPECT_EQ(song.title, name);
        EXPECT_NEAR(song.seconds, 0.5, 0.05) << name;
    }
    const SongRow ten = *library.song(music("ten.wma"));
    EXPECT_EQ(ten.artist, "Windows");
    EXPECT_EQ(ten.title, "Media");
    EXPECT_FALSE(library.song(music("cover.jpg")));
}

TEST_F(Scan, UnchangedFilesAreSkippedChangedOnesReadAgainAndMovedOnesKeepTheirRows) {
    ASSERT_TRUE(test::writeTaggedMp3(music("keep.mp3"), "Same", "Unchanged", {}, {}, 1));
    ASSERT_TRUE(test::writeTaggedMp3(music("edit.mp3"), "Before", "Edit", {}, {}, 2));
    ASSERT_TRUE(test::writeTaggedMp3(music("old/move.mp3"), "Mover", "Moved", {}, {}, 3));
    ASSERT_TRUE(test::writeTaggedMp3(music("copy.mp3"), "Copied", "Copy", {}, {}, 4));
    std::int64_t movedId = 0;
    {
        Library library(dbPath());
        EXPECT_EQ(scan(library).added, 4);
        movedId = library.song(music("old/move.mp3"))->id;
        library.addHeard(music("old/move.mp3"), 1000);
        ASSERT_TRUE(library.writer().flush());
    }
    SongStore(dbPath()).setHotCue(music("old/move.mp3"), 3, 4444);

    // Re-tagged with the same size: the changed time tells.
    ASSERT_TRUE(test::writeTaggedMp3(music("edit.mp3"), "Aftera", "Edit", {}, {}, 2));
    const QByteArray edit = QFile::encodeName(music("edit.mp3"));
    const struct utimbuf later { 2000000000, 2000000000 };
    ASSERT_EQ(::utime(edit.constData(), &later), 0);
    ASSERT_TRUE(QDir().mkpath(music("new")));
    ASSERT_TRUE(QFile::rename(music("old/move.mp3"), music("new/renamed.mp3")));
    ASSERT_TRUE(QFile::copy(music("copy.mp3"), music("copy of copy.mp3")));

    Library library(dbPath());
    const ScanCounts counts = scan(library);
    EXPECT_EQ(counts.found, 5);
    EXPECT_EQ(counts.unchanged, 2);  // keep.mp3, copy.mp3
    EXPECT_EQ(counts.updated, 1);
    EXPECT_EQ(counts.moved, 1);
    EXPECT_EQ(counts.added, 1);  // the copy: both files are there, so it is another song
    EXPECT_EQ(library.song(music("edit.mp3"))->artist, "Aftera");
    EXPECT_FALSE(library.song(music("old/move.mp3")));
    const SongRow moved = *library.song(music("new/renamed.mp3"));
    EXPECT_EQ(moved.id, movedId);
    EXPECT_EQ(moved.playCount, 1);
    EXPECT_EQ(library.history().front().path, music("new/renamed.mp3"));
    EXPECT_EQ(SongStore(dbPath()).hotCues(music("new/renamed.mp3"))[3], 4444);
    EXPECT_EQ(library.songCount(), 5);
    EXPECT_EQ(scan(library).unchanged, 5);
}

// What a search for `text` lists, by path.
std::vector<QString> listed(const Library& library, const QString& text) {
    std::vector<QString> paths;
    for (const SongRow& song : library.search(parseSearchQuery(text)))
        paths.push_back(song.path);
    return paths;
}

TEST_F(Scan, AFileGoneFromAScannedFolderIsMarkedMissingAndListedAgainWhenItComesBack) {
    ASSERT_TRUE(test::writeTaggedMp3(music("a/gone.mp3"), "Leaver", "Gone", {}, {}, 1));
    ASSERT_TRUE(test::writeTaggedMp3(music("a/stays.mp3"), "Stayer", "Stays", {}, {}, 2));
    ASSERT_TRUE(test::writeTaggedMp3(music("b/other.mp3"), "Leaver", "Elsewhere", {}, {}, 3));
    Library library(dbPath());
    EXPECT_EQ(scan(library).added, 3);
    const std::int64_t id = library.song(music("a/gone.mp3"))->id;
    library.addHeard(music("a/gone.mp3"), 1000);
    ASSERT_TRUE(library.writer().flush());
    ASSERT_TRUE(SongStore(dbPath()).setHotCue(music("a/gone.mp3"), 1, 777));

    // Kept aside, then deleted: a scan of its folder alone finds it gone and leaves the
    // other folder's songs as they were.
    const QString aside = dir_.filePath("aside.mp3");
    ASSERT_TRUE(QFile::copy(music("a/gone.mp3"), aside));
    ASSERT_TRUE(QFile::remove(music("a/gone.mp3")));
    ASSERT_TRUE(QFile::remove(music("b/other.mp3")));
    Scanner scanner(library, *tags_, nullptr);
    ASSERT_TRUE(scanner.scan({music("a")}));
    EXPECT_EQ(scanner.counts().missing, 1);
    EXPECT_EQ(scanner.counts().unchanged, 1);
    EXPECT_EQ(listed(library, "leaver"), std::vector<QString>{music("b/other.mp3")});
    const SongRow gone = *library.song(music("a/gone.mp3"));
    EXPECT_EQ(gone.id, id);
    EXPECT_TRUE(gone.missingSince);
    EXPECT_EQ(library.history().size(), 1u);
    // A second scan keeps the time it was first found gone, and counts nothing new.
    ASSERT_TRUE(scanner.scan({music("a")}));
    EXPECT_EQ(scanner.counts().missing, 0);
    EXPECT_EQ(library.song(music("a/gone.mp3"))->missingSince, gone.missingSince);

    // A folder that is not there at all (a drive not plugged in) says nothing of what is gone
    // from it: its songs stay listed.
    ASSERT_TRUE(QDir(music("b")).removeRecursively());
    ASSERT_TRUE(scanner.scan({music("b")}));
    EXPECT_EQ(scanner.counts().missing, 0);
    EXPECT_FALSE(scanner.problems().isEmpty());
    EXPECT_FALSE(library.song(music("b/other.mp3"))->missingSince);

    // Put back byte for byte with its old time: read again all the same, listed again.
    ASSERT_TRUE(QFile::rename(aside, music("a/gone.mp3")));
    ASSERT_TRUE(scanner.scan({music("a")}));
    EXPECT_EQ(scanner.counts().updated, 1);
    const SongRow back = *library.song(music("a/gone.mp3"));
    EXPECT_EQ(back.id, id);
    EXPECT_FALSE(back.missingSince);
    EXPECT_EQ(listed(library, "gone"), std::vector<QString>{music("a/gone.mp3")});

    // Gone, then found under another name elsewhere: the same row, its cue and history.
    ASSERT_TRUE(QFile::rename(music("a/gone.mp3"), aside));
    ASSERT_TRUE(scanner.scan({music("a")}));
    EXPECT_EQ(scanner.counts().missing, 1);
    ASSERT_TRUE(QDir().mkpath(music("c")));
    ASSERT_TRUE(QFile::rename(aside, music("c/found.mp3")));
    ASSERT_TRUE(scanner.scan({music("c")}));
    EXPECT_EQ(scanner.counts().moved, 1);
    const SongRow found = *library.song(music("c/found.mp3"));
    EXPECT_EQ(found.id, id);
    EXPECT_FALSE(found.missingSince);
    EXPECT_EQ(found.playCount, 1);
    EXPECT_EQ(SongStore(dbPath()).hotCues(music("c/found.mp3"))[1], 777);
    EXPECT_EQ(library.songCount(), 3);
}

// True when `text` is valid text without control characters or half surrogate pairs (bytes that
// were no text at all may have become U+FFFD, which is text).
bool isCleanText(const QString& text) {
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c.unicode() < 0x20 || (c.unicode() >= 0x7F && c.unicode() < 0xA0)) return false;
        if (c.isHighSurrogate() && (i + 1 >= text.size() || !text[++i].isLowSurrogate()))
            return false;
        if (c.isLowSurrogate()) return false;
    }
    return true;
}

TEST_F(Scan, HostileTagsAreStoredBoundedAndAsValidText) {
    QByteArray binary(1, '\0');  // Latin-1 text of every byte value
    for (int b = 1; b < 256; ++b)
        binary += char(b);
    QByteArray loneSurrogates("\x01\xFF\xFE", 3);
    loneSurrogates += QByteArray(
        "A\0\x00\xD8"
        "B\0\x00\xDC\x3D\xD8"
        "C\0",
        12);
    ASSERT_TRUE(test::writeSongFile(
        music("hostile.mp3"),
        test::id3v2Tag({{"TIT2", test::utf16Text(QString(200000, u'x'))},
                        {"TPE1", binary},
                        {"TALB", loneSurrogates},
                        {"TCON", QByteArray("\x03\xC3\x28\xE2\x82\xFF", 6)},  // broken UTF-8
                        {"COMM", test::commentText(QString(100000, u'\u00E9'))}}),
        1000, 5));
    // A tag whose size claims far more than the file holds.
    QByteArray lying = test::id3v2Tag({{"TIT2", test::utf16Text("Liar")}});
    lying[6] = lying[7] = lying[8] = lying[9] = 0x7F;
    ASSERT_TRUE(test::writeSongFile(music("lying.mp3"), lying, 100, 6));
    Library library(dbPath());
    EXPECT_EQ(scan(library).added, 2);
    const SongRow song = *library.song(music("hostile.mp3"));
    EXPECT_EQ(song.title, QString(kTagTextLimit, u'x'));
    EXPECT_EQ(song.comment, QString(kCommentLimit, u'\u00E9'));
    // NUL, the other C0 controls, DEL and the five bytes Windows-1252 leaves undefined (read as
    // C1 controls) are gone, and the space that then leads is trimmed.
    EXPECT_EQ(song.artist.size(), 256 - 1 - 31 - 1 - 5 - 1);
    EXPECT_TRUE(song.artist.endsWith(u'\u00FF'));
    EXPECT_EQ(song.album, "ABC");
    for (const QString& text : {song.artist, song.title, song.album, song.genre, song.comment})
        EXPECT_TRUE(isCleanText(text)) << text.toStdString();
    EXPECT_TRUE(library.song(music("lying.mp3")));
    // The bound never splits a pair: a character beyond the plane is whole or absent.
    const QString pairs = QString::fromUcs4(U"\U0001F3B5\U0001F3B5\U0001F3B5");
    EXPECT_EQ(boundedTagText(pairs, 2), QString::fromUcs4(U"\U0001F3B5\U0001F3B5"));
    EXPECT_EQ(boundedTagText(QStringLiteral("  a\tb\u0085\uFFFE\uFDD0c  ")), "abc");
}

TEST_F(Scan, TempoKeyAndLoudnessComeFromTheAnalysisCacheWhenItHasTheFile) {
    ASSERT_TRUE(test::writeTaggedMp3(music("known.mp3"), "Analysed", "Song", {}, {}, 7));
    ASSERT_TRUE(test::writeTaggedMp3(music("new.mp3"), "Never", "Analysed", {}, {}, 8));
    const audio::analysis::AnalysisCache cache(dir_.filePath("cache"));
    audio::analysis::SongAnalysis analysis;
    analysis.bpm = 124.5;
    analysis.firstBeatSeconds = 0.25;
    analysis.lufs = -9.5;
    analysis.key = 21;
    analysis.seconds = 301;
    ASSERT_TRUE(cache.store(music("known.mp3").toStdString(), analysis));
    Library library(dbPath());
    scan(library, &cache);
    const SongRow known = *library.song(music("known.mp3"));
    EXPECT_EQ(known.bpm, 124.5);
    EXPECT_EQ(known.firstBeat, 0.25);
    EXPECT_EQ(known.loudness, -9.5);
    EXPECT_EQ(known.key, 21);
    EXPECT_EQ(known.seconds, 301);
    const SongRow fresh = *library.song(music("new.mp3"));
    EXPECT_FALSE(fresh.bpm);
    EXPECT_FALSE(fresh.loudness);
    EXPECT_EQ(fresh.key, -1);
    // Nothing was analysed to get there: the cache holds only what was put in it.
    EXPECT_EQ(QDir(dir_.filePath("cache")).entryList(QDir::Files).size(), 1);
}

}  // namespace
}  // namespace kelvra::library
