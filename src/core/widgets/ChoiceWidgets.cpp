#include "core/widgets/ChoiceWidgets.h"

#include <QFocusEvent>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QStandardItemModel>
#include <QVBoxLayout>

namespace kelvra::widgets {

ChoiceCombo::ChoiceCombo(ChoiceModel& model, QWidget* parent) : QComboBox(parent), model_(model) {
    // activated() fires only for the user's picks, never for the program's.
    connect(this, &QComboBox::activated, &model_, [this](int index) { model_.choose(index); });
    connect(&model_, &ChoiceModel::changed, this, &ChoiceCombo::modelChanged);
    modelChanged();
}

void ChoiceCombo::modelChanged() {
    const QSignalBlocker blocker(this);
    QStringList shown;
    for (int i = 0; i < count(); ++i)
        shown << itemText(i);
    if (shown != model_.items()) {
        clear();
        addItems(model_.items());
    }
    // What the user may not pick is greyed out in the list.
    if (auto* items = qobject_cast<QStandardItemModel*>(QComboBox::model()))
        for (int i = 0; i < count(); ++i)
            if (QStandardItem* item = items->item(i)) item->setEnabled(model_.isItemEnabled(i));
    setCurrentIndex(model_.currentIndex());
    setToolTip(model_.toolTip());
}

OptionGroup::OptionGroup(ChoiceModel& model, const QString& buttonName, QWidget* parent)
    : QWidget(parent), model_(model), buttonName_(buttonName) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(4);
    group_.setExclusive(true);
    connect(&group_, &QButtonGroup::idClicked, &model_, [this](int index) {
        if (index != model_.currentIndex()) model_.choose(index);
    });
    connect(&model_, &ChoiceModel::changed, this, &OptionGroup::modelChanged);
    modelChanged();
}

void OptionGroup::modelChanged() {
    const QStringList items = model_.items();
    if (group_.buttons().size() != items.size()) {
        for (QAbstractButton* old : group_.buttons()) {
            group_.removeButton(old);
            delete old;
        }
        for (int i = 0; i < items.size(); ++i) {
            auto* button = new QRadioButton(this);
            button->setObjectName(buttonName_ + QStringLiteral("_%1").arg(i));
            button->setFocusPolicy(Qt::NoFocus);
            layout()->addWidget(button);
            group_.addButton(button, i);
        }
    }
    for (int i = 0; i < items.size(); ++i) {
        QAbstractButton* button = group_.button(i);
        button->setText(items[i]);
        button->setToolTip(model_.toolTip());
        button->setEnabled(model_.isItemEnabled(i));
        // Unchecking inside an exclusive group needs exclusivity off for a moment.
        group_.setExclusive(false);
        button->setChecked(i == model_.currentIndex());
        group_.setExclusive(true);
    }
    setToolTip(model_.toolTip());
}

TextBox::TextBox(TextModel& model, QWidget* parent) : QLineEdit(parent), model_(model) {
    setText(model_.text());
    setToolTip(model_.toolTip());
    connect(this, &QLineEdit::textEdited, &model_,
            [this](const QString& text) { model_.edit(text); });
    connect(&model_, &TextModel::changed, this, [this] {
        if (text() != model_.text()) setText(model_.text());
        setToolTip(model_.toolTip());
    });
}

void TextBox::focusOutEvent(QFocusEvent* event) {
    QLineEdit::focusOutEvent(event);
    model_.leave();
}

CheckBox::CheckBox(CheckModel& model, QWidget* parent) : QCheckBox(parent), model_(model) {
    setText(model_.caption());
    setChecked(model_.isChecked());
    setFocusPolicy(Qt::NoFocus);
    // The model decides what a click does; the box only shows its value.
    connect(this, &QCheckBox::clicked, &model_, [this] {
        setChecked(model_.isChecked());
        model_.click();
    });
    connect(&model_, &CheckModel::changed, this, [this] { setChecked(model_.isChecked()); });
}

}  // namespace kelvra::widgets
