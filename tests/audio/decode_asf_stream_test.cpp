// WMA decoded on demand: jumps anywhere in a longer song with changing content (block switching,
// silence, noise) land exactly where a decode from the start puts the same samples, at every
// bitrate and both codec versions, mono and stereo.
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <cmath>
#include <random>

#include "audio/AudioLibrary.h"
#include "audio/DecodeFixtures.h"
#include "support/AudioFixtures.h"

namespace kelvra::audio::testing {
namespace {

constexpr int kRate = 44100;
constexpr double kSeconds = 40;

// Tones that glide, noise bursts with sharp attacks (short blocks), and silent stretches.
std::vector<std::int16_t> restlessSong(int channels) {
    std::mt19937 random(7);
    std::uniform_real_distribution<double> noise(-1, 1);
    const auto frames = std::size_t(kSeconds * kRate);
    std::vector<std::int16_t> pcm(frames * std::size_t(channels));
    double phase = 0;
    for (std::size_t i = 0; i < frames; ++i) {
        const double t = double(i) / kRate;
        phase += 2 * M_PI * (200 + 150 * std::sin(t * 0.7)) / kRate;
        const double beat = std::fmod(t, 0.5);
        const bool silent = std::fmod(t, 9.0) > 8.0;
        double value = 0.4 * std::sin(phase);
        if (beat < 0.05) value += 0.5 * noise(random) * (1 - beat / 0.05);
        if (silent) value = 0;
        for (int c = 0; c < channels; ++c)
            pcm[i * std::size_t(channels) + std::size_t(c)] =
                std::int16_t(std::lround(value * (c ? 0.7 : 1.0) * 32767));
    }
    return pcm;
}

struct Encoding {
    const char* name;
    int channels;
    std::vector<std::string> args;
};

class AsfStreaming : public ::testing::TestWithParam<Encoding> {};

TEST_P(AsfStreaming, JumpsAnywhereMatchADecodeFromTheStart) {
    const Encoding& e = GetParam();
    QTemporaryDir dir;
    const std::string wav = dir.filePath("song.wav").toStdString();
    const std::string wma = dir.filePath("song.wma").toStdString();
    ASSERT_TRUE(test::writeWav(wav, restlessSong(e.channels), kRate, e.channels));
    ASSERT_TRUE(test::ffmpegEncode(wav, wma, e.args));

    auto reference = openAddonFile(wma, OpenMode::Playback);
    ASSERT_TRUE(reference.decoder);
    const auto full = readToEnd(*reference.decoder, 4096);
    const std::int64_t length = reference.decoder->lengthFrames();
    ASSERT_EQ(std::int64_t(full.size()), length * e.channels);
    EXPECT_NEAR(double(length), kSeconds * kRate, 4096);

    auto opened = openAddonFile(wma, OpenMode::Playback);
    ASSERT_TRUE(opened.decoder);
    Decoder& decoder = *opened.decoder;
    std::mt19937 random(11);
    std::uniform_int_distribution<std::int64_t> anywhere(0, length - 1);
    // Far jumps both ways, near the end, and short hops after each.
    std::vector<std::int64_t> positions = {length - 3000, 9000, length / 2, 8191, length - 1};
    for (int i = 0; i < 24; ++i)
        positions.push_back(anywhere(random));
    std::vector<std::int16_t> buffer(std::size_t(4000 * e.channels));
    for (const std::int64_t start : positions) {
        for (const std::int64_t position : {start, start + 3000, start + 700}) {
            if (position >= length) continue;
            SCOPED_TRACE("position " + std::to_string(position));
            ASSERT_TRUE(decoder.seek(position));
            const std::int64_t want = std::min<std::int64_t>(4000, length - position);
            std::int64_t got = 0;
            while (got < want) {
                const std::int64_t n = decoder.read(buffer.data() + got * e.channels,
                                                    std::min<std::int64_t>(want - got, 1500));
                ASSERT_GT(n, 0);
                got += n;
            }
            ASSERT_TRUE(std::equal(buffer.begin(), buffer.begin() + want * e.channels,
                                   full.begin() + position * e.channels));
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Encodings, AsfStreaming,
    ::testing::Values(Encoding{"Wmav2Stereo128k", 2, {"-c:a", "wmav2", "-b:a", "128k"}},
                      Encoding{"Wmav2Stereo32k", 2, {"-c:a", "wmav2", "-b:a", "32k"}},
                      Encoding{"Wmav2Mono48k", 1, {"-c:a", "wmav2", "-b:a", "48k"}},
                      Encoding{"Wmav1Stereo64k", 2, {"-c:a", "wmav1", "-b:a", "64k"}}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace kelvra::audio::testing
