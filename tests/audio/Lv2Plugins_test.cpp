// The LV2 catalog and its effects against the plugins installed on this machine (the LV2 example
// plugins and the swh set) and against bundles written for the test: what is listed and why a
// plugin cannot run, levels and channels through a mono plugin run as two, a stereo delay over a
// minute of noise, and effects made and freed in numbers (the sanitizer build sees any leak).
#include "audio/fx/Lv2Plugins.h"

#include <gtest/gtest.h>
#include <QTemporaryDir>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <numbers>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace kelvra::audio::fx {
namespace {

constexpr int kRate = 48000;
constexpr int kPeriod = 256;
const std::string kAmp = "lv2:http://lv2plug.in/plugins/eg-amp";
const std::string kMidiGate = "lv2:http://lv2plug.in/plugins/eg-midigate";
const std::string kSwh = "lv2:http://plugin.org.uk/swh-plugins/";

// Listing every installed bundle takes a moment, so the installed tests share one catalog.
const Lv2Plugins& installed() {
    static const Lv2Plugins catalog;
    return catalog;
}

int paramIndex(const EffectInfo& info, const std::string& symbol) {
    for (std::size_t i = 0; i < info.params.size(); ++i)
        if (info.params[i].symbol == symbol) return int(i);
    return -1;
}

void run(Effect& effect, std::vector<float>& stereo) {
    const int frames = int(stereo.size() / 2);
    for (int at = 0; at < frames; at += kPeriod)
        effect.process(stereo.data() + 2 * at, std::min(kPeriod, frames - at), {});
}

// Sets LV2_PATH for one catalog and puts back what was there.
class ScopedLv2Path {
  public:
    explicit ScopedLv2Path(const std::string& path) {
        if (const char* old = std::getenv("LV2_PATH")) old_ = old;
        setenv("LV2_PATH", path.c_str(), 1);
    }
    ~ScopedLv2Path() {
        if (old_)
            setenv("LV2_PATH", old_->c_str(), 1);
        else
            unsetenv("LV2_PATH");
    }

  private:
    std::optional<std::string> old_;
};

TEST(Lv2Plugins, TheMonoAmplifierRunsOnBothChannelsApartAndGlidesToItsGain) {
    const EffectInfo* info = installed().find(kAmp);
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->name, "Simple Amplifier");
    EXPECT_TRUE(info->usable) << info->whyNotUsable;
    EXPECT_FALSE(info->tail);
    ASSERT_EQ(info->params.size(), 1u);
    const ParamInfo& gain = info->params[0];
    EXPECT_EQ(gain.symbol, "gain");
    EXPECT_EQ(gain.unit, "dB");
    EXPECT_FLOAT_EQ(gain.min, -90);
    EXPECT_FLOAT_EQ(gain.max, 24);
    EXPECT_FLOAT_EQ(gain.value, 0);
    EXPECT_EQ(gain.kind, ParamInfo::Kind::Continuous);
    EXPECT_EQ(info->superParam, 0);

    std::unique_ptr<Effect> amp = installed().make(kAmp);
    ASSERT_NE(amp, nullptr);
    amp->prepare(kRate, kPeriod);
    amp->setParam(0, -6);
    // Different tones left and right: each must come out as its own input, scaled.
    const int frames = kRate / 2;
    std::vector<float> stereo(2 * std::size_t(frames));
    for (int i = 0; i < frames; ++i) {
        stereo[2 * std::size_t(i)] = 0.5f * float(std::sin(2 * std::numbers::pi * 440 * i / kRate));
        stereo[2 * std::size_t(i) + 1] =
            0.3f * float(std::sin(2 * std::numbers::pi * 1250 * i / kRate));
    }
    const std::vector<float> dry = stereo;
    run(*amp, stereo);
    const double expected = std::pow(10.0, -6.0 / 20);
    for (int channel = 0; channel < 2; ++channel) {
        double wet = 0, in = 0, residue = 0;
        for (int i = kRate / 10; i < frames; ++i) {  // past the glide
            const std::size_t at = 2 * std::size_t(i) + std::size_t(channel);
            wet += double(stereo[at]) * stereo[at];
            in += double(dry[at]) * dry[at];
            residue = std::max(residue, std::abs(stereo[at] - expected * dry[at]));
        }
        EXPECT_NEAR(10 * std::log10(wet / in), -6.0, 0.1) << "channel " << channel;
        EXPECT_LT(residue, 1e-3) << "channel " << channel << " carries the other side";
    }

