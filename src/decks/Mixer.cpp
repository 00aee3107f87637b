#include "decks/Mixer.h"

#include <cmath>

#include "core/Rounding.h"

namespace kelvra::decks {

VolumePan levelsToVolumePan(int a, int b) {
    if (a == b) return {a, 0};
    if (a > b) return {a, static_cast<int>(roundEven(100.0 * b / a - 100.0))};
    return {b, static_cast<int>(roundEven(100.0 - 100.0 * a / b))};
}

void set_channel_levels(audio::AudioLibrary& library, audio::Handle stream, int leftLevel,
                        int rightLevel) {
    const VolumePan vp = levelsToVolumePan(leftLevel, rightLevel);
    library.channelSetAttributes(stream, audio::kKeepRate, vp.volume, vp.pan);
}

Mixer::Mixer(audio::LibraryOverDoor& library, MixerControls& mixer, DeckControls& left,
             DeckControls& right, StreamOf streamOf)
    : library_(library), mixer_(mixer), decks_{&left, &right}, streamOf_(std::move(streamOf)) {
    auto recompute = [this](int) { run_volume_timer(); };
    QObject::connect(&mixer_.crossFader, &SliderModel::changed, recompute);
    QObject::connect(&mixer_.mainVolume, &SliderModel::changed, recompute);
    QObject::connect(&mixer_.monitorVolume, &SliderModel::changed, recompute);
    QObject::connect(&mixer_.phonesMix, &SliderModel::changed, recompute);
    QObject::connect(&left.volume, &SliderModel::changed, recompute);
    QObject::connect(&right.volume, &SliderModel::changed, recompute);
    for (int i = 0; i < 3; ++i)
        QObject::connect(&mixer_.monitor[i], &ButtonModel::clicked,
                         [this, i] { monitorCMB_Click(i); });
    QObject::connect(&mixer_.phonesSplit, &ButtonModel::clicked,
                     [this] { setPhonesSplit(!phonesSplit_); });
    mixer_.phonesSplit.setLit(false);
}

void Mixer::setPhonesSplit(bool split) {
    phonesSplit_ = split;
    mixer_.phonesSplit.setLit(split);
    run_volume_timer();
}

double Mixer::deckGain(Side side) const {
    const double s = mixScale_;
    return (s - decks_[sideIndex(side)]->volume.value()) / s;
}

void Mixer::run_volume_timer() {
    const double s = mixScale_;
    const double x = mixer_.crossFader.value();
    const double xMax = mixer_.crossFader.maximum();
    const double main = mixer_.mainVolume.value() / s;
    const double left = main * (s - decks_[0]->volume.value());
    const double right = main * (s - decks_[1]->volume.value());

    // The centre belongs to the second branch: both decks at full deck level there, and moving
    // away fades only the far deck, reaching silence at the end stop.
    if (x < s / 2) {
        deckVolume_[1] = static_cast<int>(roundEven(2 * (x / s) * right));
        deckVolume_[0] = static_cast<int>(roundEven(left));
    } else {
        deckVolume_[1] = static_cast<int>(roundEven(right));
        deckVolume_[0] = static_cast<int>(roundEven(2 * (std::abs(xMax - x) / s) * left));
    }

    const audio::Handle leftStream = streamOf_(Side::Left);
    const audio::Handle rightStream = streamOf_(Side::Right);
    const int l = deckVolume_[0];
    const int r = deckVolume_[1];
    const int headphone = mixScale_ - mixer_.monitorVolume.value();
    // The headphone bus hears the monitored deck whether or not it is an output of its own (a
    // JACK client always has the ports).
    library_.channelSetCue(leftStream, monitorMode_ == kMonitorLeft ? 100 : 0);
    library_.channelSetCue(rightStream, monitorMode_ == kMonitorRight ? 100 : 0);
    const int phonesLevel = static_cast<int>(roundEven(100.0 * headphone / s));
    library_.setPhonesMix(phonesLevel, mixer_.phonesMix.value(), phonesSplit_);
    const bool phonesOutput = library_.phonesOutput();
    library_.door().setRouting({!phonesOutput && monitorMode_ != kMonitorStereo, phonesLevel});
    if (phonesOutput) {
        set_channel_levels(library_, leftStream, l, l);
        set_channel_levels(library_, rightStream, r, r);
        return;
    }
    set_channel_levels(library_, leftStream, 0, l);
    set_channel_levels(library_, rightStream, 0, r);
    if (monitorMode_ == kMonitorRight) {
        set_channel_levels(library_, rightStream, headphone, r);
    } else if (monitorMode_ == kMonitorLeft) {
        set_channel_levels(library_, leftStream, headphone, l);
    } else {
        set_channel_levels(library_, leftStream, l, l);
        set_channel_levels(library_, rightStream, r, r);
    }
}

void Mixer::monitorCMB_Click(int index) {
    if (index < 0 || index > 2) return;
    monitorMode_ = index + 1;
    for (int i = 0; i < 3; ++i)
        mixer_.monitor[i].setLit(i == index);
    run_volume_timer();
}

void Mixer::run_VUmeterTimer() {
    updateMeters(Side::Left);
    updateMeters(Side::Right);
}

void Mixer::updateMeters(Side side) {
    const auto level = static_cast<std::int32_t>(library_.channelLevel(streamOf_(side)));
    // Nothing playing, stalled or an error: the meters keep what they showed last.
    if (level <= 0) return;
    const double l = level & 0xFFFF;
    const double r = (static_cast<std::uint32_t>(level) >> 16) & 0xFFFF;

    LevelMeterModel& meter = decks_[sideIndex(side)]->meter;
    const double gain = deckGain(side);
    meter.setFirstLevel(static_cast<int>(roundEven(gain * r)));
    meter.setSecondLevel(static_cast<int>(roundEven(gain * l)));

    const double s = mixScale_;
    const double x = mixer_.crossFader.value();
    const double e = mixer_.mainVolume.value() / s * ((l + r) / 2);
    const double fraction = side == Side::Left ? 2 * (s - x) / s : 2 * x / s;
    const double g = fraction > 1 ? 1 : fraction;
    const int mainLevel = static_cast<int>(roundEven(e * g));
    if (side == Side::Left)
        mixer_.mainMeter.setSecondLevel(mainLevel);
    else
        mixer_.mainMeter.setFirstLevel(mainLevel);
}

}  // namespace kelvra::decks
