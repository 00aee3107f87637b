#include "decks/DeckKey.h"

#include <algorithm>

namespace kelvra::decks {
namespace {
constexpr int kMostShift = 12;
}

DeckKey::DeckKey(Deck& deck, audio::EngineDoor& door) : deck_(deck), door_(door) {
    DeckControls& c = deck_.controls();
    QObject::connect(&c.keyLock, &ButtonModel::clicked, [this] {
        locked_ = !locked_;
        apply();
    });
    const auto shiftBy = [this](int semitones) {
        shift_ = semitones == 0 ? 0 : std::clamp(shift_ + semitones, -kMostShift, kMostShift);
        apply();
    };
    QObject::connect(&c.keyUp, &ButtonModel::clicked, [shiftBy] { shiftBy(1); });
    QObject::connect(&c.keyDown, &ButtonModel::clicked, [shiftBy] { shiftBy(-1); });
    QObject::connect(&c.keyReset, &ButtonModel::clicked, [shiftBy] { shiftBy(0); });
    // The stop button's press starts the turntable stop, which plays as a tape stop; a play, a
    // base frequency and a new song bring the lock back.
    QObject::connect(&c.stop, &ButtonModel::mousePressed, [this](auto) { apply(); });
    deck_.events().pitchToApply.connect([this] { apply(); });
    deck_.events().levelsToApply.connect([this] { apply(); });
    deck_.events().loaded.connect([this] { apply(); });
    show();
}

void DeckKey::apply() {
    if (deck_.streamId()) {
        const bool stopping = deck_.turntableStopTimer().enabled();
        door_.setKeyLock(deck_.streamId(),
                         {locked_ && !stopping, audio::Hz(deck_.sampleRate()), shift_});
    }
    show();
}

void DeckKey::show() {
    DeckControls& c = deck_.controls();
    c.keyLock.setLit(locked_);
    c.keyReset.setCaption(shift_ == 0
                              ? QStringLiteral("0")
                              : QStringLiteral("%1%2").arg(shift_ > 0 ? "+" : "").arg(shift_));
    c.keyReset.setLit(shift_ != 0, kColourOn, kColourNone);
}

}  // namespace kelvra::decks
