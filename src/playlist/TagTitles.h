// The production title reader: the tags' display title of a playlist entry, read through an
// audio library of the reading thread's own (an audio library is not shared across threads).
#pragma once

#include "playlist/TitleService.h"

namespace kelvra::playlist {

// A factory for TitleService: every call makes a reader with its own audio library.
TitleReaderFactory tagTitleReaderFactory();

}  // namespace kelvra::playlist
