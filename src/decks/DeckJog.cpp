#include "decks/DeckJog.h"

#include <algorithm>
#include <cmath>

#include "decks/DeckPlaces.h"

namespace kelvra::decks {

DeckJog::DeckJog(Deck& deck, audio::EngineDoor& door, DeckPitch& pitch, Clock& clock)
    : deck_(deck), door_(door), pitch_(pitch), decay_(clock.createTimer()) {
    DeckControls& c = deck_.controls();
    QObject::connect(&c.jog, &JogModel::turned, [this](int ticks) { turned(ticks); });
    QObject::connect(&c.jog, &JogModel::touchChanged, [this](bool on) { touched(on); });
    // The touch arrives as a held button, from a controller's note or a script.
    QObject::connect(&c.jogTouch, &ButtonModel::mousePressed,
                     [this] { deck_.controls().jog.setTouched(true); });
    QObject::connect(&c.jogTouch, &ButtonModel::mouseReleased,
                     [this] { deck_.controls().jog.setTouched(false); });
    decay_->setInterval(kDecayMs);
    decay_->setOnTick([this] { decay(); });
    // A new song starts untouched and unnudged.
    deck_.events().loaded.connect([this] {
        scratching_ = false;
        pitch_.setNudge(0);
    });
}

void DeckJog::touched(bool touched) {
    const audio::StreamId stream = deck_.streamId();
    if (touched == scratching_ || (touched && !stream)) return;
    scratching_ = touched;
    scratchTicks_ = 0;
    if (touched) {
        pitch_.setNudge(0);
        // A deck never played has had no levels from the mixer yet: its scratch would sound at
        // the stream's full volume, louder than the deck is set.
        deck_.events().levelsToApply.notify();
    }
    door_.scratch(stream, touched);
}

void DeckJog::turned(int ticks) {
    const audio::StreamId stream = deck_.streamId();
    if (!stream) return;
    if (scratching_) {
        scratchTicks_ += ticks;
        door_.scratchTurn(stream, double(scratchTicks_) * kSecondsPerTick);
        return;
    }
    if (door_.state(stream) == audio::StreamState::Playing) {
        pitch_.setNudge(std::clamp(pitch_.nudge() + ticks * kNudgePerTick, -kMaxNudge, kMaxNudge));
        decay_->setEnabled(true);
        return;
    }
    // At rest the wheel moves the deck's place, a tick at a time, in whole frames.
    const auto format = door_.format(stream);
    if (!format) return;
    const double bytes = ticks * kSecondsPerTick * bytesPerSecond(door_, stream);
    const double here = double(audio::bytesOf(door_.position(stream), format->layout()));
    const auto to = std::clamp<long long>(std::llrint(here + bytes), 0, deck_.songLength());
    door_.seek(stream, audio::framesIn(audio::BytePosition(to - to % 4), format->layout()));
}

void DeckJog::decay() {
    // About a tenth of a second to die away: 0.8 every 20 ms.
    const double next = pitch_.nudge() * 0.8;
    pitch_.setNudge(std::abs(next) < 0.002 ? 0.0 : next);
    if (pitch_.nudge() == 0) decay_->setEnabled(false);
}

}  // namespace kelvra::decks
