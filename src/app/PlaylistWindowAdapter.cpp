#include "app/PlaylistWindowAdapter.h"

namespace kelvra::app {

void PlaylistWindowAdapter::advance() {
    // The next-song pointer moves on by one, wrapping from the last entry to the first like the
    // next-song button, and the entry becomes the selected one.
    const int count = controller_.count();
    if (count == 0) return;
    const int next = controller_.playlistPosition() + 1;
    controller_.selectLine(next < count ? next : 0);
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
