// The mixer panel `Mixer` bound to the mixer's controls: headphone level and routing, the main
// meter, Auto-DJ and options buttons, main volume and crossfader, the set's recording, and each
// deck's tone strip beside it. The
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
    MixerPanelView(decks::MixerControls& controls, decks::DeckControls& left,
                   decks::DeckControls& right, std::array<ButtonModel, 11>& hints,
                   QWidget* parent = nullptr);

    // A tone strip (gain, EQ with kills, filter) for each deck on either side of the centre.
    static constexpr int kStripWidth = 62;
    static constexpr int kCentreWidth = 264;
    static constexpr int kWidth = kCentreWidth + 2 * kStripWidth;
    static constexpr int kHeight = 403;

  private:
    void centreContents(QWidget* centre, decks::MixerControls& controls,
                        std::array<ButtonModel, 11>& hints);
};

}  // namespace kelvra::app
