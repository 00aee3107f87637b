#include "core/widgets/DeckDisplayWidget.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cmath>

#include "core/Clock.h"
#include "core/widgets/WidgetColours.h"

namespace kelvra::widgets {

namespace {
constexpr int kPad = 8;
constexpr int kLampRow = 18;
constexpr int kTitleRow = 24;
constexpr int kBarHeight = 18;  // tall enough to read the song's waveform in it
constexpr int kMarqueeIntervalMs = 50;
constexpr int kMarqueeStep = 2;
constexpr int kMarqueeGap = 60;  // blank pixels between the end of the title and its next start

QFont displayFont(int pixelSize, bool bold, bool mono = false) {
    return uiFont(pixelSize, bold, mono);
}
}  // namespace

DeckDisplayWidget::DeckDisplayWidget(DeckDisplayModel& model, QWidget* parent)
    : QWidget(parent), model_(model) {
    setAcceptDrops(true);
    setFocusPolicy(Qt::NoFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setToolTip(QStringLiteral("LCD Display..."));
    connect(&model_, &DeckDisplayModel::changed, this, &DeckDisplayWidget::modelChanged);
    shownTitle_ = model_.displayText();
}

DeckDisplayWidget::~DeckDisplayWidget() = default;

void DeckDisplayWidget::setClock(Clock& clock) {
    marquee_ = clock.createTimer();
    marquee_->setInterval(kMarqueeIntervalMs);
    marquee_->setOnTick([this] { scrollTitle(); });
    updateScrolling();
}

QSize DeckDisplayWidget::sizeHint() const {
    return {380, 124};
}

QRect DeckDisplayWidget::titleRect() const {
    return QRect(kPad, kPad + kLampRow, width() - 2 * kPad, kTitleRow);
}

QRect DeckDisplayWidget::positionBarRect() const {
    return QRect(kPad, height() - kPad - kBarHeight, width() - 2 * kPad, kBarHeight);
}

int DeckDisplayWidget::percentAt(QPoint point) const {
    const QRect bar = positionBarRect();
    const double share = std::clamp(double(point.x() - bar.left()) / bar.width(), 0.0, 1.0);
    return int(std::lrint(share * 100));
}

void DeckDisplayWidget::modelChanged() {
    if (model_.displayText() != shownTitle_) {
        shownTitle_ = model_.displayText();
        titleOffset_ = 0;
        // Album, year and the rest of the tags are a hover away.
        setToolTip(showsHeadline() ? shownTitle_.trimmed() : QStringLiteral("LCD Display..."));
        updateScrolling();
    }
    update();
}

bool DeckDisplayWidget::showsHeadline() const {
    return !model_.headlineTitle().isEmpty();
}

void DeckDisplayWidget::updateScrolling() {
    if (!marquee_) return;
    // Title and artist stand still, large; only a line without them (the product name) runs.
    if (showsHeadline()) {
        marquee_->setEnabled(false);
        return;
    }
    const int textWidth = QFontMetrics(displayFont(15, true)).horizontalAdvance(shownTitle_);
    marquee_->setEnabled(textWidth > titleRect().width());
}

void DeckDisplayWidget::scrollTitle() {
    const int textWidth = QFontMetrics(displayFont(15, true)).horizontalAdvance(shownTitle_);
    titleOffset_ = (titleOffset_ + kMarqueeStep) % std::max(1, textWidth + kMarqueeGap);
    update(titleRect());
}

void DeckDisplayWidget::resizeEvent(QResizeEvent*) {
    updateScrolling();
}

void DeckDisplayWidget::paintLamps(QPainter& painter) const {
    struct LampFace {
        DeckDisplayModel::Lamp lamp;
        const char* text;
        QColor colour;
    };
    const LampFace lamps[] = {
        {DeckDisplayModel::Busy, "BUSY", kMeterAmber},
        {DeckDisplayModel::Play, "PLAY", kAccent},
        {DeckDisplayModel::Pause, "PAUSE", kMeterAmber},
        {DeckDisplayModel::Stop, "STOP", kMeterRed},
        {DeckDisplayModel::Cue, "CUE", QColor(0x4f, 0xc3, 0xff)},
    };
    painter.setFont(displayFont(11, true));
    const QFontMetrics metrics(painter.font());
    int x = kPad;
    for (const LampFace& face : lamps) {
        const bool on = model_.lamp(face.lamp);
        const int w = metrics.horizontalAdvance(face.text) + 12;
        const QRectF pill(x, kPad, w, kLampRow - 4);
        painter.setPen(Qt::NoPen);
        painter.setBrush(on ? face.colour : kLcdDim.darker(140));
        painter.drawRoundedRect(pill, 3, 3);
        painter.setPen(on ? QColor(Qt::black) : kLcdDim.lighter(170));
        painter.drawText(pill, Qt::AlignCenter, face.text);
        x += w + 5;
    }
    // Search indicators at the right end: the direction the cue point moves, and whether a
    // search is running.
    const int arrow = model_.searchArrow();
    const bool searching = model_.searchIndicator() != 2;
    QRectF right(width() - kPad - 120, kPad, 120, kLampRow - 4);
    painter.setPen(arrow == 1 ? kLcdText : kLcdDim.lighter(150));
    painter.drawText(right.adjusted(0, 0, -84, 0), Qt::AlignCenter, QStringLiteral("\u25C0\u25C0"));
    painter.setPen(searching ? kLcdText : kLcdDim.lighter(150));
    painter.drawText(right.adjusted(36, 0, -30, 0), Qt::AlignCenter, QStringLiteral("SEEK"));
    painter.setPen(arrow == 0 ? kLcdText : kLcdDim.lighter(150));
    painter.drawText(right.adjusted(90, 0, 0, 0), Qt::AlignCenter, QStringLiteral("\u25B6\u25B6"));
}

HeadlineFit fitHeadline(const QFontMetrics& titleMetrics, const QFontMetrics& artistMetrics,
                        const QString& title, const QString& artist, int width) {
    const QString byArtist = artist.isEmpty() ? QString() : QStringLiteral("  \u2014  ") + artist;
    // Measured as the painter lays the text out, to the fraction of a pixel: the whole pixels of
    // horizontalAdvance() can be a hair short of it, and cutting to them made "hat1" "hat…".
    const auto wanted = [](const QFontMetrics& metrics, const QString& text) {
        return metrics
            .boundingRect(QRect(0, 0, 100000, 1000), Qt::AlignLeft | Qt::TextSingleLine, text)
            .width();
    };
    const int titleWanted = wanted(titleMetrics, title);
    const int artistWanted = wanted(artistMetrics, byArtist);
    if (titleWanted + artistWanted <= width) return {title, byArtist};
    const int titleRoom = std::min(titleWanted, std::max(width * 3 / 5, width - artistWanted));
    HeadlineFit fit;
    fit.title = titleWanted <= titleRoom
                    ? title
                    : titleMetrics.elidedText(title, Qt::ElideRight, titleRoom);
    const int artistRoom = width - wanted(titleMetrics, fit.title);
    fit.artist = byArtist.isEmpty() || artistRoom <= 0
                     ? QString()
                     : artistMetrics.elidedText(byArtist, Qt::ElideRight, artistRoom);
    return fit;
}

void DeckDisplayWidget::paintHeadline(QPainter& painter) const {
    // The title bright and large, the artist after it a little smaller and softer.
    const QRect area = titleRect();
    const QFont titleFont = displayFont(18, true), artistFont = displayFont(15, true);
    const QFontMetrics titleMetrics(titleFont), artistMetrics(artistFont);
    const HeadlineFit fit = fitHeadline(titleMetrics, artistMetrics, model_.headlineTitle(),
                                        model_.headlineArtist(), area.width());
    painter.save();
    painter.setClipRect(area);
    painter.setFont(titleFont);
    painter.setPen(QColor(0xf2, 0xff, 0xf5));
    QRect drawn;
    painter.drawText(area, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, fit.title,
                     &drawn);
    if (!fit.artist.isEmpty()) {
        const QRect rest = area.adjusted(drawn.width(), 0, 0, 0);
        painter.setFont(artistFont);
        painter.setPen(kLcdText);
        painter.drawText(rest, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, fit.artist);
    }
    painter.restore();
}

void DeckDisplayWidget::paintTitle(QPainter& painter) const {
    if (showsHeadline()) {
        paintHeadline(painter);
        return;
    }
    const QRect area = titleRect();
    painter.save();
    painter.setClipRect(area);
    painter.setFont(displayFont(15, true));
    painter.setPen(kLcdText);
    const QFontMetrics metrics(painter.font());
    const int textWidth = metrics.horizontalAdvance(shownTitle_);
    if (textWidth <= area.width()) {
        // It fits: drawn whole (cut to the whole pixels it measures, it lost its last letter).
        painter.drawText(area, Qt::AlignLeft | Qt::AlignVCenter, shownTitle_);
    } else if (!marquee_) {
        painter.drawText(area, Qt::AlignLeft | Qt::AlignVCenter,
                         metrics.elidedText(shownTitle_, Qt::ElideRight, area.width()));
    } else {
        const int x = area.left() - titleOffset_;
        painter.drawText(QRect(x, area.top(), textWidth, area.height()), Qt::AlignVCenter,
                         shownTitle_);
        painter.drawText(QRect(x + textWidth + kMarqueeGap, area.top(), textWidth, area.height()),
                         Qt::AlignVCenter, shownTitle_);
    }
    painter.restore();
}

void DeckDisplayWidget::paintPositionBar(QPainter& painter) const {
    const QRectF bar = positionBarRect();
    painter.setPen(QPen(kLcdDim.lighter(130), 1));
    painter.setBrush(kLcdBack.darker(160));
    painter.drawRoundedRect(bar.adjusted(0.5, 0.5, -0.5, -0.5), 3, 3);
    const double share = model_.positionBar() / 100.0;
    const QRectF inner = bar.adjusted(2, 2, -2, -2);
    if (const auto overview = model_.overview(); overview && !overview->columns.empty()) {
        paintOverview(painter, inner, *overview, share);
    } else {
        const QRectF done(inner.left(), inner.top(), inner.width() * share, inner.height());
        painter.setPen(Qt::NoPen);
        painter.setBrush(kLcdText.darker(130));
        painter.drawRoundedRect(done, 2, 2);
    }
    // A marker for every tenth, so a seek can be aimed.
    painter.setPen(QPen(kLcdBack, 1));
    for (int tenth = 1; tenth < 10; ++tenth) {
        const double x = inner.left() + inner.width() * tenth / 10.0;
        painter.drawLine(QPointF(x, bar.top() + 1), QPointF(x, bar.top() + 3));
        painter.drawLine(QPointF(x, bar.bottom() - 3), QPointF(x, bar.bottom() - 1));
    }
    // The loop as a band over the bar, bright while it plays; an in point alone as its line.
    if (model_.loopInMark() >= 0) {
        const double from = inner.left() + inner.width() * model_.loopInMark();
        const double to = model_.loopOutMark() >= 0
                              ? inner.left() + inner.width() * model_.loopOutMark()
                              : from + 2;
        const QColor loop =
            model_.loopActive() ? QColor(0xff, 0xc8, 0x3c, 110) : QColor(0xff, 0xc8, 0x3c, 45);
        painter.setPen(Qt::NoPen);
        painter.setBrush(loop);
        painter.drawRect(QRectF(from, bar.top(), std::max(2.0, to - from), bar.height()));
    }
    // The cue point in the cue lamp's blue, the previous cue fainter.
    const auto mark = [&](double at, QColor colour) {
        if (at < 0) return;
        const double x = inner.left() + inner.width() * at;
        painter.setPen(QPen(colour, 2));
        painter.drawLine(QPointF(x, bar.top()), QPointF(x, bar.bottom()));
    };
    mark(model_.previousCueMark(), QColor(0x4f, 0xc3, 0xff, 110));
    mark(model_.cueMark(), QColor(0x4f, 0xc3, 0xff));
    // Hot cues: a line in the pad's colour with its number on a flag at the top of the bar,
    // inside it, so the key and tempo lines just above stay clear.
    painter.setFont(uiFont(8, true));
    for (int slot = 0; slot < int(model_.hotCueMarks().size()); ++slot) {
        const double at = model_.hotCueMarks()[std::size_t(slot)];
        if (at < 0) continue;
        const QColor colour = colourFromNumber(kHotCueColours[slot]);
        mark(at, colour);
        const double x = inner.left() + inner.width() * at;
        const QRectF tab(x - 1, bar.top() + 1, 9, 9);
        painter.setPen(Qt::NoPen);
        painter.setBrush(colour);
        painter.drawRect(tab);
        painter.setPen(kLcdBack);
        painter.drawText(tab, Qt::AlignCenter, QString::number(slot + 1));
    }
}

void DeckDisplayWidget::paintOverview(QPainter& painter, const QRectF& area,
                                      const OverviewWaveform& overview, double played) const {
    // Lows warm, mids green, highs pale cyan: each readable against the dark glass, drawn from
    // the widest band to the narrowest; the part already played is dimmed.
    static const QColor kBands[3] = {QColor(0xff, 0x8a, 0x3d), QColor(0x5f, 0xe0, 0x7a),
                                     QColor(0xb8, 0xf0, 0xff)};
    const int pixels = int(area.width());
    const double middle = area.center().y();
    const double half = area.height() / 2;
    const std::size_t columns = overview.columns.size();
    for (int band = 0; band < 3; ++band) {
        for (int x = 0; x < pixels; ++x) {
            const std::size_t column =
                std::min(columns - 1, std::size_t(x) * columns / std::size_t(pixels));
            const double height = overview.columns[column][std::size_t(band)] / 255.0 * half;
            if (height < 0.5) continue;
            QColor colour = kBands[band];
            if (double(x) / pixels < played) colour.setAlpha(85);
            painter.setPen(QPen(colour, 1));
            const double at = area.left() + x + 0.5;
            painter.drawLine(QPointF(at, middle - height), QPointF(at, middle + height));
        }
    }
    // The play head.
    painter.setPen(QPen(QColor(0xf2, 0xff, 0xf5), 1));
    const double head = area.left() + area.width() * played;
    painter.drawLine(QPointF(head, area.top()), QPointF(head, area.bottom()));
}

void DeckDisplayWidget::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.fillRect(rect(), kSurface);
    painter.setPen(QPen(kEdge, 1));
    painter.setBrush(kLcdBack);
    painter.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 6, 6);

