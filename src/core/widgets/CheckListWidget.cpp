#include "core/widgets/CheckListWidget.h"

namespace kelvra::widgets {

CheckListWidget::CheckListWidget(CheckListModel& model, QWidget* parent)
    : QListWidget(parent), model_(model) {
    setSelectionMode(QAbstractItemView::NoSelection);
    setFocusPolicy(Qt::NoFocus);
    // Long port names are cut in the middle, where they repeat the device's name, rather than
    // scrolled sideways.
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setTextElideMode(Qt::ElideMiddle);
    setUniformItemSizes(true);
    setStyleSheet(QStringLiteral(
        "QListWidget { color: #e8ecf0; background: #0e1114; border: 1px solid #3d4752;"
        " border-radius: 4px; font: 13px \"DejaVu Sans\"; }"
        "QListWidget::item { padding: 1px 4px; }"
        "QListWidget::indicator { width: 12px; height: 12px;"
        " border: 1px solid #5a6572;"
        " background: #0e1114; }"
        "QListWidget::indicator:checked { background: #00ff00; border: 1px solid #008000; }"));
    connect(this, &QListWidget::itemChanged, this, [this](QListWidgetItem* item) {
        if (showing_) return;
        const int index = row(item);
        const bool ticked = item->checkState() == Qt::Checked;
        if (index < model_.count() && model_.entries()[std::size_t(index)].checked != ticked)
            model_.toggle(index);
    });
    connect(&model_, &CheckListModel::changed, this, &CheckListWidget::modelChanged);
    modelChanged();
}

void CheckListWidget::modelChanged() {
    showing_ = true;
    while (count() > model_.count())
        delete takeItem(count() - 1);
    while (count() < model_.count())
        addItem(new QListWidgetItem(this));
    for (int i = 0; i < model_.count(); ++i) {
        QListWidgetItem* line = item(i);
        line->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
        line->setText(model_.text(i));
        line->setCheckState(model_.entries()[std::size_t(i)].checked ? Qt::Checked : Qt::Unchecked);
    }
    setToolTip(model_.toolTip());
    showing_ = false;
}

}  // namespace kelvra::widgets
