// The tag editor window `editTagsF` bound to TagEditorControls: the "Tag Format:" options, the
// three frames of boxes (one visible), the buttons, its own title bar, icon and close button.
// Escape and the close button press Cancel. Thread: UI thread only.
#pragma once

#include "core/BorderlessWindow.h"
#include "tags/TagEditorControls.h"

class QStackedLayout;

namespace kelvra::tags {

class TagEditorWindow final : public BorderlessWindow {
  public:
    explicit TagEditorWindow(TagEditorControls& controls, QWidget* owner = nullptr);

  protected:
    void keyPressEvent(QKeyEvent* event) override;

  private:
    TagEditorControls& controls_;
    QStackedLayout* frames_;
};

}  // namespace kelvra::tags