    // A 40 dB cut on a steady level ramps down instead of jumping in one sample.
    std::vector<float> level(2 * std::size_t(kRate / 10), 0.5f);
    amp->setParam(0, -40);
    run(*amp, level);
    float steepest = 0;
    for (std::size_t i = 2; i < level.size(); i += 2)
        steepest = std::max(steepest, std::abs(level[i] - level[i - 2]));
    EXPECT_LT(steepest, 0.05f) << "the gain jumped";
    EXPECT_NEAR(level[level.size() - 2], 0.005f, 1e-4f);
    EXPECT_NEAR(level.back(), 0.005f, 1e-4f);
}

TEST(Lv2Plugins, InstalledPluginsAreSortedIntoUsableAndNotWithTheReason) {
    struct Case {
        std::string id;
        bool usable;
        std::string why;  // a part of the reason
        bool tail;
    };
    const Case cases[] = {
        {kMidiGate, true, "", false},  // mono, with an event input
        {"lv2:http://lv2plug.in/plugins/eg-sampler", false,
         "needs the host feature http://lv2plug.in/ns/ext/worker#schedule", false},
        {"lv2:http://lv2plug.in/plugins/eg-params", false, "has no audio input", false},
        // An oscillator is a generator only through the class hierarchy.
        {kSwh + "analogueOsc", false, "generator", false},
        {kSwh + "gverb", false, "has 1 audio input and 2 audio outputs", true},
        {kSwh + "lcrDelay", true, "", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.id);
        const EffectInfo* info = installed().find(c.id);
        ASSERT_NE(info, nullptr);
        EXPECT_EQ(info->usable, c.usable);
        EXPECT_NE(info->whyNotUsable.find(c.why), std::string::npos) << info->whyNotUsable;
        EXPECT_EQ(info->tail, c.tail);
        std::string why;
        EXPECT_EQ(installed().make(c.id, &why) != nullptr, c.usable) << why;
        if (!c.usable) {
            EXPECT_NE(why.find(c.why), std::string::npos) << why;
        }
    }
    for (const EffectInfo& info : installed().effects()) {
        SCOPED_TRACE(info.id);
        EXPECT_EQ(info.id.rfind("lv2:", 0), 0u);
        EXPECT_EQ(info.usable, info.whyNotUsable.empty());
        for (const ParamInfo& param : info.params) {
            EXPECT_LT(param.min, param.max) << param.symbol;
            EXPECT_GE(param.value, param.min) << param.symbol;
            EXPECT_LE(param.value, param.max) << param.symbol;
        }
    }

    // With no note on its event input the gate stays shut: silence, and nothing read from an
    // event buffer left unset.
    std::unique_ptr<Effect> gate = installed().make(kMidiGate);
    ASSERT_NE(gate, nullptr);
    gate->prepare(kRate, kPeriod);
    std::vector<float> stereo(2 * std::size_t(kRate / 10), 0.5f);
    run(*gate, stereo);
    for (float sample : stereo)
        ASSERT_EQ(sample, 0.0f);
}

