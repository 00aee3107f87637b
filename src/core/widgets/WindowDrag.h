// Moves a borderless window when the left mouse button goes down on one of its handles (title
// bar, icon, background, a panel). The window system moves it where it can; elsewhere the window
// follows the mouse until the button is released. Thread: UI thread only.
#pragma once

#include <QObject>
#include <QPoint>

class QWidget;

namespace kelvra::widgets {

class WindowDrag : public QObject {
    Q_OBJECT
  public:
    enum class Pointer { Keep, MoveArrows };

    explicit WindowDrag(QWidget& window);
    // Pressing on this widget (not on a child that takes the press) moves the window. With
    // MoveArrows the four-way arrow shows while the window moves.
    void addHandle(QWidget& handle, Pointer pointer = Pointer::MoveArrows);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    QWidget& window_;
    bool manual_ = false;
    QPoint grab_;  // from the window's top-left corner to the mouse
};

}  // namespace kelvra::widgets
