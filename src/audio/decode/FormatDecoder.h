// Files decoded through libavformat's demuxers, streaming from disk: WAV, FLAC, Ogg, M4A and
// the rest of what FFmpeg reads on the main side. Also the packet reading of ASF files.
#pragma once

#include <memory>
#include <string>

#include "audio/Decoder.h"

namespace kelvra::audio::decode {

struct FormatOpenResult {
    std::unique_ptr<Decoder> decoder;
    int error = 0;          // an ErrorCode when decoder is null
    std::string problem{};  // as OpenedFile::problem
};

// Opens the best audio stream of any container FFmpeg reads, except ASF (which the add-on side
// plays). Lengths come from the container when it states them, otherwise from a scan of packet
// durations.
FormatOpenResult openWithFormat(const std::string& path);

}  // namespace kelvra::audio::decode
