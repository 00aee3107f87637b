// A deck's performance jumps: eight hot cues (set at the play position when empty, jumped to when
// set, a preview while held on a stopped deck), remembered per song; beat jumps along the beat
// grid; and quantise, which puts new hot cues on the nearest beat and lands every jump with the
// beat phase the deck had. Every jump is the engine's seamless one. Thread: UI thread only.
#pragma once

#include <array>
#include <optional>

#include "decks/Deck.h"
#include "decks/DeckAnalysis.h"
#include "decks/DeckGrid.h"
#include "library/SongStore.h"

namespace kelvra::decks {

class DeckJumps {
  public:
    // `songs` remembers the hot cues per song; none: they last while the song is loaded.
    DeckJumps(Deck& deck, audio::EngineDoor& door, const DeckAnalysis& analysis,
              library::SongStore* songs);

    static constexpr double kBeatJumps[DeckControls::kBeatJumps] = {-16, -4, -1, 1, 4, 16};

    const library::HotCues& hotCues() const { return cues_; }
    bool quantizeOn() const { return quantize_; }

    void hotCuePress(int slot);
    void hotCueRelease(int slot);
    void hotCueClick(int slot);
    void clearHotCue(int slot);
    void beatJump(int index);

  private:
    void songLoaded();
    void setHotCue(int slot);
    void jumpTo(std::int64_t position);
    void showCues();
    bool playing() const;

    Deck& deck_;
    audio::EngineDoor& door_;
    DeckGrid grid_;
    library::SongStore* songs_;
    library::HotCues cues_;
    bool quantize_ = false;
    int previewing_ = -1;                             // the hot cue held on a stopped deck
    bool pressHandled_[DeckControls::kHotCues] = {};  // a click after a press does nothing more
};

}  // namespace kelvra::decks
