// BASS_TGSv1: writing an ID3v1 tag into a file, safely (see SafeSave.h). UI thread.
#pragma once

#include <QString>

#include "core/Dialogs.h"
#include "tags/Id3v1.h"

namespace kelvra::tags {

// Replaces the file's ID3v1 tag by `record`, or appends one when it has none; the audio before
// the tag is never touched. A failure shows the critical message box itself and leaves the file
// as it was. Returns whether the tag was saved; the tag editor does not look.
bool writeID3v1Tag(Dialogs& dialogs, const QString& path, const ID3v1Record& record);

}  // namespace kelvra::tags
