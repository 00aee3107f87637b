// The library contract's stream operations over the engine's door: byte positions to and from
// frames at the stream's own layout, handles to stream ids, the contract's activity numbers and
// attribute values that leave a setting unchanged. Output, recording and the rest of the
// contract stay with the class that also provides the door (the engine, or a test's fake).
// Threads: those of the door (the one controlling thread).
#pragma once

#include "audio/AudioLibrary.h"
#include "audio/EngineDoor.h"

namespace kelvra::audio {

class LibraryOverDoor : public AudioLibrary {
  public:
    // The door the contract's streams go through.
    EngineDoor& door() { return door_; }

    Handle streamCreateFile(const std::string& path, std::uint32_t flags) final;
    Handle wmaStreamCreateFile(const std::string& path, std::uint32_t flags) final;
    bool streamPreBuf(Handle handle) final;
    bool streamPlay(Handle handle, bool flush, std::uint32_t flags) final;
    bool channelResume(Handle handle) final;
    bool channelPause(Handle handle) final;
    bool channelStop(Handle handle) final;
    bool streamFree(Handle handle) final;
    BytePosition streamLength(Handle handle) final;
    BytePosition channelPosition(Handle handle) final;
    bool channelSetPosition(Handle handle, BytePosition position) final;
    float channelBytes2Seconds(Handle handle, BytePosition bytes) final;
    int channelIsActive(Handle handle) final;
    std::optional<Attributes> channelAttributes(Handle handle) final;
    bool channelSetAttributes(Handle handle, int rate, int volume, int pan) final;
    std::uint32_t channelLevel(Handle handle) final;
    bool channelSetCue(Handle handle, int level) final;
    std::string_view streamTags(Handle handle) final;

  protected:
    // `door` may be the deriving object itself: it is only used once construction is over.
    explicit LibraryOverDoor(EngineDoor& door) : door_(door) {}

  private:
    EngineDoor& door_;
};

}  // namespace kelvra::audio
