// The effect units' rack on its own: what a unit does to a bus as it goes on and off, rings
// out, is cut, is swapped and is moved between buses, with small effects made here so the rack's
// own behaviour is what is measured.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "audio/fx/Rack.h"

namespace kelvra::audio::fx {
namespace {

constexpr int kRate = 48000;
constexpr int kPeriod = 256;

// Halves the signal.
class Half final : public Effect {
  public:
    const EffectInfo& info() const override {
        static const EffectInfo info{"half", "Half", {}, -1, false, true, {}};
        return info;
    }
    void prepare(int, int) override {}
    void setParam(int, float) override {}
    void process(float* stereo, int frames, const ProcessContext&) override {
        for (int i = 0; i < 2 * frames; ++i)
            stereo[i] *= 0.5f;
    }
    void reset() override {}
};

// The input plus one repeat `delay` frames later, at half level: the shape of an echo.
class Repeat final : public Effect {
  public:
    const EffectInfo& info() const override {
        static const EffectInfo info{"repeat", "Repeat", {}, -1, true, true, {}};
        return info;
    }
    void prepare(int, int) override { line_.assign(2 * kDelay, 0.0f); }
    void setParam(int, float) override {}
    void process(float* stereo, int frames, const ProcessContext&) override {
        for (int i = 0; i < 2 * frames; ++i) {
            const float old = line_[at_];
            line_[at_] = stereo[i];
            at_ = (at_ + 1) % line_.size();
            stereo[i] += 0.5f * old;
        }
    }
    void reset() override {
        std::fill(line_.begin(), line_.end(), 0.0f);
        at_ = 0;
    }
    static constexpr int kDelay = 4800;  // 0.1 s

