// Placeholder until the FFmpeg decoders exist: every open fails as an unsupported format.
#include "audio/AudioLibrary.h"
#include "audio/Decoder.h"

namespace kelvra::audio {

OpenedFile openAddonFile(const std::string&, OpenMode) { return {nullptr, kErrorFormat, {}}; }
OpenedFile openMainFile(const std::string&, OpenMode) { return {nullptr, kErrorFormat, {}}; }

}  // namespace kelvra::audio