TEST(Lv2Plugins, AStereoDelayListsItsPortsAndTakesAMinuteOfNoiseMovedAtRandom) {
    const std::string id = kSwh + "lcrDelay";
    const EffectInfo* info = installed().find(id);
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->name, "L/C/R Delay");
    for (const char* symbol : {"ldel", "llev", "cdel", "clev", "rdel", "rlev", "feedback", "high_d",
                               "low_d", "spread", "wet"})
        EXPECT_GE(paramIndex(*info, symbol), 0) << symbol;
    const int feedback = paramIndex(*info, "feedback");
    ASSERT_GE(feedback, 0);
    EXPECT_FLOAT_EQ(info->params[std::size_t(feedback)].min, -100);
    EXPECT_FLOAT_EQ(info->params[std::size_t(feedback)].max, 100);

    std::unique_ptr<Effect> delay = installed().make(id);
    ASSERT_NE(delay, nullptr);
    delay->prepare(kRate, 512);
    const unsigned seed = std::random_device{}();
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 random(seed);
    std::uniform_real_distribution<float> noise(-1, 1), unit(0, 1);
    std::vector<float> period(2 * 512);
    double energy = 0;
    for (int second = 0; second < 60; ++second) {
        for (std::size_t i = 0; i < info->params.size(); ++i) {
            const ParamInfo& param = info->params[i];
            delay->setParam(int(i), param.min + unit(random) * (param.max - param.min));
        }
        for (int at = 0; at < kRate; at += 512) {
            for (float& sample : period)
                sample = 0.5f * noise(random);
            delay->process(period.data(), 512, {});
            for (float sample : period) {
                ASSERT_TRUE(std::isfinite(sample)) << "at second " << second;
                energy += double(sample) * sample;
            }
        }
    }
    EXPECT_GT(energy, 0);
}

