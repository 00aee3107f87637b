#include "decks/DeckPitch.h"

#include <cmath>

#include "core/Rounding.h"

namespace kelvra::decks {
namespace {

constexpr int kNoChange = 1000;

// Bent positions may leave the slider's range by the bend's 200 units, but stay 16-bit.
int round16(double value) {
    return static_cast<std::int16_t>(roundEven(value));
}

}  // namespace

DeckPitch::DeckPitch(Deck& deck, audio::EngineDoor& door, DeckHost& host,
                     const settings::ProgramSettings& values)
    : deck_(deck), door_(door), host_(host), values_(values) {
    deck_.events().pitchToApply.connect([this] { changePitch(); });
    DeckControls& c = deck_.controls();
    QObject::connect(&c.pitchZero, &ButtonModel::clicked,
                     [&c] { c.pitch.setValue(c.pitch.maximum() / 2); });
    QObject::connect(&c.bendPlus, &ButtonModel::mousePressed, [this] { bendPressed(Bend::Up); });
    QObject::connect(&c.bendPlus, &ButtonModel::mouseReleased, [this] { bendReleased(Bend::Up); });
    QObject::connect(&c.bendMinus, &ButtonModel::mousePressed, [this] { bendPressed(Bend::Down); });
    QObject::connect(&c.bendMinus, &ButtonModel::mouseReleased,
                     [this] { bendReleased(Bend::Down); });
    QObject::connect(&c.speed22, &ButtonModel::clicked, [this] { speedClick(22050); });
    QObject::connect(&c.speed44, &ButtonModel::clicked, [this] { speedClick(44100); });
    QObject::connect(&c.stop, &ButtonModel::mousePressed, [this] { stopMouseDown(); });
    deck_.turntableStopTimer().setOnTick([this] { turntableStopTick(); });
}

int DeckPitch::frequencyFor(int pitch, int base, double range) {
    const double f = base;
    if (pitch == kNoChange) return base;
    if (pitch < kNoChange) {
        const double d = kNoChange - pitch;
        return static_cast<int>(roundEven(f - (d * range / 100 / 100) * f));
    }
    const double d = pitch - kNoChange;
    return static_cast<int>(roundEven((d * range / 100 / 100) * f + f));
}

QString DeckPitch::pitchTextFor(int pitch, double range) {
    if (pitch == kNoChange) return QStringLiteral(" 0.00% ");
    const double d = pitch < kNoChange ? kNoChange - pitch : pitch - kNoChange;
    const QString sign = pitch < kNoChange ? QStringLiteral(" - ") : QStringLiteral(" + ");
    return sign + QString::number(d * range / 100, 'f', 2) + '%';
}

void DeckPitch::changePitch() {
    DeckControls& c = deck_.controls();
    const double range = values_.pitchRangeFactor;
    int frequency = frequencyFor(pitch_, deck_.sampleRate(), range);
    if (nudge_ != 0) frequency = int(std::lrint(frequency * (1 + nudge_)));
    door_.setRate(deck_.streamId(), audio::Hz(frequency));
    c.pitchZero.setLit(pitch_ == kNoChange);
    c.display.setPitchText(pitchTextFor(pitch_, range));
}

void DeckPitch::followSliderAndBend() {
    const SliderModel& slider = deck_.controls().pitch;
    const int v = slider.value();
    const double half = slider.maximum() / 2.0;
    if (!bendUp_ && !bendDown_) {
        if (v != pitchSeen_) {
            pitch_ = v;
            changePitch();
            pitchSeen_ = v;
        }
    } else if (bendUp_) {
        // Up to 20 % of half the range above the slider, one per cent of it per step.
        if (v + half * (20.0 / 100) > pitch_) {
            pitch_ = round16(pitch_ + half * (1.0 / 100));
            changePitch();
            pitchSeen_ = pitch_;
        }
    } else if (v - half * (20.0 / 100) < pitch_) {
        pitch_ = round16(pitch_ - half / 100);
        changePitch();
        pitchSeen_ = pitch_;
    }
}

void DeckPitch::setNudge(double share) {
    if (share == nudge_ || deck_.turntableStopTimer().enabled()) return;
    nudge_ = share;
    if (deck_.stream() != 0) changePitch();
}

void DeckPitch::bendPressed(Bend way) {
    host_.setActiveDeck(deck_.side());
    (way == Bend::Up ? bendUp_ : bendDown_) = true;
    deck_.events().pitchMoved.notify();
}

void DeckPitch::bendReleased(Bend way) {
    (way == Bend::Up ? bendUp_ : bendDown_) = false;
    deck_.events().pitchMoved.notify();
    host_.focusMixer();
}

void DeckPitch::speedClick(int hertz) {
    DeckControls& c = deck_.controls();
    host_.setActiveDeck(deck_.side());
    const bool high = hertz == 44100;
    c.speed44.setLit(high);
    c.speed22.setLit(!high);
    deck_.setSampleRate(hertz);
    host_.focusPlay(deck_.side());
    if (deck_.songFile().isEmpty()) return;
    changePitch();
    deck_.events().levelsToApply.notify();
}

void DeckPitch::stopMouseDown() {
    deck_.turntableStopTimer().setEnabled(true);
    deck_.controls().display.setLamp(DeckDisplayModel::Stop, true);
}

void DeckPitch::turntableStopTick() {
    host_.setActiveDeck(deck_.side());
    const audio::StreamId stream = deck_.streamId();
    const auto rate = door_.rate(stream);
    const int f = rate ? rate->value : 0;
    const int step = values_.turntableStopStep;
    if (f > step) {
        door_.setRate(stream, audio::Hz(f - step));
        return;
    }
    door_.stop(stream);
    deck_.turntableStopTimer().setEnabled(false);
    // Back to the pitch setting, ready for the next play.
    changePitch();
    deck_.finishedUnderAutoDJ();
}

}  // namespace kelvra::decks
