#include "audio/engine/WavWriter.h"

namespace kelvra::audio::engine {
namespace {

void put(std::ofstream& out, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i)
        out.put(char((value >> (8 * i)) & 0xFF));
}

}  // namespace

WavWriter::WavWriter(const std::string& path, int rate)
    : rate_(rate), out_(path, std::ios::binary) {
    constexpr int kChannels = 2, kBytesPerSample = 2;
    out_.write("RIFF", 4);
    put(out_, 0, 4);  // filled in by finish()
    out_.write("WAVEfmt ", 8);
    put(out_, 16, 4);
    put(out_, 1, 2);  // PCM
    put(out_, kChannels, 2);
    put(out_, std::uint32_t(rate), 4);
    put(out_, std::uint32_t(rate * kChannels * kBytesPerSample), 4);
    put(out_, kChannels * kBytesPerSample, 2);
    put(out_, 16, 2);
    out_.write("data", 4);
    put(out_, 0, 4);
}

bool WavWriter::write(const std::int16_t* stereo, std::int64_t frames) {
    const std::uint64_t bytes = std::uint64_t(frames) * 4;
    if (dataBytes_ + bytes > kMaxDataBytes) {
        full_ = true;
        return false;
    }
    // Little-endian whatever the machine, a piece at a time rather than a byte at a time.
    bytes_.resize(std::size_t(bytes));
    for (std::size_t i = 0; i < std::size_t(frames) * 2; ++i) {
        const auto sample = std::uint16_t(stereo[i]);
        bytes_[2 * i] = char(sample & 0xFF);
        bytes_[2 * i + 1] = char(sample >> 8);
    }
    out_.write(bytes_.data(), std::streamsize(bytes_.size()));
    dataBytes_ += bytes;
    return bool(out_);
}

bool WavWriter::finish() {
    if (!out_ || full_) return false;
    out_.seekp(4);
    put(out_, std::uint32_t(36 + dataBytes_), 4);
    out_.seekp(40);
    put(out_, std::uint32_t(dataBytes_), 4);
    out_.close();
    return !out_.fail();
}

std::string WavWriter::failureText(const std::string& path) const {
    if (!full_) return "cannot write " + path;
    const auto minutes = std::uint64_t(kMaxDataBytes / 4 / std::uint64_t(rate_) / 60);
    return path + ": a WAV file holds at most 4 GiB, " + std::to_string(minutes / 60) + " h " +
           std::to_string(minutes % 60) + " min of audio at " + std::to_string(rate_) + " Hz";
}

}  // namespace kelvra::audio::engine
