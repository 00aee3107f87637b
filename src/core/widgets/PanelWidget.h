// A rounded dark panel that groups controls on a window (the deck and mixer panels).
#pragma once

#include <QWidget>

namespace kelvra::widgets {

class PanelWidget : public QWidget {
    Q_OBJECT
  public:
    explicit PanelWidget(QWidget* parent = nullptr);

  protected:
    void paintEvent(QPaintEvent* event) override;
};

}  // namespace kelvra::widgets
