// The parts every borderless window of the program draws itself: a dark panel, the program's
// icon and a title bar with the icon, the caption and the window buttons.
#pragma once

#include <QLabel>
#include <QPixmap>
#include <QWidget>

namespace kelvra::widgets {

// Puts a window in the middle of the screen it is on.
void centreOnScreen(QWidget& window);

// The program's icon, drawn in code: a record with a green label.
QPixmap programIcon(int size);

// A rounded dark panel; children sit on it.
class PanelWidget : public QWidget {
    Q_OBJECT
  public:
    explicit PanelWidget(QWidget* parent = nullptr);

  protected:
    void paintEvent(QPaintEvent* event) override;
};

// The title bar: a label named "titlebar" across the whole width with the caption, the icon
// "imgIcon" over its left end, and room at the right end for the window buttons, which the
// window places itself.
class TitleBar : public QWidget {
    Q_OBJECT
  public:
    TitleBar(const QString& caption, QWidget* parent = nullptr);
    QLabel& caption() const { return *caption_; }
    QLabel& icon() const { return *icon_; }
    static constexpr int kHeight = 26;

  protected:
    void resizeEvent(QResizeEvent* event) override;

  private:
    QLabel* caption_;
    QLabel* icon_;
};

}  // namespace kelvra::widgets
