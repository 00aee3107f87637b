// MP3 files that are not clean: junk before the first frame, tags at the end, damage and cuts.
// Whatever the file holds, the decoder gives exactly lengthFrames() frames and never reads
// outside the file (the sanitizer build checks that).
#include <gtest/gtest.h>

#include <QFile>
#include <fstream>
#include <random>

#include "audio/AudioLibrary.h"
#include "audio/DecodeFixtures.h"
#include "audio/decode/Mp3Frames.h"

namespace kelvra::audio::testing {
namespace {

// Where the first audio frame starts: after the ID3v2 tag FFmpeg writes and the Info frame.
std::size_t firstFrameAt(const std::string& bytes) {
    const auto tag = 10 + (std::size_t(bytes[6]) << 21 | std::size_t(bytes[7]) << 14 |
                           std::size_t(bytes[8]) << 7 | std::size_t(bytes[9]));
    return tag;
}

TEST(DecodeMp3Frames, JunkAndTrailingTagsDoNotChangeTheLength) {
    const auto& fixtures = DecodeFixtures::get();
    ASSERT_TRUE(fixtures.ok);
    QTemporaryDir dir;
    const std::string clean = readFile(fixtures.mp3Cbr);
    const std::size_t at = firstFrameAt(clean);
    std::string ape = "APETAGEX" + std::string(4, '\0');
    ape += std::string("\x20\0\0\0", 4) + std::string(4, '\0') + std::string(4, '\0');
    ape.resize(32, '\0');                   // a footer-only APEv2 tag of 32 bytes
    std::string id3v1 = "TAG\xFF\xFB\x90";  // a frame sync inside the tag must not count
    id3v1.resize(128, '\0');
    const std::string messy =
        clean.substr(0, at) + std::string(3000, '\0') + clean.substr(at) + ape + id3v1;
    auto opened = openMainFile(writeFile(dir, "messy.mp3", messy), OpenMode::Playback);
    ASSERT_TRUE(opened.decoder);
    EXPECT_EQ(opened.decoder->lengthFrames(), std::llround(DecodeFixtures::kSeconds * 44100));
    EXPECT_EQ(opened.tags, id3v1);
    auto reference = openMainFile(fixtures.mp3Cbr, OpenMode::Playback);
    const auto expected = readToEnd(*reference.decoder);
    EXPECT_EQ(readToEnd(*opened.decoder), expected);

    // No ID3v2 tag and junk first: no signature at the start, the probe finds the frames.
    const std::string untagged = std::string(1000, '\0') + clean.substr(at);
    for (const OpenMode mode : {OpenMode::TagsOnly, OpenMode::Playback})
        EXPECT_EQ(openMainFile(writeFile(dir, "untagged.mp3", untagged), mode).error, kErrorOk);
    opened = openMainFile(writeFile(dir, "untagged.mp3", untagged), OpenMode::Playback);
    ASSERT_TRUE(opened.decoder);
    EXPECT_EQ(readToEnd(*opened.decoder), expected);
}

// An APEv2 footer whose stated size reaches back past the first frame is not a tag: indexing
// once sized its frame list from the negative gap and died of the allocation.
TEST(DecodeMp3Frames, ATrailingTagThatOverlapsTheFramesIsNotTrusted) {
    std::vector<std::uint8_t> file(10, 0);
    for (int i = 0; i < 2; ++i) {  // two 417-byte frames: MPEG-1 Layer III, 128 kbit/s, 44.1 kHz
        const std::size_t at = file.size();
        file.resize(at + 417, 0);
        file[at] = 0xFF, file[at + 1] = 0xFB, file[at + 2] = 0x90;
    }
    const std::uint32_t claimed = static_cast<std::uint32_t>(file.size() + 32 - 5);
    const std::string footer = "APETAGEX";
    file.insert(file.end(), footer.begin(), footer.end());
    file.resize(file.size() + 24, 0);
    for (int b = 0; b < 4; ++b)
        file[file.size() - 20 + b] = claimed >> (8 * b) & 0xFF;
    const auto index = decode::indexMp3(file);
    ASSERT_TRUE(index);
    EXPECT_EQ(index->frameCount(), 2);
}

TEST(DecodeMp3Frames, DamagedAndCutFilesDecodeToTheirStatedLength) {
    const auto& fixtures = DecodeFixtures::get();
    ASSERT_TRUE(fixtures.ok);
    QTemporaryDir dir;
    const std::string clean = readFile(fixtures.mp3Vbr);
    const unsigned seed = 99;
    std::mt19937 random(seed);
    for (int round = 0; round < 40; ++round) {
        SCOPED_TRACE("seed " + std::to_string(seed) + " round " + std::to_string(round));
        std::string damaged = clean;
        const int changes = 1 + static_cast<int>(random() % 20);
        for (int i = 0; i < changes; ++i)
            damaged[random() % damaged.size()] = static_cast<char>(random());
        if (round % 3 == 0) damaged.resize(random() % damaged.size());
        const std::string path = writeFile(dir, "damaged.mp3", damaged);
        auto opened = openMainFile(path, OpenMode::Playback);
        if (!opened.decoder) {
            EXPECT_NE(opened.error, kErrorOk);
            continue;
        }
        const auto samples = readToEnd(*opened.decoder, 777);
        EXPECT_EQ(static_cast<std::int64_t>(samples.size()),
                  opened.decoder->lengthFrames() * opened.decoder->format().channels);
        opened.decoder->seek(opened.decoder->lengthFrames() / 2);
        readToEnd(*opened.decoder);
    }
}

}  // namespace
}  // namespace kelvra::audio::testing
