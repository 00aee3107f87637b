// Which side opens which file, the error codes of failed opens, tag blocks, and opening for
// tags only.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <fstream>
#include <random>

#include "audio/AudioLibrary.h"
#include "audio/DecodeFixtures.h"

namespace kelvra::audio::testing {
namespace {

std::string copyTo(const QTemporaryDir& dir, const std::string& from, const char* name) {
    const QString to = dir.filePath(name);
    QFile::remove(to);
    EXPECT_TRUE(QFile::copy(QString::fromStdString(from), to));
    QFile(to).setPermissions(QFile::ReadOwner | QFile::WriteOwner);
    return to.toStdString();
}

void appendBytes(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::app) << bytes;
}

const OpenMode kModes[] = {OpenMode::Playback, OpenMode::TagsOnly};

TEST(DecodeOpen, EachSideOpensOnlyItsOwnContentWhateverTheName) {
    const auto& fixtures = DecodeFixtures::get();
    ASSERT_TRUE(fixtures.ok);
    QTemporaryDir dir;
    const auto asfAsMp3 = copyTo(dir, fixtures.wma, "really-asf.mp3");
    const auto mp3AsWma = copyTo(dir, fixtures.mp3Cbr, "really-mp3.wma");
    const auto wavAsAsf = copyTo(dir, fixtures.wav, "really-wav.asf");
    for (const OpenMode mode : kModes) {
        SCOPED_TRACE(mode == OpenMode::Playback ? "playback" : "tags only");
        const bool playback = mode == OpenMode::Playback;
        for (const auto& asf : {asfAsMp3, fixtures.asf}) {
            auto addon = openAddonFile(asf, mode);
            EXPECT_EQ(addon.error, kErrorOk);
            EXPECT_EQ(addon.decoder != nullptr, playback);
            EXPECT_EQ(openMainFile(asf, mode).error, kErrorFormat);
        }
        for (const auto& other : {mp3AsWma, wavAsAsf, fixtures.flac, fixtures.mp3Mono}) {
            EXPECT_EQ(openAddonFile(other, mode).error, kErrorFormat) << other;
            auto main = openMainFile(other, mode);
            EXPECT_EQ(main.error, kErrorOk) << other;
            EXPECT_EQ(main.decoder != nullptr, playback) << other;
        }
    }
    auto mp3 = openMainFile(mp3AsWma, OpenMode::Playback);
    ASSERT_TRUE(mp3.decoder);
    EXPECT_EQ(mp3.decoder->lengthFrames(), std::llround(DecodeFixtures::kSeconds * 44100));
}

TEST(DecodeOpen, FailuresGiveTheLibraryErrorCodes) {
    const auto& fixtures = DecodeFixtures::get();
    ASSERT_TRUE(fixtures.ok);
    QTemporaryDir dir;
    const std::string missing = dir.filePath("missing.mp3").toStdString();
    const std::string empty = writeFile(dir, "empty.mp3", "");
    std::mt19937 random(7);
    std::string noise(20000, '\0');
    for (auto& byte : noise)
        byte = static_cast<char>(random() & 0x7F);  // no 0xFF, so no MPEG sync by chance
    const std::string garbage = writeFile(dir, "garbage.mp3", noise);
    const std::string text =
        writeFile(dir, "notes.wav", "Just some notes about the set list.\nNothing to hear here.\n");

    for (const OpenMode mode : kModes) {
        for (auto* open : {&openAddonFile, &openMainFile}) {
            EXPECT_EQ(open(missing, mode).error, kErrorFileOpen);
            EXPECT_EQ(open(dir.path().toStdString(), mode).error, kErrorFileOpen);
            EXPECT_EQ(open(empty, mode).error, kErrorFormat);
            EXPECT_EQ(open(garbage, mode).error, kErrorFormat);
            EXPECT_EQ(open(text, mode).error, kErrorFormat);
            EXPECT_EQ(open(garbage, mode).decoder, nullptr);
        }
    }
}

TEST(DecodeOpen, UnreadableFilesGiveFileOpenErrors) {
    const auto& fixtures = DecodeFixtures::get();
    ASSERT_TRUE(fixtures.ok);
    QTemporaryDir dir;
    // Root reads through the permission bits, so the case only counts for others.
    const auto locked = copyTo(dir, fixtures.mp3Cbr, "locked.mp3");
    QFile(QString::fromStdString(locked)).setPermissions({});
    if (access(locked.c_str(), R_OK) == 0) GTEST_SKIP() << "running with rights to read anything";
    for (const OpenMode mode : kModes) {
        EXPECT_EQ(openMainFile(locked, mode).error, kErrorFileOpen);
        EXPECT_EQ(openAddonFile(locked, mode).error, kErrorFileOpen);
    }
}

TEST(DecodeOpen, MainSideTagsAreTheRawId3v1Block) {
    const auto& fixtures = DecodeFixtures::get();
    ASSERT_TRUE(fixtures.ok);
    QTemporaryDir dir;
    const auto tagged = copyTo(dir, fixtures.mp3Vbr, "tagged.mp3");
    std::string block = "TAGSunrise";
    block.resize(128, '\0');
    block[33] = 'X';  // inside the artist field
    block[127] = 7;   // genre
    appendBytes(tagged, block);
    for (const OpenMode mode : kModes) {
        auto opened = openMainFile(tagged, mode);
        ASSERT_EQ(opened.error, kErrorOk);
        EXPECT_EQ(opened.tags, block);
        EXPECT_TRUE(openMainFile(fixtures.mp3Vbr, mode).tags.empty());
        EXPECT_TRUE(openMainFile(fixtures.wav, mode).tags.empty());
    }
    // The tag block is not audio: the length is the same as without it.
    auto opened = openMainFile(tagged, OpenMode::Playback);
    ASSERT_TRUE(opened.decoder);
    EXPECT_EQ(opened.decoder->lengthFrames(), std::llround(DecodeFixtures::kSeconds * 44100));
}

TEST(DecodeOpen, AddonSideTagsAreTheAttributeListInFileOrder) {
    const auto& fixtures = DecodeFixtures::get();
    ASSERT_TRUE(fixtures.ok);
    for (const OpenMode mode : kModes) {
        auto opened = openAddonFile(fixtures.wmaTagged, mode);
        ASSERT_EQ(opened.error, kErrorOk);
        const std::string& tags = opened.tags;
        ASSERT_GE(tags.size(), 2u);
        EXPECT_EQ(tags.back(), '\0');
        EXPECT_EQ(tags[tags.size() - 2], '\0');
        // The content description comes first in the files FFmpeg writes.
        static const char start[] = "Title:Night Drive\0Author:Ana C\xC3\xB4te";
        EXPECT_EQ(tags.compare(0, sizeof start, start, sizeof start), 0) << tags;
        EXPECT_NE(tags.find(std::string("\0WM/AlbumTitle:Lights\0", 22)), std::string::npos);
        EXPECT_NE(tags.find(std::string("\0WM/Genre:House\0", 16)), std::string::npos);
        EXPECT_LT(tags.find("Title:"), tags.find("WM/AlbumTitle:"));
        // FFmpeg stores title and author in both description objects; each is listed once.
        EXPECT_EQ(tags.find("Title:Night Drive", 1), std::string::npos) << tags;
        EXPECT_EQ(tags.find("Author:Ana", tags.find("Author:Ana") + 1), std::string::npos) << tags;
    }
    EXPECT_TRUE(openAddonFile(fixtures.wma, OpenMode::TagsOnly).tags.find("Title:") ==
                std::string::npos);
}

// Containers without a signature the sniffer knows go to libavformat's probe: a Matroska song is
// audio, a picture is not.
TEST(DecodeOpen, ContentTheSnifferDoesNotKnowIsProbed) {
    const auto& fixtures = DecodeFixtures::get();
    ASSERT_TRUE(fixtures.ok);
    QTemporaryDir dir;
    const std::string song = dir.filePath("song.mka").toStdString();
    const std::string picture = dir.filePath("cover.mp3").toStdString();
    ASSERT_TRUE(test::ffmpegEncode(fixtures.wav, song, {"-c:a", "libvorbis", "-f", "matroska"}));
    ASSERT_TRUE(test::ffmpegEncode(fixtures.wav, picture,
                                   {"-f", "lavfi", "-i", "color=c=red:s=64x64", "-map", "1:v",
                                    "-frames:v", "1", "-c:v", "png", "-f", "image2"}));
    for (const OpenMode mode : kModes) {
        EXPECT_EQ(openMainFile(song, mode).error, kErrorOk);
        EXPECT_EQ(openAddonFile(song, mode).error, kErrorFormat);
        EXPECT_EQ(openMainFile(picture, mode).error, kErrorFormat);
    }
    // Matroska states no stream duration; the length is the sum of the packet durations.
    auto opened = openMainFile(song, OpenMode::Playback);
    ASSERT_TRUE(opened.decoder);
    EXPECT_NEAR(opened.decoder->lengthFrames(), std::llround(DecodeFixtures::kSeconds * 44100),
                2048);
    EXPECT_EQ(static_cast<std::int64_t>(readToEnd(*opened.decoder).size()),
              opened.decoder->lengthFrames() * 2);
}

TEST(DecodeOpen, ChannelsBeyondTwoFoldToStereo) {
    QTemporaryDir dir;
    const std::string wav = dir.filePath("six.wav").toStdString();
    const std::string flac = dir.filePath("six.flac").toStdString();
    const auto mono = test::sine(48000, 1, 0.5, 1000.0);
    ASSERT_TRUE(test::writeWav(wav, mono, 48000, 1));
    ASSERT_TRUE(test::ffmpegEncode(wav, flac, {"-ac", "6", "-c:a", "flac"}));
    auto opened = openMainFile(flac, OpenMode::Playback);
    ASSERT_TRUE(opened.decoder);
    EXPECT_EQ(opened.decoder->format().channels, 2);
    EXPECT_EQ(opened.decoder->format().rate, 48000);
    EXPECT_EQ(opened.decoder->lengthFrames(), 24000);
    const auto samples = readToEnd(*opened.decoder);
    ASSERT_EQ(samples.size(), 48000u);
    EXPECT_GT(*std::max_element(samples.begin(), samples.end()), 4000);
}

// A header's rate and channel count are outside input: out of range they fail cleanly with the
// sample-rate error before anything is sized from them, through the engine as well.
TEST(DecodeOpen, AbsurdWavHeadersFailBeforeAnyBufferIsSized) {
    QTemporaryDir dir;
    const auto samples = test::sine(44100, 1, 0.2, 1000.0);
    struct Case {
        const char* name;
        long long rate;
        int channels;
    } cases[] = {{"huge.wav", 2147483647ll, 1},
                 {"one.wav", 1, 1},
                 {"slow.wav", 99, 1},
                 {"fast.wav", 100001, 1},
                 {"wide.wav", 44100, 200}};
    for (const Case& c : cases) {
        const std::string path = dir.filePath(c.name).toStdString();
        ASSERT_TRUE(test::writeWav(path, samples, static_cast<int>(c.rate), c.channels));
        const auto opened = openMainFile(path, OpenMode::Playback);
        EXPECT_EQ(opened.decoder, nullptr) << c.name;
        EXPECT_EQ(opened.error, kErrorFrequency) << c.name;
    }
    // The bounds themselves are playable.
    for (const int rate : {100, 100000}) {
        const std::string path = dir.filePath(QString::number(rate) + ".wav").toStdString();
        ASSERT_TRUE(test::writeWav(path, samples, rate, 1));
        const auto opened = openMainFile(path, OpenMode::Playback);
        ASSERT_TRUE(opened.decoder) << rate;
        EXPECT_EQ(opened.decoder->format().rate, rate);
    }
}

// Anything but a regular file in place of a song fails at once instead of blocking on open.
TEST(DecodeOpen, FifosAndDevicesFailWithoutBlocking) {
    QTemporaryDir dir;
    const std::string fifo = dir.filePath("f.mp3").toStdString();
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    for (const OpenMode mode : kModes) {
        for (auto* open : {&openAddonFile, &openMainFile}) {
            EXPECT_EQ(open(fifo, mode).error, kErrorFileOpen);
            EXPECT_EQ(open("/dev/zero", mode).error, kErrorFileOpen);
        }
    }
}

}  // namespace
}  // namespace kelvra::audio::testing
