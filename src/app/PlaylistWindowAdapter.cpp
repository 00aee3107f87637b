#include "app/PlaylistWindowAdapter.h"

namespace kelvra::app {

void PlaylistWindowAdapter::advance() {
    // The next-song pointer moves on by one and the entry becomes the selected one.
    const int next = controller_.playlistPosition() + 1;
    if (next < controller_.count()) controller_.selectLine(next);
}

void PlaylistWindowAdapter::ensureLoaded() {
    if (loaded_) return;
    loaded_ = true;
    if (window_.load)
        window_.load(commandLine_);
    else
        controller_.startUp(commandLine_);
}

}  // namespace kelvra::app
