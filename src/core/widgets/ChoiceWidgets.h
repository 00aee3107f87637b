// Views of a ChoiceModel (a drop-down list, or a group of option buttons) and of a TextModel (a
// one-line text box that reports when the user leaves it). What the user picks or types goes to
// the model; what the program sets is shown without being reported back as the user's choice.
// Thread: UI thread only.
#pragma once

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QWidget>

#include "core/ControlModels.h"

namespace kelvra::widgets {

class ChoiceCombo : public QComboBox {
    Q_OBJECT
  public:
    explicit ChoiceCombo(ChoiceModel& model, QWidget* parent = nullptr);
    ChoiceModel& model() const { return model_; }

  private:
    void modelChanged();
    ChoiceModel& model_;
};

// One option button per entry, stacked top to bottom; the object names are the given name with
// the entry's index ("djSetupOpt_0", ...).
class OptionGroup : public QWidget {
    Q_OBJECT
  public:
    OptionGroup(ChoiceModel& model, const QString& buttonName, QWidget* parent = nullptr);
    ChoiceModel& model() const { return model_; }
    QAbstractButton* button(int index) const { return group_.button(index); }

  private:
    void modelChanged();
    ChoiceModel& model_;
    QString buttonName_;
    QButtonGroup group_;
};

class TextBox : public QLineEdit {
    Q_OBJECT
  public:
    explicit TextBox(TextModel& model, QWidget* parent = nullptr);
    TextModel& model() const { return model_; }

  protected:
    void focusOutEvent(QFocusEvent* event) override;

  private:
    TextModel& model_;
};

// A check box over a CheckModel, captioned with the model's caption.
class CheckBox : public QCheckBox {
    Q_OBJECT
  public:
    explicit CheckBox(CheckModel& model, QWidget* parent = nullptr);
    CheckModel& model() const { return model_; }

  private:
    CheckModel& model_;
};

}  // namespace kelvra::widgets
