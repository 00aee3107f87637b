#include "support/AudioFixtures.h"

#include <QProcess>
#include <QStringList>
#include <cmath>
#include <cstring>
#include <fstream>
#include <numbers>

namespace kelvra::test {
namespace {

void put32(std::ofstream& out, std::uint32_t v) {
    const char bytes[4] = {char(v), char(v >> 8), char(v >> 16), char(v >> 24)};
    out.write(bytes, 4);
}
void put16(std::ofstream& out, std::uint16_t v) {
    const char bytes[2] = {char(v), char(v >> 8)};
    out.write(bytes, 2);
}
std::uint32_t get32(const unsigned char* p) {
    return p[0] | p[1] << 8 | p[2] << 16 | std::uint32_t(p[3]) << 24;
}
std::uint16_t get16(const unsigned char* p) {
    return std::uint16_t(p[0] | p[1] << 8);
}

}  // namespace

std::vector<std::int16_t> sine(int rate, int channels, double seconds, double frequency,
                               double amplitude, double rightFactor) {
    const auto frames = static_cast<std::size_t>(std::llround(seconds * rate));
    std::vector<std::int16_t> samples(frames * channels);
    for (std::size_t i = 0; i < frames; ++i) {
        const double v =
            amplitude * 32767.0 * std::sin(2 * std::numbers::pi * frequency * i / rate);
        for (int c = 0; c < channels; ++c)
            samples[i * channels + c] =
                static_cast<std::int16_t>(std::lrint(c == 1 ? v * rightFactor : v));
    }
    return samples;
}

bool writeWav(const std::string& path, const std::vector<std::int16_t>& samples, int rate,
              int channels) {
    std::ofstream out(path, std::ios::binary);
    if (!out) return false;
    const std::uint32_t dataBytes = static_cast<std::uint32_t>(samples.size() * 2);
    out.write("RIFF", 4);
    put32(out, 36 + dataBytes);
    out.write("WAVEfmt ", 8);
    put32(out, 16);
    put16(out, 1);
    put16(out, static_cast<std::uint16_t>(channels));
    put32(out, static_cast<std::uint32_t>(rate));
    put32(out, static_cast<std::uint32_t>(rate) * static_cast<std::uint32_t>(channels) * 2u);
    put16(out, static_cast<std::uint16_t>(channels * 2));
    put16(out, 16);
    out.write("data", 4);
    put32(out, dataBytes);
    out.write(reinterpret_cast<const char*>(samples.data()), dataBytes);
    return static_cast<bool>(out);
}

bool readWav(const std::string& path, WavData& result) {
    std::ifstream in(path, std::ios::binary);
    std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(in)), {});
    if (bytes.size() < 12 || std::memcmp(bytes.data(), "RIFF", 4) ||
        std::memcmp(&bytes[8], "WAVE", 4))
        return false;
    std::size_t at = 12;
    bool haveFormat = false;
    while (at + 8 <= bytes.size()) {
        const std::uint32_t size = get32(&bytes[at + 4]);
        const std::size_t body = at + 8;
        if (size > bytes.size() - body) return false;
        if (!std::memcmp(&bytes[at], "fmt ", 4) && size >= 16) {
            if (get16(&bytes[body]) != 1 || get16(&bytes[body + 14]) != 16) return false;
            result.channels = get16(&bytes[body + 2]);
            result.rate = static_cast<int>(get32(&bytes[body + 4]));
            haveFormat = true;
        } else if (!std::memcmp(&bytes[at], "data", 4) && haveFormat) {
            result.samples.resize(size / 2);
            std::memcpy(result.samples.data(), &bytes[body], size / 2 * 2);
            return true;
        }
        at = body + size + (size & 1);
    }
    return false;
}

bool ffmpegEncode(const std::string& input, const std::string& output,
                  const std::vector<std::string>& args) {
    QStringList arguments{"-y",    "-nostdin", "-loglevel",
                          "error", "-i",       QString::fromStdString(input)};
    for (const auto& arg : args)
        arguments << QString::fromStdString(arg);
    arguments << QString::fromStdString(output);
    QProcess ffmpeg;
    ffmpeg.start("ffmpeg", arguments);
    return ffmpeg.waitForFinished(120000) && ffmpeg.exitStatus() == QProcess::NormalExit &&
           ffmpeg.exitCode() == 0;
}

}  // namespace kelvra::test
