// MPEG audio frames: header parsing, and the frame index of an MPEG audio file (Layer III mostly)
// with its gapless information (encoder delay and padding from the Xing/Info frame). The index is
// what gives an MP3 its exact length at load and lets a seek start decoding at a known frame. Any
// thread.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <vector>

namespace kelvra::audio::decode {

struct MpegFrameHeader {
    int version = 0;  // 1 = MPEG-1, 2 = MPEG-2, 25 = MPEG-2.5
    int layer = 0;    // 1..3
    int rate = 0;     // Hz
    int channels = 0;
    int size = 0;  // bytes, header included
    int samples = 0;
};

// Parses the 4-byte frame header at `bytes`; none for invalid or free-format headers.
std::optional<MpegFrameHeader> parseMpegHeader(std::span<const std::uint8_t> bytes);

// Size of an ID3v2 tag at the start of `bytes` (header, body and footer), or 0 when none.
std::size_t id3v2Size(std::span<const std::uint8_t> bytes);

// Offset of the first MPEG audio frame at or after `from` that is followed by a second frame of
// the same stream (or that ends exactly at the end), searching at most `limit` bytes.
std::optional<std::size_t> findFrameSync(std::span<const std::uint8_t> bytes, std::size_t from,
                                         std::size_t limit);

struct Mp3Index {
    int layer = 0;
    int rate = 0;
    int channels = 0;
    int samplesPerFrame = 0;
    // Byte offset of every audio frame (the Xing/Info frame is not one). Each frame's header
    // gives its size.
    std::vector<std::int64_t> offsets;
    // Decoded samples to drop at the start (encoder delay plus the decoder's own delay) and the
    // number of frames the file really holds once the padding at the end is dropped.
    std::int64_t skipFrames = 0;
    std::int64_t lengthFrames = 0;

    std::int64_t frameCount() const { return static_cast<std::int64_t>(offsets.size()); }
};

// Indexes the MPEG audio stream in a whole file's bytes. None when the file is not one.
// `scanned`, when given, hears now and then how far the scan has come (it only moves on), so
// a mapped file's pages behind it can be given back.
std::optional<Mp3Index> indexMp3(std::span<const std::uint8_t> file,
                                 const std::function<void(std::size_t)>& scanned = {});

}  // namespace kelvra::audio::decode