  private:
    std::vector<float> line_;
    std::size_t at_ = 0;
};

template <typename E>
std::array<std::unique_ptr<Effect>, kBuses> copies() {
    std::array<std::unique_ptr<Effect>, kBuses> made;
    for (auto& copy : made)
        copy = std::make_unique<E>();
    return made;
}

// Runs `signal` (mono, both channels alike) through a bus period by period, calling `at` before
// each period with its first frame. Returns the left channel.
template <typename At>
std::vector<float> run(Rack& rack, Bus bus, const std::vector<float>& signal, At at) {
    std::vector<float> out;
    std::vector<float> period(2 * kPeriod);
    for (std::size_t start = 0; start + kPeriod <= signal.size(); start += kPeriod) {
        at(int(start));
        rack.takeCommands();
        for (int i = 0; i < kPeriod; ++i)
            period[2 * i] = period[2 * i + 1] = signal[start + std::size_t(i)];
        if (rack.busy(bus)) rack.process(bus, period.data(), kPeriod);
        for (int i = 0; i < kPeriod; ++i)
            out.push_back(period[2 * i]);
        rack.collect();
    }
    return out;
}

std::vector<float> sine(int frames, double hz = 440, float level = 0.5f) {
    std::vector<float> s(std::size_t(frames), 0.0f);
    for (int i = 0; i < frames; ++i)
        s[std::size_t(i)] = level * float(std::sin(2 * M_PI * hz * i / kRate));
    return s;
}

float largestStep(const std::vector<float>& s, std::size_t from = 1) {
    float step = 0;
    for (std::size_t i = std::max<std::size_t>(from, 1); i < s.size(); ++i)
        step = std::max(step, std::fabs(s[i] - s[i - 1]));
    return step;
}

float peak(const std::vector<float>& s, std::size_t from, std::size_t to) {
    float high = 0;
    for (std::size_t i = from; i < std::min(to, s.size()); ++i)
        high = std::max(high, std::fabs(s[i]));
    return high;
}

TEST(EffectRack, AUnitGlidesOnAndOffOnlyOnTheBusesItIsPutOn) {
    Rack rack;
    rack.prepare(kRate);
    ASSERT_TRUE(rack.load(0, 0, copies<Half>()));
    rack.setAssigned(0, Bus::LeftDeck, true);
    const std::vector<float> in = sine(kRate);
    const std::vector<float> out = run(rack, Bus::LeftDeck, in, [&](int frame) {
        if (frame == 9984) rack.setUnitOn(0, true);
        if (frame == 30208) rack.setUnitOn(0, false);
    });
    // Off, the bus is its input sample for sample; on, half of it once the glide is over.
    for (std::size_t i = 0; i < 9984; ++i)
        ASSERT_EQ(out[i], in[i]) << i;
    for (std::size_t i = 9984 + 600; i < 30208; ++i)
        ASSERT_NEAR(out[i], 0.5f * in[i], 1e-6f) << i;
    for (std::size_t i = 30208 + 600; i < out.size(); ++i)
        ASSERT_EQ(out[i], in[i]) << i;
    // Neither change is a step beyond the sine's own.
    EXPECT_LE(largestStep(out), largestStep(in) * 1.01f);
    EXPECT_FALSE(rack.busy(Bus::LeftDeck));

    // The same unit does nothing to a bus it is not put on.
    rack.setUnitOn(0, true);
    const std::vector<float> right = run(rack, Bus::RightDeck, in, [](int) {});
    EXPECT_EQ(right, std::vector<float>(in.begin(), in.begin() + std::ptrdiff_t(right.size())));
    // Its dry/wet mix at 0 leaves the signal dry.
    rack.setMix(0, 0.0f);
    const std::vector<float> dry = run(rack, Bus::LeftDeck, in, [](int) {});
    for (std::size_t i = 600; i < dry.size(); ++i)
        ASSERT_NEAR(dry[i], in[i], 1e-6f);
}

TEST(EffectRack, SwitchedOffATailRingsOutWhileNewSoundGetsNoRepeatUnlessCut) {
    for (const bool cut : {false, true}) {
        Rack rack;
        rack.prepare(kRate);
        ASSERT_TRUE(rack.load(1, 2, copies<Repeat>()));
        rack.setAssigned(1, Bus::Main, true);
        rack.setCutTails(1, cut);
        // A burst at 0.2 s while on; switched off at 0.25 s; a second burst at 0.5 s.
        std::vector<float> in(std::size_t(kRate), 0.0f);
        for (int i = 0; i < 480; ++i) {
            in[std::size_t(9600 + i)] = 0.8f * float(std::sin(2 * M_PI * 1000.0 * i / kRate));
            in[std::size_t(24000 + i)] = in[std::size_t(9600 + i)];
        }
        const std::vector<float> out = run(rack, Bus::Main, in, [&](int frame) {
            if (frame == 0) rack.setUnitOn(1, true);
            if (frame == 11776) rack.setUnitOn(1, false);
        });
        const float burst = peak(in, 9600, 10080);
        const float firstRepeat = peak(out, 9600 + 4800, 10080 + 4800);
        const float secondRepeat = peak(out, 24000 + 4800, 24480 + 4800);
        if (cut) {
            EXPECT_LT(firstRepeat, 1e-6f) << "a cut unit left its repeat";
        } else {
            EXPECT_NEAR(firstRepeat, 0.5f * burst, 0.01f) << "the tail did not ring out";
        }
        EXPECT_LT(secondRepeat, 1e-6f) << "sound after the switch-off was repeated";
        EXPECT_NEAR(peak(out, 24000, 24480), burst, 1e-6f) << "the later sound is not dry";
        // Rung out, the unit stops running and its repeat is forgotten.
        EXPECT_FALSE(rack.busy(Bus::Main));
    }
}

TEST(EffectRack, RandomSwitchingOfUnitsSlotsAndEffectsNeverStepsBeyondTheSignal) {
    const unsigned seed = 20261209;
    std::mt19937 random(seed);
    Rack rack;
    rack.prepare(kRate);
    ASSERT_TRUE(rack.load(0, 0, copies<Half>()));
    ASSERT_TRUE(rack.load(0, 1, copies<Repeat>()));
    ASSERT_TRUE(rack.load(2, 0, copies<Half>()));
    for (int u : {0, 2})
        rack.setAssigned(u, Bus::LeftDeck, true);
    const std::vector<float> in = sine(10 * kRate, 220);
    const std::vector<float> out = run(rack, Bus::LeftDeck, in, [&](int) {
        switch (random() % 12) {
            case 0:
                rack.setUnitOn(int(random() % 4), random() % 2 == 0);
                break;
            case 1:
                rack.setSlotOn(0, int(random() % 3), random() % 2 == 0);
                break;
            case 2:
                rack.setMix(int(random() % 4), float(random() % 101) / 100.0f);
                break;
            case 3:
                rack.setAssigned(0, Bus::LeftDeck, random() % 2 == 0);
                break;
            case 4:
                rack.load(0, 0, random() % 2 ? copies<Repeat>() : copies<Half>());
                break;
            case 5:
                rack.setCutTails(0, random() % 2 == 0);
                break;
            default:
                break;
        }
    });
    // The repeat doubles no slope: a sum of two sines at most 1.5 of the level steps 1.5 times.
    EXPECT_LE(largestStep(out), 1.5f * largestStep(in) * 1.05f) << "seed " << seed;
    for (float sample : out)
        ASSERT_TRUE(std::isfinite(sample)) << "seed " << seed;
}

TEST(EffectRack, ASwappedEffectFadesTheOldOneOutAndTheNewOneIn) {
    Rack rack;
    rack.prepare(kRate);
    ASSERT_TRUE(rack.load(3, 0, copies<Half>()));
    rack.setAssigned(3, Bus::Phones, true);
    rack.setUnitOn(3, true);
    const std::vector<float> in = sine(kRate / 2);
    const std::vector<float> out = run(rack, Bus::Phones, in, [&](int frame) {
        if (frame == 8192) rack.load(3, 0, copies<Repeat>());
        if (frame == 16384) rack.load(3, 0, {});  // emptied: the unit has nothing left to do
    });
    // The input and its repeat at half level: at most half as steep again as the input itself.
    EXPECT_LE(largestStep(out), 1.5f * largestStep(in) * 1.01f);
    for (std::size_t i = 16384 + 1200; i < out.size(); ++i)
        ASSERT_EQ(out[i], in[i]) << i;
}

}  // namespace
}  // namespace kelvra::audio::fx
