// The association window `frmAssociate` bound to AssociateControls: the five type boxes in
// their frame, "Update", the start-up box with its label and the note. Escape and the close
// button close it without changing anything; the owner hears of every close through closed().
// Thread: UI thread only.
#pragma once

#include "core/BorderlessWindow.h"
#include "settings/AssociateControls.h"

namespace kelvra::settings {

class AssociateWindow final : public BorderlessWindow {
    Q_OBJECT
  public:
    explicit AssociateWindow(AssociateControls& controls, QWidget* owner = nullptr);

  signals:
    // Escape or the close button: the logic's cancel runs.
    void cancelled();

  protected:
    void keyPressEvent(QKeyEvent* event) override;
};

}  // namespace kelvra::settings
