// The row of effect units below the decks, bound to the units' controls: for each unit its on
// button, the buses it is put on, the cut-tails switch, the dry/wet and super knobs, and its
// three slots, each with its on button, the effect list and four parameter knobs with their
// names and values. A view only; EffectUnits does the rest. Thread: UI thread only.
#pragma once

#include "core/widgets/PanelWidget.h"
#include "effects/EffectControls.h"

namespace kelvra::app {

class EffectsRowView : public QWidget {
    Q_OBJECT
  public:
    explicit EffectsRowView(effects::EffectControls& controls, QWidget* parent = nullptr);

    static constexpr int kHeight = 206;

  protected:
    void resizeEvent(QResizeEvent* event) override;

  private:
    std::array<widgets::PanelWidget*, effects::kUnitCount> units_{};
};

}  // namespace kelvra::app
