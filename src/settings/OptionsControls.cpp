#include "settings/OptionsControls.h"

namespace kelvra::settings {

OptionsControls::OptionsControls()
    : seekAccuracy({"Medium ", "High"}),
      djSetup({"Club DJ ", "Battle - Mixer on Left", "Battle - Mixer on Right"}),
      skipSilence({"Off", "On"}),
      outputBackend({"PulseAudio/PipeWire", "JACK", "ALSA"}),
      outputPeriod({"64 frames", "128 frames", "256 frames", "512 frames", "1024 frames"}),
      outputRate({"As Quality", "44100 Hz", "48000 Hz", "96000 Hz"}),
      associate("Associate Music Files..."),
      close("", "Close") {
    device.setToolTip("Select Soundcard to use...");
    seekAccuracy.setToolTip("Use Medium for slow Machine...");
    buffer.setSteps(1, 2);
    autoMix.setSteps(1, 2);
    turntableStop.setSteps(200, 500);
    pitchRange.setSteps(1, 1);
    autoFade.setSteps(1, 5);
    autoFade.setToolTip(
        "Seconds the Auto-DJ takes to move the crossfader from one end to the other");
    outputBackend.setToolTip("The sound system the mix plays through");
    outputPhones.setToolTip("Where the headphones (cue) go");
    outputPeriod.setToolTip("Smaller: controls heard sooner. Larger: safer on a busy machine");
    outputRate.setToolTip("The output's sample rate, applied at once (JACK: the server's)");
    midiInputs.setToolTip(
        "The controllers Kelvra listens to; an unplugged one opens again when it "
        "is back");
    midiOutputs.setToolTip("The controllers whose lights Kelvra sets");
    controllerMapping.setToolTip(
        "What the controllers' buttons and knobs do: your own mapping files come first");
    skipSilence.setToolTip("Start songs at their first sound and mix before their closing silence");
}

}  // namespace kelvra::settings
