// The options window `optionsF` bound to OptionsControls: the frames of settings as the window
// shows them, its own title bar, icon and close button. Escape, Enter and the close button
// close it; the owner hears of it through closed() and writes the settings back. It is dragged
// by its title bar, its icon and its body.
#pragma once

#include "core/BorderlessWindow.h"
#include "settings/OptionsControls.h"

namespace kelvra::settings {

class OptionsWindowView : public BorderlessWindow {
    Q_OBJECT
  public:
    explicit OptionsWindowView(OptionsControls& controls, QWidget* parent = nullptr);

  signals:
    // The window has closed (close button, Escape, Enter, or the program closing it).
    void closed();

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
};

}  // namespace kelvra::settings
