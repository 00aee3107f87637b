// Writes the offline renderer's output: a 16-bit stereo PCM WAV file, streamed in pieces.
// Threads: one thread at a time.
#pragma once

#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

namespace kelvra::audio::engine {

class WavWriter {
  public:
    WavWriter(const std::string& path, int rate);
    // The most audio a WAV file can hold: its sizes are 32-bit.
    static constexpr std::uint64_t kMaxDataBytes = 0xFFFFFFFFull - 36;

    bool ok() const { return bool(out_) && !full_; }
    // False on a write error, or once the file would pass kMaxDataBytes (full()).
    bool write(const std::int16_t* stereo, std::int64_t frames);
    bool full() const { return full_; }
    // Why finish() failed, for a person: the file named, and how long a mix fits when full.
    std::string failureText(const std::string& path) const;
    // Fills in the sizes; false when anything failed on the way.
    bool finish();

  private:
    int rate_;
    std::ofstream out_;
    std::uint64_t dataBytes_ = 0;
    bool full_ = false;
    std::vector<char> bytes_;
};

}  // namespace kelvra::audio::engine
