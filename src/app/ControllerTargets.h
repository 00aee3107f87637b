// The program's controls as a controller's mapping names them: the session scripts' names, with
// the buttons that show their state on the deck display (play, pause, stop, cue) lit by its
// lamps, and the vertical faders moved up the way they are drawn. Thread: UI thread only.
#pragma once

#include "app/MainControls.h"
#include "controllers/ControllerMapper.h"

namespace kelvra::app {

controllers::ControlTarget controllerTarget(MainControls& controls, const QString& name, int index);

// A resolver over `controls` for a ControllerMapper.
inline controllers::ControllerMapper::Resolver controllerResolver(MainControls& controls) {
    return [&controls](const QString& name, int index) {
        return controllerTarget(controls, name, index);
    };
}

}  // namespace kelvra::app
