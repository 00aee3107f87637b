// The mixer panel `Mixer` bound to the mixer's controls: headphone level and routing, the main
// meter, Auto-DJ and options buttons, main volume and crossfader, and the set's recording. The
// panel takes the keyboard focus whenever the mouse is over the window, so that no slider or text
// box keeps it.
#pragma once

#include <array>

#include "core/widgets/PanelWidget.h"
#include "decks/DeckControls.h"

namespace kelvra::app {

class MixerPanelView : public widgets::PanelWidget {
    Q_OBJECT
  public:
    MixerPanelView(decks::MixerControls& controls, std::array<ButtonModel, 11>& hints,
                   QWidget* parent = nullptr);

    static constexpr int kWidth = 264;
    static constexpr int kHeight = 403;
};

}  // namespace kelvra::app
