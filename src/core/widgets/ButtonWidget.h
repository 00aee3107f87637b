// A button bound to a ButtonModel: the model's caption (or, where it has none, a face the window
// gives it), its tool tip, its back colour when one is set (lit bright green, unlit dark green),
// and its visibility. Clicks, and presses and releases of any mouse button, go to the model.
// Thread: UI thread only.
#pragma once

#include <QAbstractButton>

#include "core/ControlModels.h"

namespace kelvra::widgets {

class ButtonWidget : public QAbstractButton {
    Q_OBJECT
  public:
    enum class Style {
        Normal,  // a raised key
        Flat,    // a label button on a title bar
        Hint,    // a keyboard-shortcut hint: a small tag, not clickable
    };

    explicit ButtonWidget(ButtonModel& model, QWidget* parent = nullptr);

    ButtonModel& model() const { return model_; }
    // What the button shows when the model has no caption (a symbol or a short word).
    void setFace(const QString& face);
    void setStyle(Style style);
    void setFacePixelSize(int pixels);
    // The colour the button is drawn in: the model's back colour, or the style's own.
    QColor backColour() const;
    QString shownText() const;

    QSize sizeHint() const override;

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

  private:
    void modelChanged();

    ButtonModel& model_;
    QString face_;
    Style style_ = Style::Normal;
    int facePixels_ = 13;
    bool hovered_ = false;
};

}  // namespace kelvra::widgets
