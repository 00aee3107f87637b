// The track list of a rendered Auto-DJ mix as a cue sheet: each song's title and performer as
// its deck showed them, at the moment its deck started, in CD frames (75 a second).
#pragma once

#include <QString>
#include <cstdint>
#include <vector>

namespace kelvra::autodj {

struct CueTrack {
    std::int64_t startMs = 0;
    QString title;
    QString performer;  // empty when the tags name none
};

// "mm:ss:ff" with ff in 75ths of a second, to the nearest frame; minutes go past 99 if need be.
QString cdFrameTime(std::int64_t milliseconds);

// Title and performer out of a deck's display text ("TITLE:  x", "ARTIST:  y", ... joined by ten
// spaces) for the song at `songPath`. What the tags leave empty comes from the file's name, by
// the rules the playlist titles untagged files with; failing those, the name is the title.
CueTrack trackFromDeckText(std::int64_t startMs, const QString& deckText, const QString& songPath);

// The whole sheet for the mix in `wavFileName` (a name beside the sheet, not a path).
QString cueSheetText(const QString& wavFileName, const std::vector<CueTrack>& tracks);

}  // namespace kelvra::autodj
