// The keyboard sheet: every key of the map, grouped by deck, mixer and Auto-DJ, laid over the
// main window in the dark theme. It shows and hides with its model; a click closes it.
// Thread: UI thread only.
#pragma once

#include <QWidget>
#include <vector>

#include "app/KeyboardMap.h"

namespace kelvra {
class ButtonModel;
}

namespace kelvra::app {

class KeyboardSheetView : public QWidget {
    Q_OBJECT
  public:
    KeyboardSheetView(ButtonModel& shown, std::vector<KeyboardMap::HelpLine> lines,
                      QWidget* parent);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

  private:
    ButtonModel& shown_;
    std::vector<KeyboardMap::HelpLine> lines_;
};

}  // namespace kelvra::app
