// Audio fixtures made by the tests themselves: synthesized PCM, WAV files, and other formats
// encoded from them with the ffmpeg command-line tool.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace kelvra::test {

// Interleaved 16-bit samples of a sine: `channels` copies of the same wave (a stereo sine has the
// right channel at `rightFactor` of the left's amplitude, so the sides can be told apart).
std::vector<std::int16_t> sine(int rate, int channels, double seconds, double frequency,
                               double amplitude = 0.5, double rightFactor = 1.0);

// Writes a canonical 16-bit PCM WAV file. Returns false on I/O failure.
bool writeWav(const std::string& path, const std::vector<std::int16_t>& samples, int rate,
              int channels);

// Reads a 16-bit PCM WAV file written by writeWav() or the engine's renderer.
struct WavData {
    int rate = 0;
    int channels = 0;
    std::vector<std::int16_t> samples;
};
bool readWav(const std::string& path, WavData& out);

// The largest magnitude on `channel` between two times (seconds, at the file's own rate).
inline int peakOf(const WavData& wav, int channel, double from, double to) {
    int peak = 0;
    for (std::size_t i = std::size_t(from * wav.rate); i < std::size_t(to * wav.rate); ++i) {
        const std::size_t at = i * std::size_t(wav.channels) + std::size_t(channel);
        if (at < wav.samples.size()) peak = std::max(peak, std::abs(int(wav.samples[at])));
    }
    return peak;
}

// Runs `ffmpeg -y -i input <args...> output`, quietly. Returns true when ffmpeg succeeded.
bool ffmpegEncode(const std::string& input, const std::string& output,
                  const std::vector<std::string>& args);

}  // namespace kelvra::test
