// The chunk layout of RIFF and RF64 WAVE files, walked against the file's size before a demuxer
// sees them: a demuxer sizes reads and allocations by the stated chunk sizes, and a 1 KB file
// whose LIST chunk claims 2 GB cost gigabytes before it was refused. Any thread.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace kelvra::audio::decode {

// True when `head` starts a RIFF or RF64 WAVE file (so checkRiffChunks() has work to do).
bool isRiffWave(std::span<const std::uint8_t> head);

struct RiffCheck {
    bool ok = true;
    std::string problem;  // what is wrong, for a message ("chunk 'LIST' at byte 12 ...")
};

// Walks every chunk of the RIFF/RF64 WAVE file `file` (its whole bytes). Fails when a chunk
// other than the audio data reaches past the end of the file, a LIST chunk's entries reach past
// the list, the ds64 chunk of an RF64 file is missing or short, or the chunks never end. The
// data chunk may run past the end (a file cut short plays what it holds). Anything that is not a
// RIFF/RF64 WAVE file passes unchecked.
RiffCheck checkRiffChunks(std::span<const std::uint8_t> file);

}  // namespace kelvra::audio::decode
