// Deciding from a file's first bytes what it holds, without FFmpeg's full probe: enough to send
// ASF content to the add-on side, other audio to the main side, and to refuse what is clearly
// not audio. Any thread.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace kelvra::audio::decode {

enum class Content {
    Asf,       // the ASF container (WMA, ASF)
    Mpeg,      // MPEG audio frames, maybe after an ID3v2 tag
    Audio,     // another audio container recognised by its signature
    NotAudio,  // empty, or nothing any demuxer recognises
    Unknown,   // no known signature; only a demuxer probe can tell
};

// `head` is the start of the file (a few kilobytes), `fileSize` its whole size.
Content sniffContent(std::span<const std::uint8_t> head, std::int64_t fileSize);

// libavformat's probe over the same bytes, without opening anything: the name of the demuxer that
// claims them with confidence, or empty when none does (ASF, pictures and text do not count).
std::string_view probeContainer(std::span<const std::uint8_t> head);

}  // namespace kelvra::audio::decode
