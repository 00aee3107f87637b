// The splash window's two texts: the version line and the loading progress.
#pragma once

#include "core/ControlModels.h"

namespace kelvra::app {

struct SplashControls {
    TextModel version;  // ver_label
    TextModel loading;  // loadingLABEL
};

}  // namespace kelvra::app
