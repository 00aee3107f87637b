// Every control of the main window by the name its window gives it, so a session script, a test
// or a trace can reach any of them without knowing how the panels hold them.
// Thread: UI thread only.
#pragma once

#include <QString>
#include <vector>

#include "app/MainControls.h"

namespace kelvra::app {

struct NamedControl {
    QString name;
    int index = -1;  // the element of a control group (speedCB 1..4, monitorCMB 0..2); else -1
    ButtonModel* button = nullptr;
    SliderModel* slider = nullptr;
    TextModel* text = nullptr;
    JogModel* jog = nullptr;
};

std::vector<NamedControl> namedControls(MainControls& controls);
// The control named `name` (with `index` for a group member); an empty entry when none.
NamedControl findControl(MainControls& controls, const QString& name, int index);

}  // namespace kelvra::app
