// One deck panel (`Left_Deck` or `Right_Deck`) bound to the deck's controls. Both sides are this
// one class; the right deck is the left one mirrored, so each deck's pitch slider sits at the
// window's outer edge and its volume and meter face the mixer. Drops on the panel, its transport
// buttons and its display go to the deck's display model (drop()), drops on the pitch slider to
// the pitch slider's model; the deck logic loads the song either way.
#pragma once

#include <QSet>
#include <array>

#include "core/widgets/PanelWidget.h"
#include "decks/DeckControls.h"

class QLabel;

namespace kelvra {
class Clock;
}

namespace kelvra::widgets {
class ButtonWidget;
}

namespace kelvra::app {

class DeckPanelView : public widgets::PanelWidget {
    Q_OBJECT
  public:
    // hints: the window's eleven keyboard hints; the panel shows the four of its deck.
    DeckPanelView(decks::DeckControls& controls, std::array<ButtonModel, 11>& hints,
                  QWidget* parent = nullptr);

    void setClock(Clock& clock);
    static constexpr int kWidth = 404;
    static constexpr int kHeight = 430;
    // A column of the left deck, by its left edge and width. On the right deck the columns
    // swap sides but keep their insides, so "<<" stays left of ">>" and "-" left of "+".
    struct Column {
        int left;
        int width;
    };

  protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

  private:
    // Places a child given its rectangle on the left deck: mirrored on the right deck, or, with
    // a column, moved with the column.
    void place(QWidget& child, QRect box);
    void place(QWidget& child, QRect box, Column column);
    widgets::ButtonWidget& button(ButtonModel& model, decks::DeckControl control,
                                  const QString& face, int facePixels, QRect box, Column column);
    void hint(std::array<ButtonModel, 11>& hints, int index, const QWidget& beside);
    bool takesDrops(const QWidget* child) const;

    decks::DeckControls& controls_;
    QSet<const QWidget*> dropTargets_;
    QWidget* display_ = nullptr;
};

}  // namespace kelvra::app
