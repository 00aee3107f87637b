// Exact lengths, gapless MP3 output and sample-exact seeking, for every format the decoders
// handle differently.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "audio/AudioLibrary.h"
#include "audio/DecodeFixtures.h"
#include "audio/Decoder.h"

namespace kelvra::audio::testing {
namespace {

struct Case {
    const char* name;
    std::string DecodeFixtures::*file;
    bool addon;
    int rate;
    int channels;
    bool exactToSource;  // the length equals the source's frame count
};

const Case kCases[] = {
    {"Wav", &DecodeFixtures::wav, false, 44100, 2, true},
    {"Flac", &DecodeFixtures::flac, false, 44100, 2, true},
    {"Mp3Cbr", &DecodeFixtures::mp3Cbr, false, 44100, 2, true},
    {"Mp3Vbr", &DecodeFixtures::mp3Vbr, false, 44100, 2, true},
    {"Mp3Mono22050", &DecodeFixtures::mp3Mono, false, 22050, 1, true},
    // No encoder delay stated: the length is every frame the file holds.
    {"Mp2", &DecodeFixtures::mp2, false, 44100, 2, false},
    {"Wma", &DecodeFixtures::wma, true, 44100, 2, false},
    {"Asf", &DecodeFixtures::asf, true, 44100, 2, false},
};

class DecodeExact : public ::testing::TestWithParam<Case> {
  protected:
    void SetUp() override { ASSERT_TRUE(DecodeFixtures::get().ok) << "fixtures not made"; }
    std::unique_ptr<Decoder> open() const {
        const Case& c = GetParam();
        const std::string& path = DecodeFixtures::get().*c.file;
        auto opened = c.addon ? openAddonFile(path, OpenMode::Playback)
                              : openMainFile(path, OpenMode::Playback);
        EXPECT_EQ(opened.error, kErrorOk);
        return std::move(opened.decoder);
    }
};

TEST_P(DecodeExact, LengthIsExactAndEqualsAFullDecode) {
    const Case& c = GetParam();
    auto decoder = open();
    ASSERT_TRUE(decoder);
    EXPECT_EQ(decoder->format().rate, c.rate);
    EXPECT_EQ(decoder->format().channels, c.channels);
    const std::int64_t sourceFrames = std::llround(DecodeFixtures::kSeconds * c.rate);
    if (c.exactToSource)
        EXPECT_EQ(decoder->lengthFrames(), sourceFrames);
    else  // within a codec frame or two of the source
        EXPECT_NEAR(decoder->lengthFrames(), sourceFrames, 4096);
    const auto all = readToEnd(*decoder, 999);
    EXPECT_EQ(static_cast<std::int64_t>(all.size()) / c.channels, decoder->lengthFrames());
    std::int16_t buffer[64];
    EXPECT_EQ(decoder->read(buffer, 32 / c.channels), 0) << "reads past the end give nothing";
}

TEST_P(DecodeExact, SeekThenReadContinuesExactlyAsAFullDecode) {
    const Case& c = GetParam();
    auto reference = open();
    ASSERT_TRUE(reference);
    const auto full = readToEnd(*reference, 4096);
    const std::int64_t length = reference->lengthFrames();
    ASSERT_EQ(static_cast<std::int64_t>(full.size()), length * c.channels);

    auto decoder = open();
    ASSERT_TRUE(decoder);
    // The start, codec frame edges and mid-frame positions, near the preroll distance, the
    // middle (forwards and backwards), the last frame and the end.
    const std::int64_t positions[] = {length / 2, 0,      1,          575,        1151,
                                      1152 + 333, 4608,   4609 + 700, length / 3, length / 2 + 1,
                                      length - 1, length, 17};
    std::vector<std::int16_t> buffer(2048 * 2);
    for (const std::int64_t position : positions) {
        SCOPED_TRACE("position " + std::to_string(position));
        ASSERT_TRUE(decoder->seek(position));
        // An odd first read, then the rest to the end: all of it lines up with the full decode.
        std::int64_t got = 0;
        for (std::int64_t chunk = 333; position + got < length; chunk = 2048) {
            const std::int64_t n = decoder->read(buffer.data(), chunk);
            ASSERT_GT(n, 0) << "after " << got << " frames";
            ASSERT_TRUE(std::equal(buffer.begin(), buffer.begin() + n * c.channels,
                                   full.begin() + (position + got) * c.channels))
                << "frames " << got << " to " << got + n << " after the position differ";
            got += n;
        }
        EXPECT_EQ(decoder->read(buffer.data(), 16), 0);
    }
    // Short hops while playing: a little ahead, a little back, and to where it already is.
    auto expectAt = [&](std::int64_t position, std::int64_t frames) {
        SCOPED_TRACE("hop to " + std::to_string(position));
        ASSERT_TRUE(decoder->seek(position));
        ASSERT_EQ(decoder->read(buffer.data(), frames), frames);
        ASSERT_TRUE(std::equal(buffer.begin(), buffer.begin() + frames * c.channels,
                               full.begin() + position * c.channels));
    };
    for (const std::int64_t start : {std::int64_t{5000}, length / 4}) {
        expectAt(start, 100);
        expectAt(start + 800, 1000);
        expectAt(start + 1790, 10);
        expectAt(start + 1800, 1000);
        expectAt(start + 2800, 1000);
    }
    // Seeking beyond the end clamps to it.
    ASSERT_TRUE(decoder->seek(length + 100000));
    EXPECT_EQ(decoder->read(buffer.data(), 16), 0);
}

INSTANTIATE_TEST_SUITE_P(Formats, DecodeExact, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

// The encoder's delay and padding never reach the output: the decoded MP3 lines up with the
// source sine at lag 0, not at the delay of a decoder that keeps them.
TEST(DecodeMp3, OutputIsAlignedWithTheSource) {
    const auto& fixtures = DecodeFixtures::get();
    ASSERT_TRUE(fixtures.ok);
    for (const auto* path : {&fixtures.mp3Cbr, &fixtures.mp3Vbr, &fixtures.mp3Mono}) {
        SCOPED_TRACE(*path);
        auto opened = openMainFile(*path, OpenMode::Playback);
        ASSERT_TRUE(opened.decoder);
        const auto decoded = readToEnd(*opened.decoder);
        const auto& source = path == &fixtures.mp3Mono ? fixtures.mono : fixtures.stereo;
        ASSERT_EQ(decoded.size(), source.size());
        auto error = [&](std::size_t lag) {
            double sum = 0;
            for (std::size_t i = 4000; i + lag < source.size() - 4000; ++i) {
                const double d = double(decoded[i + lag]) - source[i];
                sum += d * d;
            }
            return sum;
        };
        // Off by one frame the error already more than doubles; off by the encoder and decoder
        // delays it is the error of two unrelated waves.
        const std::size_t channels = path == &fixtures.mp3Mono ? 1 : 2;
        const double atZero = error(0);
        EXPECT_LT(atZero, error(channels) / 2);
        EXPECT_LT(atZero, error(1105 * channels) / 10);
    }
}

}  // namespace
}  // namespace kelvra::audio::testing