    paintLamps(painter);
    paintTitle(painter);

    // The time text is what a DJ looks for first: large, fixed-width digits.
    const int timeTop = titleRect().bottom() + 2;
    const QRect timeArea(kPad, timeTop, width() * 3 / 5, positionBarRect().top() - timeTop - 2);
    // Set high in its area, leaving a line underneath for a notice, so one never moves the
    // digits.
    // With the elapsed time shown too, the time left carries a minus and the time played
    // follows it, smaller and softer; both shrink together until they fit.
    const bool elapsed = model_.showsElapsed() && !model_.elapsedText().isEmpty();
    const QString left = elapsed ? QStringLiteral("\u2212") + model_.timeText() : model_.timeText();
    int timeSize = std::min(36, timeArea.height() - 8);
    const auto lineWidth = [&](int size) {
        int width = QFontMetrics(displayFont(size, true, true)).horizontalAdvance(left);
        if (elapsed)
            width += 10 + QFontMetrics(displayFont(size * 5 / 9, true, true))
                              .horizontalAdvance(model_.elapsedText());
        return width;
    };
    while (timeSize > 16 && lineWidth(timeSize) > timeArea.width())
        --timeSize;
    const QFont timeFont = displayFont(timeSize, true, true);
    const int digits = QFontMetrics(timeFont).tightBoundingRect(QStringLiteral("0")).height();
    painter.setFont(timeFont);
    painter.setPen(QColor(0xf2, 0xff, 0xf5));
    const QRect timeLine(timeArea.left(), timeArea.top(), timeArea.width(), digits + 4);
    painter.drawText(timeLine, Qt::AlignLeft | Qt::AlignVCenter, left);
    if (elapsed) {
        const int after = timeLine.left() + QFontMetrics(timeFont).horizontalAdvance(left) + 10;
        const QFont playedFont = displayFont(timeSize * 5 / 9, true, true);
        painter.setFont(playedFont);
        painter.setPen(kLcdText);
        // On the same baseline as the big digits.
        const int baseline = timeLine.center().y() + digits / 2;
        painter.drawText(QPoint(after, baseline), model_.elapsedText());
    }
    // The key under the time: green when it mixes with the other deck's key. A notice has the
    // line while it lasts.
    if (!model_.keyText().isEmpty() && model_.noticeText().isEmpty()) {
        painter.setFont(displayFont(13, true));
        painter.setPen(model_.keyCompatible() ? kMeterGreen : kLcdDim.lighter(240));
        painter.drawText(timeArea.adjusted(2, timeLine.height(), 0, 0),
                         Qt::AlignLeft | Qt::AlignVCenter, model_.keyText());
    }
    // A refusal is a passing word: amber, under the time, so the tempo line stays readable.
    if (!model_.noticeText().isEmpty()) {
        painter.setFont(displayFont(10, true));
        painter.setPen(kMeterAmber);
        painter.drawText(timeArea.adjusted(0, timeLine.height(), 0, 0),
                         Qt::AlignLeft | Qt::AlignVCenter, model_.noticeText());
    }

