// Decoding of one song file into 16-bit PCM at the file's native rate and channel count, with an
// exact length and sample-exact seeking. Used by the engine's decoding workers.
// Threads: a Decoder is used by one thread at a time, never by the audio callback.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace kelvra::audio {

struct PcmFormat {
    int rate = 0;      // Hz
    int channels = 0;  // 1 or 2 (more are folded to stereo by the decoder)
};

// The native formats a file may declare. Headers are outside input: a rate of 2^31 Hz would size
// the read-ahead buffers at gigabytes and 1 Hz would make a short file days long. The rate range
// is the one the engine plays at; more than eight channels is no song.
inline constexpr int kMinFileRate = 100, kMaxFileRate = 100000;
inline constexpr int kMaxFileChannels = 8;
inline bool plausibleFormat(long long rate, long long channels) {
    return rate >= kMinFileRate && rate <= kMaxFileRate && channels >= 1 &&
           channels <= kMaxFileChannels;
}
// What is wrong with a format plausibleFormat() refuses, as a sentence for messages.
inline std::string formatProblem(long long rate, long long channels) {
    if (channels < 1 || channels > kMaxFileChannels)
        return "It has " + std::to_string(channels) + " channels; Kelvra plays songs of 1 to " +
               std::to_string(kMaxFileChannels) + ".";
    return "Its sample rate of " + std::to_string(rate) + " Hz is outside the " +
           std::to_string(kMinFileRate) + " to " + std::to_string(kMaxFileRate) +
           " Hz Kelvra plays.";
}

class Decoder {
  public:
    virtual ~Decoder() = default;
    virtual PcmFormat format() const = 0;
    // Exact length in frames, known when the decoder is returned.
    virtual std::int64_t lengthFrames() const = 0;
    // The next read() starts exactly at `frame` (clamped to the length). False on failure.
    virtual bool seek(std::int64_t frame) = 0;
    // Decodes up to `frames` interleaved frames into `out`. Returns the number of frames
    // written, 0 at the end of the stream, negative on a decoding failure.
    virtual std::int64_t read(std::int16_t* out, std::int64_t frames) = 0;
};

// What opening a file gives: a decoder (unless tags only), the tag block, or an error code.
struct OpenedFile {
    std::unique_ptr<Decoder> decoder;  // null when opened for tags only or on failure
    int error = 0;                     // an ErrorCode; 0 on success
    // Main side: the 128-byte ID3v1 block at the end of the file, or empty.
    // Add-on side: the "name:value" list as AudioLibrary::wmaStreamTags() describes it.
    std::string tags;
    // On failure, what is wrong with the file when the opener knows more than the error code
    // says (a sentence for messages), or empty.
    std::string problem{};
};

enum class OpenMode { Playback, TagsOnly };

// The add-on side: ASF content (WMA, ASF), decided by the file's first bytes. Anything else fails
// with kErrorFormat.
OpenedFile openAddonFile(const std::string& path, OpenMode mode);
// The main side: everything FFmpeg decodes except ASF content, which fails with kErrorFormat.
OpenedFile openMainFile(const std::string& path, OpenMode mode);

}  // namespace kelvra::audio
