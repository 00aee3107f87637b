// One LV2 plugin as an effect on the stereo bus: one instance for a stereo plugin, two (left and
// right) for a mono one, fed planar copies of the bus and given back interleaved.
// Threads: as every Effect. prepare() instantiates, connects and activates on the controlling
// thread; setParam(), process() and reset() run on the mixer's consumer, where they neither
// allocate nor lock; the destructor deactivates and frees, off the audio thread.
#pragma once

#include <lilv/lilv.h>
#include <lv2/core/lv2.h>
#include <lv2/options/options.h>
#include <lv2/urid/urid.h>

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "audio/fx/Effect.h"

namespace kelvra::audio::fx {

namespace lv2 {
class Host;
struct PluginPlan;
}  // namespace lv2

class Lv2Effect final : public Effect {
  public:
    Lv2Effect(std::shared_ptr<lv2::Host> host, std::shared_ptr<const lv2::PluginPlan> plan);
    ~Lv2Effect() override;
    Lv2Effect(const Lv2Effect&) = delete;
    Lv2Effect& operator=(const Lv2Effect&) = delete;

    const EffectInfo& info() const override;
    // Instantiates afresh (a second call drops the old instances), loads the plugin's default
    // state where it has one, then sets the parameters as last set.
    void prepare(int rate, int maxFrames) override;
    // Continuous parameters glide there over a few milliseconds, run in short slices, since few
    // plugins smooth their own controls; whole-number and on/off ones jump.
    void setParam(int index, float value) override;
    void process(float* stereo, int frames, const ProcessContext& context) override;
    // Zeroes what Kelvra holds and ends every glide, but leaves the plugin alone: LV2 clears a
    // plugin only by deactivating and activating it again, and no plugin promises those are
    // real-time safe (a delay allocates its line when activated). A plugin's own history (its
    // delay line, its reverb's tail) therefore survives; preparing again starts it afresh.
    void reset() override;

    // False until prepared, or when the plugin could not be instantiated; the effect then
    // leaves its input as it is.
    bool ready() const { return !instances_.empty(); }
    const std::string& error() const { return error_; }

  private:
    struct AtomBuffer {
        std::vector<std::uint64_t> data;  // 64-bit words: atoms are 8-byte aligned
        bool input = false;
    };
    struct Instance {
        LilvInstance* handle = nullptr;
        bool active = false;
        std::vector<float> controls;  // by port index; output controls land here too
        std::vector<AtomBuffer> atoms;
    };

    void releaseLocked();
    void writeParam(int index, float value);
    void advanceGlides(int frames);
    void emptyAtoms(Instance& instance);
    void loadDefaultStateLocked();
    static void setPortValue(const char* symbol, void* self, const void* value, std::uint32_t size,
                             std::uint32_t type);

    std::shared_ptr<lv2::Host> host_;  // first, so the world outlives the instances
    std::shared_ptr<const lv2::PluginPlan> plan_;
    std::vector<int> paramPorts_;  // the port each parameter writes
    std::vector<std::uint32_t> tempoPorts_;

    int rate_ = 0, maxFrames_ = 0;
    std::vector<Instance> instances_;
    std::vector<float> audio_;  // in left, in right, out left, out right; maxFrames_ each
    std::string error_;

    struct Glide {
        float current = 0, target = 0, step = 0;
        int left = 0;  // frames
    };
    std::vector<Glide> glides_;  // by parameter
    int gliding_ = 0;            // how many glides have frames left

    std::int32_t maxBlock_ = 0, nominalBlock_ = 0;
    float sampleRate_ = 0;
    std::array<LV2_Options_Option, 4> options_{};
    LV2_Feature optionsFeature_{};
    std::array<const LV2_Feature*, 6> features_{};
    LV2_URID sequenceType_ = 0, chunkType_ = 0;
};

}  // namespace kelvra::audio::fx