    const QRect side(timeArea.right(), timeTop, width() - kPad - timeArea.right(),
                     timeArea.height());
    painter.setFont(displayFont(10, true));
    painter.setPen(kLcdDim.lighter(220));
    painter.drawText(side.adjusted(0, 2, 0, 0), Qt::AlignRight | Qt::AlignTop,
                     QStringLiteral("PITCH"));
    painter.setFont(displayFont(16, true, true));
    painter.setPen(kLcdText);
    painter.drawText(side, Qt::AlignRight | Qt::AlignVCenter, model_.pitchText());
    painter.setFont(displayFont(13, true));
    if (!model_.furtherText().isEmpty())
        painter.drawText(side, Qt::AlignLeft | Qt::AlignBottom, model_.furtherText());
    if (!model_.tempoText().isEmpty()) {
        painter.setPen(kLcdDim.lighter(240));
        painter.drawText(side, Qt::AlignRight | Qt::AlignBottom, model_.tempoText());
    }

    paintPositionBar(painter);
}

void DeckDisplayWidget::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    const QPoint point = event->position().toPoint();
    // A little slack above and below the thin bar makes it easy to grab.
    if (!positionBarRect().adjusted(0, -4, 0, 4).contains(point)) return;
    draggingBar_ = true;
    model_.setPositionBar(percentAt(point));
}

void DeckDisplayWidget::mouseMoveEvent(QMouseEvent* event) {
    if (draggingBar_) model_.setPositionBar(percentAt(event->position().toPoint()));
}

void DeckDisplayWidget::mouseReleaseEvent(QMouseEvent*) {
    draggingBar_ = false;
}

void DeckDisplayWidget::dragEnterEvent(QDragEnterEvent* event) {
    // Any drag is taken: the deck's drop handler decides whether a next-song drag is running.
    event->acceptProposedAction();
}

void DeckDisplayWidget::dropEvent(QDropEvent* event) {
    event->acceptProposedAction();
    model_.drop();
}

}  // namespace kelvra::widgets
