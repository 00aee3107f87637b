#include "settings/OptionsControls.h"

namespace kelvra::settings {

OptionsControls::OptionsControls()
    : seekAccuracy({"Medium ", "High"}),
      djSetup({"Club DJ ", "Battle - Mixer on Left", "Battle - Mixer on Right"}),
      associate("Associate Music Files..."),
      close("", "Close") {
    device.setToolTip("Select Soundcard to use...");
    seekAccuracy.setToolTip("Use Medium for slow Machine...");
    buffer.setSteps(1, 2);
    autoMix.setSteps(1, 2);
    turntableStop.setSteps(200, 500);
    pitchRange.setSteps(1, 1);
}

}  // namespace kelvra::settings