TEST(Lv2Plugins, ABundleNeedingWhatKelvraDoesNotOfferIsListedWithTheReason) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const std::string bundle = folder.path().toStdString() + "/test.lv2";
    std::filesystem::create_directories(bundle);
    const std::string prefixes =
        "@prefix lv2: <http://lv2plug.in/ns/lv2core#> .\n"
        "@prefix rdfs: <http://www.w3.org/2000/01/rdf-schema#> .\n"
        "@prefix doap: <http://usefulinc.com/ns/doap#> .\n"
        "@prefix urid: <http://lv2plug.in/ns/ext/urid#> .\n"
        "@prefix opts: <http://lv2plug.in/ns/ext/options#> .\n"
        "@prefix bufsz: <http://lv2plug.in/ns/ext/buf-size#> .\n"
        "@prefix t: <http://example.org/kelvra-test/> .\n";
    std::ofstream(bundle + "/manifest.ttl")
        << prefixes
        << "t:needy a lv2:Plugin ; lv2:binary <missing.so> ; rdfs:seeAlso <plugins.ttl> .\n"
           "t:lost a lv2:Plugin ; lv2:binary <missing.so> ; rdfs:seeAlso <plugins.ttl> .\n"
           "t:quad a lv2:Plugin ; lv2:binary <missing.so> ; rdfs:seeAlso <plugins.ttl> .\n"
           "t:cv a lv2:Plugin ; lv2:binary <missing.so> ; rdfs:seeAlso <plugins.ttl> .\n"
           "t:synth a lv2:Plugin ; lv2:binary <missing.so> ; rdfs:seeAlso <plugins.ttl> .\n";
    auto audio = [](int index, const char* direction) {
        return "[ a lv2:AudioPort , lv2:" + std::string(direction) + " ; lv2:index " +
               std::to_string(index) + " ; lv2:symbol \"a" + std::to_string(index) +
               "\" ; lv2:name \"A\" ]";
    };
    const std::string monoPorts = audio(0, "InputPort") + " , " + audio(1, "OutputPort");
    std::ofstream(bundle + "/plugins.ttl")
        << prefixes
        << "t:needy a lv2:Plugin ; doap:name \"Needy\" ;\n"
           "  lv2:requiredFeature urid:map , <http://example.org/ns/ext/time-machine> ;\n"
           "  lv2:port "
        << monoPorts << " .\n"
        << "t:lost a lv2:Plugin ; doap:name \"Lost\" ;\n"
           "  lv2:requiredFeature urid:map , urid:unmap , opts:options , "
           "bufsz:boundedBlockLength ;\n"
           "  lv2:port "
        << monoPorts << " .\n"
        << "t:quad a lv2:Plugin ; doap:name \"Quad\" ; lv2:port " << audio(0, "InputPort") << " , "
        << audio(1, "InputPort") << " , " << audio(2, "OutputPort") << " , "
        << audio(3, "OutputPort") << " , " << audio(4, "OutputPort") << " , "
        << audio(5, "OutputPort") << " .\n"
        << "t:cv a lv2:Plugin ; doap:name \"Voltage\" ; lv2:port " << monoPorts
        << " , [ a lv2:CVPort , lv2:InputPort ; lv2:index 2 ; lv2:symbol \"cv\" ; "
           "lv2:name \"CV\" ] .\n"
        << "t:synth a lv2:Plugin , lv2:InstrumentPlugin ; doap:name \"Synth\" ; lv2:port "
        << monoPorts << " .\n";

    std::optional<Lv2Plugins> catalog;
    {
        ScopedLv2Path path(folder.path().toStdString());
        catalog.emplace();
    }
    ASSERT_EQ(catalog->effects().size(), 5u);
    struct Case {
        const char* id;
        const char* why;
    };
    for (const Case& c : {Case{"lv2:http://example.org/kelvra-test/needy",
                               "needs the host feature http://example.org/ns/ext/time-machine"},
                          // Every feature it needs is offered: only its missing library stops it.
                          Case{"lv2:http://example.org/kelvra-test/lost", "library"},
                          Case{"lv2:http://example.org/kelvra-test/quad", "has 4 audio outputs"},
                          Case{"lv2:http://example.org/kelvra-test/cv", "has a CV port (cv)"},
                          Case{"lv2:http://example.org/kelvra-test/synth", "is an instrument"}}) {
        SCOPED_TRACE(c.id);
        const EffectInfo* info = catalog->find(c.id);
        ASSERT_NE(info, nullptr);
        EXPECT_FALSE(info->usable);
        EXPECT_NE(info->whyNotUsable.find(c.why), std::string::npos) << info->whyNotUsable;
        std::string why;
        EXPECT_EQ(catalog->make(c.id, &why), nullptr);
        EXPECT_NE(why.find(c.why), std::string::npos) << why;
    }
}

TEST(Lv2Plugins, EffectsMadeAndFreedInNumbersOutliveTheirCatalogAndLeakNothing) {
    std::vector<float> stereo(2 * kPeriod, 0.25f);
    for (int round = 0; round < 50; ++round) {
        for (const std::string& id : {kAmp, kMidiGate, kSwh + "lcrDelay"}) {
            std::unique_ptr<Effect> effect = installed().make(id);
            ASSERT_NE(effect, nullptr) << id;
            effect->prepare(kRate, kPeriod);
            if (!effect->info().params.empty()) effect->setParam(0, effect->info().params[0].max);
            effect->process(stereo.data(), kPeriod, {});
            effect->prepare(44100, 2 * kPeriod);  // again: the first instances go
            effect->process(stereo.data(), kPeriod, {});
            effect->reset();
        }
    }
    // The world stays as long as an effect made from it does.
    std::unique_ptr<Effect> survivor;
    {
        Lv2Plugins catalog;
        survivor = catalog.make(kAmp);
    }
    ASSERT_NE(survivor, nullptr);
    survivor->prepare(kRate, kPeriod);
    survivor->process(stereo.data(), kPeriod, {});
    for (float sample : stereo)
        ASSERT_TRUE(std::isfinite(sample));
}

}  // namespace
}  // namespace kelvra::audio::fx
