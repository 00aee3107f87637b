#include "audio/engine/WavWriter.h"

namespace kelvra::audio::engine {
namespace {

void put(std::ofstream& out, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i)
        out.put(char((value >> (8 * i)) & 0xFF));
}

}  // namespace

WavWriter::WavWriter(const std::string& path, int rate) : out_(path, std::ios::binary) {
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
    for (std::int64_t i = 0; i < frames * 2; ++i)
        put(out_, std::uint16_t(stereo[i]), 2);
    dataBytes_ += std::uint64_t(frames) * 4;
    return bool(out_);
}

bool WavWriter::finish() {
    if (!out_ || dataBytes_ > 0xFFFFFFFFull - 36) return false;
    out_.seekp(4);
    put(out_, std::uint32_t(36 + dataBytes_), 4);
    out_.seekp(40);
    put(out_, std::uint32_t(dataBytes_), 4);
    out_.close();
    return !out_.fail();
}

}  // namespace kelvra::audio::engine
