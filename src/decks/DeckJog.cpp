#include "decks/DeckJog.h"

#include <algorithm>
#include <cmath>

#include "playback/StreamControl.h"

namespace kelvra::decks {

DeckJog::DeckJog(Deck& deck, audio::AudioLibrary& library, DeckPitch& pitch, Clock& clock)
    : deck_(deck), library_(library), pitch_(pitch), decay_(clock.createTimer()) {
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
    const audio::Handle stream = deck_.stream();
    if (touched == scratching_ || (touched && stream == 0)) return;
    scratching_ = touched;
    scratchTicks_ = 0;
    if (touched) {
        pitch_.setNudge(0);
        // A deck never played has had no levels from the mixer yet: its scratch would sound at
        // the stream's full volume, louder than the deck is set.
        deck_.events().levelsToApply.notify();
    }
    library_.channelScratch(stream, touched);
}

void DeckJog::turned(int ticks) {
    const audio::Handle stream = deck_.stream();
    if (stream == 0) return;
    if (scratching_) {
        scratchTicks_ += ticks;
        library_.channelScratchTurn(stream, double(scratchTicks_) * kSecondsPerTick);
        return;
    }
    if (playback::isStreamPlaying(library_, stream)) {
        pitch_.setNudge(std::clamp(pitch_.nudge() + ticks * kNudgePerTick, -kMaxNudge, kMaxNudge));
        decay_->setEnabled(true);
        return;
    }
    // At rest the wheel moves the deck's place, a tick at a time, in whole frames.
    const double bytes = ticks * kSecondsPerTick * playback::bytesPerSecond(library_, stream);
    const auto to = std::clamp<long long>(
        std::llrint(double(library_.channelPosition(stream)) + bytes), 0, deck_.songLength());
    library_.channelSetPosition(stream, audio::BytePosition(to - to % 4));
}

void DeckJog::decay() {
    // About a tenth of a second to die away: 0.8 every 20 ms.
    const double next = pitch_.nudge() * 0.8;
    pitch_.setNudge(std::abs(next) < 0.002 ? 0.0 : next);
    if (pitch_.nudge() == 0) decay_->setEnabled(false);
}

}  // namespace kelvra::decks
