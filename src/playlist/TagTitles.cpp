#include "playlist/TagTitles.h"

#include <memory>

#include "audio/CreateAudioLibrary.h"
#include "tags/DisplayText.h"

namespace kelvra::playlist {

TitleReaderFactory tagTitleReaderFactory() {
    return [] {
        std::shared_ptr<audio::AudioLibrary> library = audio::createAudioLibrary();
        return TitleReader(
            [library](const QString& path) { return tags::getID3_tag(*library, path); });
    };
}

}  // namespace kelvra::playlist
