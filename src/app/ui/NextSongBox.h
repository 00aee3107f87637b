// The box `nextSongTXT` showing the next song's line. It is never edited: pressing the mouse on
// it tells the model (startDrag()) and starts a drag that carries the line; the deck it is
// dropped on loads the next song.
// Hovering shows the whole line as the tool tip.
#pragma once

#include <QWidget>

#include "core/ControlModels.h"

namespace kelvra::app {

class NextSongBox : public QWidget {
    Q_OBJECT
  public:
    explicit NextSongBox(TextModel& model, QWidget* parent = nullptr);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void enterEvent(QEnterEvent* event) override;

  private:
    TextModel& model_;
};

}  // namespace kelvra::app
