#include "decks/DeckJumps.h"

#include <algorithm>
#include <cmath>

#include "core/Rounding.h"
#include "decks/DeckPlaces.h"

namespace kelvra::decks {

DeckJumps::DeckJumps(Deck& deck, audio::EngineDoor& door, const DeckAnalysis& analysis,
                     library::SongStore* songs)
    : deck_(deck), door_(door), grid_(deck, door, analysis), songs_(songs) {
    DeckControls& c = deck_.controls();
    for (int slot = 0; slot < DeckControls::kHotCues; ++slot) {
        QObject::connect(&c.hotCue[slot], &ButtonModel::mousePressed, [this, slot](auto button) {
            if (button == Qt::LeftButton) hotCuePress(slot);
            if (button == Qt::RightButton) clearHotCue(slot);  // the pad's own way to clear
        });
        QObject::connect(&c.hotCue[slot], &ButtonModel::mouseReleased, [this, slot](auto button) {
            if (button == Qt::LeftButton) hotCueRelease(slot);
        });
        QObject::connect(&c.hotCue[slot], &ButtonModel::clicked,
                         [this, slot] { hotCueClick(slot); });
        QObject::connect(&c.hotCueClear[slot], &ButtonModel::clicked,
                         [this, slot] { clearHotCue(slot); });
    }
    for (int i = 0; i < DeckControls::kBeatJumps; ++i)
        QObject::connect(&c.beatJump[i], &ButtonModel::clicked, [this, i] { beatJump(i); });
    QObject::connect(&c.quantize, &ButtonModel::clicked, [this] {
        quantize_ = !quantize_;
        deck_.controls().quantize.setLit(quantize_);
    });
    deck_.events().loaded.connect([this] { songLoaded(); });
}

void DeckJumps::songLoaded() {
    previewing_ = -1;
    cues_ = songs_ && deck_.stream() != 0 ? songs_->hotCues(deck_.songFile()) : library::HotCues{};
    showCues();
}

bool DeckJumps::playing() const {
    return deck_.streamId() && !deck_.paused() &&
           door_.state(deck_.streamId()) == audio::StreamState::Playing;
}

void DeckJumps::hotCuePress(int slot) {
    if (deck_.stream() == 0) return;
    pressHandled_[slot] = true;
    if (!cues_[std::size_t(slot)]) {
        setHotCue(slot);
    } else if (playing()) {
        jumpTo(*cues_[std::size_t(slot)]);
    } else {
        // Stopped: the hot cue becomes the cue point and plays while the pad is held.
        deck_.setCuePoint(std::uint32_t(*cues_[std::size_t(slot)]));
        previewing_ = slot;
        deck_.playNow();
    }
}

void DeckJumps::hotCueRelease(int slot) {
    if (previewing_ != slot) return;
    previewing_ = -1;
    if (deck_.stream() == 0) return;
    door_.stop(deck_.streamId());
    seekTo(door_, deck_.streamId(), deck_.cuePoint());
    deck_.controls().display.setLamp(DeckDisplayModel::Play, false);
}

void DeckJumps::hotCueClick(int slot) {
    // The mouse's press did the work; a click of its own (a script, a key) does it here.
    if (std::exchange(pressHandled_[slot], false)) return;
    if (deck_.stream() == 0) return;
    if (!cues_[std::size_t(slot)])
        setHotCue(slot);
    else if (playing())
        jumpTo(*cues_[std::size_t(slot)]);
    else
        deck_.setCuePoint(std::uint32_t(*cues_[std::size_t(slot)]));
}

void DeckJumps::setHotCue(int slot) {
    std::int64_t position = bytePosition(door_, deck_.streamId());
    if (quantize_ && grid_.beatSeconds())
        position = grid_.toBytes(grid_.nearestBeat(grid_.toSeconds(position)));
    position = std::clamp<std::int64_t>(position, 0, deck_.songLength());
    cues_[std::size_t(slot)] = position;
    if (songs_) songs_->setHotCue(deck_.songFile(), slot, position);
    showCues();
}

void DeckJumps::clearHotCue(int slot) {
    if (!cues_[std::size_t(slot)]) return;
    cues_[std::size_t(slot)].reset();
    if (songs_ && deck_.stream() != 0) songs_->clearHotCue(deck_.songFile(), slot);
    showCues();
}

void DeckJumps::jumpTo(std::int64_t target) {
    if (quantize_ && grid_.beatSeconds()) {
        // Land as far into the target's beat as the deck is into its own now, so the jump
        // keeps the deck on the other deck's beat.
        const double now = grid_.positionSeconds();
        const double at = grid_.toSeconds(target);
        target = grid_.toBytes(grid_.nearestBeat(at) + (now - grid_.nearestBeat(now)));
    }
    target = std::clamp<std::int64_t>(target, 0, std::max<std::int64_t>(0, deck_.songLength() - 1));
    seekTo(door_, deck_.streamId(), std::uint32_t(target));
}

void DeckJumps::beatJump(int index) {
    const auto beat = grid_.beatSeconds();
    if (deck_.stream() == 0 || !beat) return;
    const double shift = kBeatJumps[std::clamp(index, 0, DeckControls::kBeatJumps - 1)] * *beat;
    if (playing()) {
        const double to = grid_.positionSeconds() + shift;
        if (to < 0 || grid_.toBytes(to) >= deck_.songLength()) return;  // off the song: stay
        seekTo(door_, deck_.streamId(), std::uint32_t(grid_.toBytes(to)));
    } else {
        // Stopped, the cue point moves: Play starts from there.
        const double to = grid_.toSeconds(deck_.cuePoint()) + shift;
        if (to < 0 || grid_.toBytes(to) >= deck_.songLength()) return;
        deck_.setCuePoint(std::uint32_t(grid_.toBytes(to)));
        seekTo(door_, deck_.streamId(), deck_.cuePoint());
    }
}

void DeckJumps::showCues() {
    DeckControls& c = deck_.controls();
    std::array<double, DeckControls::kHotCues> marks{};
    const double length = deck_.songLength();
    for (int slot = 0; slot < DeckControls::kHotCues; ++slot) {
        const auto& cue = cues_[std::size_t(slot)];
        c.hotCue[slot].setLit(cue.has_value(), kHotCueColours[slot], kColourNone);
        marks[std::size_t(slot)] = cue && length > 0 ? std::clamp(*cue / length, 0.0, 1.0) : -1.0;
    }
    c.display.setHotCueMarks(marks);
}

}  // namespace kelvra::decks
