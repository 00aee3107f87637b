// A view of a CheckListModel: one check box line per entry. Ticks by the user go to the model;
// what the program sets is shown without being reported back. Thread: UI thread only.
#pragma once

#include <QListWidget>

#include "core/CheckListModel.h"

namespace kelvra::widgets {

class CheckListWidget : public QListWidget {
    Q_OBJECT
  public:
    explicit CheckListWidget(CheckListModel& model, QWidget* parent = nullptr);
    CheckListModel& model() const { return model_; }

  private:
    void modelChanged();
    CheckListModel& model_;
    bool showing_ = false;
};

}  // namespace kelvra::widgets
