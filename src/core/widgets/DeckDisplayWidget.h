// A deck's display bound to a DeckDisplayModel: the lamps along the top, the song's title and
// artist (or, before a load, the title line, which scrolls when it is wider than the display and
// a clock is given), the big time text, the pitch
// text and the position bar, which the user can drag: the dragged percentage is written into the
// model, where the deck's display timer reads it back and seeks. A song dropped here is reported
// through the model's drop(). Thread: UI thread only.
#pragma once

#include <QFontMetrics>
#include <QWidget>
#include <memory>

#include "core/ControlModels.h"

namespace kelvra {
class Clock;
class Timer;
}  // namespace kelvra

namespace kelvra::widgets {

// The song's title and its "  —  artist" as they fit side by side in `width` pixels: when both do
// not fit the artist gives way first, then the title, never to less than three fifths of the
// width. A text that fits is never cut.
struct HeadlineFit {
    QString title, artist;
};
HeadlineFit fitHeadline(const QFontMetrics& titleMetrics, const QFontMetrics& artistMetrics,
                        const QString& title, const QString& artist, int width);

class DeckDisplayWidget : public QWidget {
    Q_OBJECT
  public:
    explicit DeckDisplayWidget(DeckDisplayModel& model, QWidget* parent = nullptr);
    ~DeckDisplayWidget() override;

    DeckDisplayModel& model() const { return model_; }
    // Lets the title scroll, on the program's clock.
    void setClock(Clock& clock);
    // The draggable position bar, in widget coordinates.
    QRect positionBarRect() const;
    int percentAt(QPoint point) const;

    QSize sizeHint() const override;

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

  private:
    void modelChanged();
    void scrollTitle();
    void updateScrolling();
    QRect titleRect() const;
    void paintLamps(QPainter& painter) const;
    bool showsHeadline() const;
    void paintHeadline(QPainter& painter) const;
    void paintTitle(QPainter& painter) const;
    void paintPositionBar(QPainter& painter) const;
    void paintOverview(QPainter& painter, const QRectF& area, const OverviewWaveform& overview,
                       double played) const;

    DeckDisplayModel& model_;
    std::unique_ptr<Timer> marquee_;
    QString shownTitle_;
    int titleOffset_ = 0;  // pixels the title has scrolled to the left
    bool draggingBar_ = false;
};

}  // namespace kelvra::widgets
