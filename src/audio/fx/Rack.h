// The four effect units on the engine's buses. A unit is a chain of three slots; it can be put on
// the left deck, the right deck, the main mix and the headphones at once, and runs a copy of its
// chain on each, so one bus's echo never repeats another's. The mix of a deck's units is taken
// from the deck's send to the main mix (after its fader and the crossfader), so pulling the
// fader down lets an echo ring on as on a club mixer; the deck's headphone cue stays dry.
//
// Every change is glided: a unit or a slot going on or off, the dry/wet mix, an effect swapped
// in. A unit switched off keeps its tail effects (echo, reverb) ringing with no new sound going
// in, until they fall silent, unless it is set to cut them.
//
// Threads: load(), set…() and collect() belong to the controlling thread; the effects are made
// and prepared there and handed over whole through a bounded ring; what the audio thread lets go
// comes back the same way and is freed by collect(). prepare() only while no consumer runs.
// takeCommands(), busy() and process() belong to the mixer's consumer, where nothing blocks or
// allocates.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "audio/engine/SpscQueue.h"
#include "audio/fx/Effect.h"

namespace kelvra::audio::fx {

// The buses a unit can be put on.
enum class Bus : int { LeftDeck = 0, RightDeck = 1, Main = 2, Phones = 3 };
inline constexpr int kBuses = 4;
inline constexpr int kUnits = 4;
inline constexpr int kSlots = 3;
inline constexpr int kMaxParams = 32;

// One effect loaded into a slot: a copy for each bus, prepared, and its parameter values, which
// the controlling thread writes and the consumer hands to every copy when they change.
struct SlotLoad {
    std::array<std::unique_ptr<Effect>, kBuses> copies;
    std::array<std::atomic<float>, kMaxParams> values{};
    std::atomic<std::uint32_t> version{0};
    int paramCount = 0;
    bool tail = false;
};

class Rack {
  public:
    explicit Rack(int maxFrames = 4096);
    ~Rack();
    Rack(const Rack&) = delete;
    Rack& operator=(const Rack&) = delete;

    // ---- controlling thread
    // While no consumer runs: the rate every effect runs at; loaded effects are prepared again.
    void prepare(int rate);
    int rate() const { return rate_; }
    // Puts `copies` (one per bus, unprepared; all null to empty the slot) into a slot. The old
    // effect fades out first and the new one fades in. False when the ring to the consumer is
    // full (it is behind); nothing changes then.
    bool load(int unit, int slot, std::array<std::unique_ptr<Effect>, kBuses> copies);
    // A parameter of the slot's effect, in its own units (clamped to its range).
    void setParam(int unit, int slot, int index, float value);
    void setUnitOn(int unit, bool on);
    void setMix(int unit, float wet);  // 0 dry only .. 1 wet only
    void setAssigned(int unit, Bus bus, bool on);
    void setSlotOn(int unit, int slot, bool on);
    void setCutTails(int unit, bool cut);
    // The length of a beat on this bus now (0.5 s when it has no steady beat).
    void setBeatSeconds(Bus bus, double seconds);
    // Frees what the consumer let go.
    void collect();

    // ---- consumer
    void takeCommands();
    // Something on this bus has to run this period: a unit on it, or one still ringing out.
    bool busy(Bus bus) const { return busy_[std::size_t(bus)]; }
    // Runs the bus's units over `frames` interleaved stereo frames in place.
    void process(Bus bus, float* stereo, int frames);

  private:
    struct Install {
        int unit = 0, slot = 0;
        SlotLoad* load = nullptr;
    };
    // A glided value that lands exactly on its target.
    struct Glide {
        float now = 0, target = 0;
        bool moving() const { return now != target; }
    };
    // A slot's or a unit's state on one bus: `feed` lets new sound in, `keep` keeps what it
    // makes in the output; both 1 while on. Off with a tail, the feed closes and the sound made
    // rings out until quiet; cut, `keep` closes too.
    struct Stage {
        Glide feed, keep, mix;
        int quietFrames = 0;
    };
    struct SlotState {
        SlotLoad* load = nullptr;
        SlotLoad* waiting = nullptr;  // swapped in once the old effect has faded out
        std::uint32_t seenVersion = 0;
        std::array<Stage, kBuses> stage;
    };
    struct UnitState {
        std::array<SlotState, kSlots> slotStates;
        std::array<Stage, kBuses> stage;
    };
    struct Controls {
        std::atomic<bool> on{false}, cutTails{false};
        std::atomic<float> mix{1.0f};
        std::array<std::atomic<bool>, kBuses> assigned{};
        // A slot plays what is loaded into it until it is switched off.
        std::array<std::atomic<bool>, kSlots> slotOn{true, true, true};
    };

    void prepareLoad(SlotLoad& load) const;
    void swapWaiting(SlotState& slot);
    void syncParams(SlotState& slot);
    // Sets a stage's targets for this period: on, ringing out, or cut.
    void aim(Stage& stage, bool wanted, bool tail, bool cut, float mix) const;
    // Runs a unit's chain, or one slot's effect, over `buffer` in place, blended by its stage.
    void runUnit(int unit, int bus, float* buffer, int frames);
    void runSlot(int unit, SlotState& slot, int bus, float* buffer, int frames);
    // After a period: a stage ringing out that has fallen quiet stops for good. True when the
    // stage is now silent and what it holds should be forgotten.
    bool settle(Stage& stage, float peak, int frames) const;
    void blend(Stage& stage, float* buffer, const float* dry, const float* fed, int frames,
               float& peak) const;

    int rate_ = 44100;
    int maxFrames_;
    float step_ = 1.0f / 441;  // a full glide in 10 ms
    int quietLimit_ = 8820;    // 200 ms below the floor ends a ring-out
    std::array<Controls, kUnits> controls_;
    std::array<SlotLoad*, kUnits * kSlots> newest_{};  // the controlling thread's, not owned
    std::array<bool, kUnits * kSlots> swapPending_{};  // the consumer's
    std::array<UnitState, kUnits> units_;
    std::array<std::atomic<double>, kBuses> beatSeconds_{};
    std::array<bool, kBuses> busy_{};
    engine::SpscQueue<Install> installs_;
    engine::SpscQueue<SlotLoad*> retired_;
    // Consumer scratch: a unit's and a slot's dry input, and what was fed into their effects.
    std::vector<float> unitDry_, unitFed_, slotDry_, slotFed_;
};

}  // namespace kelvra::audio::fx
