// Writes the offline renderer's output: a 16-bit stereo PCM WAV file, streamed in pieces.
// Threads: one thread at a time.
#pragma once

#include <cstdint>
#include <fstream>
#include <string>

namespace kelvra::audio::engine {

class WavWriter {
  public:
    WavWriter(const std::string& path, int rate);
    bool ok() const { return bool(out_); }
    bool write(const std::int16_t* stereo, std::int64_t frames);
    // Fills in the sizes; false when anything failed on the way.
    bool finish();

  private:
    std::ofstream out_;
    std::uint64_t dataBytes_ = 0;
};

}  // namespace kelvra::audio::engine
