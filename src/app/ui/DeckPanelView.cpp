#include "app/ui/DeckPanelView.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QLabel>
#include <QMouseEvent>

#include "app/ui/ShortcutHint.h"
#include "core/widgets/ButtonWidget.h"
#include "core/widgets/DeckDisplayWidget.h"
#include "core/widgets/LevelMeterWidget.h"
#include "core/widgets/SliderWidget.h"
#include "core/widgets/WidgetColours.h"

namespace kelvra::app {

using decks::controlName;
using decks::DeckControl;
using widgets::ButtonWidget;

namespace {
constexpr DeckPanelView::Column kPitchColumn{8, 60};
constexpr DeckPanelView::Column kMiddleColumn{74, 246};
}  // namespace

DeckPanelView::DeckPanelView(decks::DeckControls& controls, std::array<ButtonModel, 11>& hints,
                             QWidget* parent)
    : PanelWidget(parent), controls_(controls) {
    const Side side = controls.side;
    setObjectName(side == Side::Left ? QStringLiteral("Left_Deck") : QStringLiteral("Right_Deck"));
    setFixedSize(kWidth, kHeight);
    setAcceptDrops(true);

    auto* display = new widgets::DeckDisplayWidget(controls.display, this);
    display->setObjectName(controlName(side, DeckControl::Display));
    place(*display, {10, 10, 384, 124});
    display_ = display;

    // The pitch column, at the outer edge.
    auto* pitchLabel = new QLabel(QStringLiteral("Pitch"), this);
    pitchLabel->setObjectName(controlName(side, DeckControl::PitchLabel));
    pitchLabel->setAlignment(Qt::AlignCenter);
    pitchLabel->setFont(widgets::uiFont(13, true));
    pitchLabel->setStyleSheet(QStringLiteral("color: #9aa6b2;"));
    place(*pitchLabel, {8, 142, 60, 18}, kPitchColumn);
    auto* pitch = new widgets::SliderWidget(controls.pitch, this);
    pitch->setObjectName(controlName(side, DeckControl::Pitch));
    place(*pitch, {14, 162, 48, 118}, kPitchColumn);
    // Under the slider: the key lock, then the key shift down, back and up.
    button(controls.keyLock, DeckControl::KeyLock, {}, 10, {10, 284, 56, 20}, kPitchColumn);
    button(controls.keyDown, DeckControl::KeyDown, {}, 12, {10, 308, 18, 22}, kPitchColumn);
    button(controls.keyReset, DeckControl::KeyReset, {}, 9, {29, 308, 18, 22}, kPitchColumn);
    button(controls.keyUp, DeckControl::KeyUp, {}, 12, {48, 308, 18, 22}, kPitchColumn);
    button(controls.pitchZero, DeckControl::PitchZero, QStringLiteral("0 %"), 12, {10, 334, 56, 24},
           kPitchColumn);
    button(controls.bendMinus, DeckControl::BendMinus, QStringLiteral("\u2212"), 18,
           {10, 362, 27, 24}, kPitchColumn);
    button(controls.bendPlus, DeckControl::BendPlus, QStringLiteral("+"), 18, {39, 362, 27, 24},
           kPitchColumn);
    button(controls.speed22, DeckControl::Speed22, {}, 12, {10, 390, 27, 24}, kPitchColumn);
    button(controls.speed44, DeckControl::Speed44, {}, 12, {39, 390, 27, 24}, kPitchColumn);

    // Volume and meter, facing the mixer.
    auto* volume = new widgets::SliderWidget(controls.volume, this);
    volume->setObjectName(controlName(side, DeckControl::Volume));
    place(*volume, {328, 146, 34, 268});
    auto* meter = new widgets::LevelMeterWidget(controls.meter, Orientation::Vertical, this);
    meter->setObjectName(controlName(side, DeckControl::Meter));
    meter->setToolTip(side == Side::Left ? QStringLiteral("Left channel Level...")
                                         : QStringLiteral("Right channel Level..."));
    place(*meter, {366, 146, 28, 268});

    // Loading, cue editing and the transport in the middle.
    button(controls.openFile, DeckControl::OpenFile, QStringLiteral("LOAD"), 13, {74, 146, 120, 30},
           kMiddleColumn);
    ButtonWidget& logo =
        button(controls.logo, DeckControl::Logo, {}, 13, {200, 146, 120, 30}, kMiddleColumn);
    logo.setStyle(ButtonWidget::Style::Flat);
    button(controls.cueBack, DeckControl::CueBack, {}, 14, {74, 184, 58, 30}, kMiddleColumn);
    button(controls.cueForward, DeckControl::CueForward, {}, 14, {137, 184, 58, 30}, kMiddleColumn);
    button(controls.playCue, DeckControl::PlayCue, QStringLiteral("\u25B6 PREV"), 11,
           {200, 184, 58, 30}, kMiddleColumn);
    button(controls.resetCue, DeckControl::ResetCue, QStringLiteral("RESET"), 11,
           {263, 184, 57, 30}, kMiddleColumn);
    ButtonWidget& cue =
        button(controls.cue, DeckControl::Cue, {}, 20, {74, 222, 121, 54}, kMiddleColumn);
    ButtonWidget& play =
        button(controls.play, DeckControl::Play, {}, 20, {199, 222, 121, 54}, kMiddleColumn);
    ButtonWidget& pause =
        button(controls.pause, DeckControl::Pause, {}, 20, {74, 280, 121, 54}, kMiddleColumn);
    ButtonWidget& stop =
        button(controls.stop, DeckControl::Stop, {}, 20, {199, 280, 121, 54}, kMiddleColumn);
    // Under the transport, row by row: the hot cue pads (a right click clears one), the beat
    // loops (a right press rolls one), the loop's own buttons, then Sync, quantise and the beat
    // jumps along the panel's foot.
    const auto indexed = [&](ButtonModel& model, DeckControl control, int index, QRect box,
                             int pixels) {
        ButtonWidget& pad = button(model, control, {}, pixels, box, kMiddleColumn);
        pad.setObjectName(
            QStringLiteral("%1_%2").arg(QLatin1String(controlName(side, control))).arg(index));
    };
    for (int i = 0; i < decks::DeckControls::kHotCues; ++i)
        indexed(controls.hotCue[i], DeckControl::HotCue, i, {74 + 31 * i, 338, 29, 24}, 12);
    for (int i = 0; i < decks::DeckControls::kBeatLoops; ++i)
        indexed(controls.beatLoop[i], DeckControl::BeatLoop, i, {74 + 27 * i, 366, 25, 20}, 9);
    const std::pair<ButtonModel*, DeckControl> loopButtons[] = {
        {&controls.loopIn, DeckControl::LoopIn},
        {&controls.loopOut, DeckControl::LoopOut},
        {&controls.loopHalf, DeckControl::LoopHalf},
        {&controls.loopDouble, DeckControl::LoopDouble},
        {&controls.loopExit, DeckControl::LoopExit},
        {&controls.reloop, DeckControl::Reloop}};
    const int widths[] = {34, 38, 32, 32, 40, 60};
    for (int i = 0, x = 74; i < 6; x += widths[i++] + 2)
        button(*loopButtons[i].first, loopButtons[i].second, {}, 9, {x, 390, widths[i], 18},
               kMiddleColumn);
    button(controls.sync, DeckControl::Sync, QStringLiteral("SYNC"), 9, {74, 411, 64, 17},
           kMiddleColumn);
    button(controls.quantize, DeckControl::Quantize, {}, 9, {142, 411, 26, 17}, kMiddleColumn);
    for (int i = 0; i < decks::DeckControls::kBeatJumps; ++i)
        indexed(controls.beatJump[i], DeckControl::BeatJump, i, {172 + 25 * i, 411, 23, 17}, 9);
    // Left deck: Q play, S cue, R stop, 2 pause; right deck: U stop, 0 pause, K cue, P play.
    const bool left = side == Side::Left;
    hint(hints, left ? 0 : 10, play);
    hint(hints, left ? 1 : 9, cue);
    hint(hints, left ? 2 : 7, stop);
    hint(hints, left ? 3 : 8, pause);

    // The drops this deck answers; the left deck's logo button is one of them, the right's not.
    for (DeckControl control :
         {DeckControl::Play, DeckControl::Pause, DeckControl::Stop, DeckControl::Cue,
          DeckControl::CueBack, DeckControl::CueForward, DeckControl::PlayCue})
        dropTargets_.insert(findChild<QWidget*>(controlName(side, control)));
    if (side == Side::Left) dropTargets_.insert(&logo);
}

void DeckPanelView::setClock(Clock& clock) {
    static_cast<widgets::DeckDisplayWidget*>(display_)->setClock(clock);
}

void DeckPanelView::place(QWidget& child, QRect box) {
    if (controls_.side == Side::Right) box.moveLeft(kWidth - box.left() - box.width());
    child.setGeometry(box);
}

void DeckPanelView::place(QWidget& child, QRect box, Column column) {
    if (controls_.side == Side::Right) box.translate(kWidth - column.width - 2 * column.left, 0);
    child.setGeometry(box);
}

ButtonWidget& DeckPanelView::button(ButtonModel& model, DeckControl control, const QString& face,
                                    int facePixels, QRect box, Column column) {
    auto* widget = new ButtonWidget(model, this);
    widget->setObjectName(controlName(controls_.side, control));
    widget->setFace(face);
    widget->setFacePixelSize(facePixels);
    place(*widget, box, column);
    return *widget;
}

void DeckPanelView::hint(std::array<ButtonModel, 11>& hints, int index, const QWidget& beside) {
    const QRect box = beside.geometry();
    addShortcutHint(hints, index, {box.right() - 21, box.top() + 4}, this);
}

bool DeckPanelView::takesDrops(const QWidget* child) const {
    // The panel's own background, a plain label, or one of the deck's drop targets.
    return child == nullptr || qobject_cast<const QLabel*>(child) != nullptr ||
           dropTargets_.contains(child);
}

void DeckPanelView::mousePressEvent(QMouseEvent* event) {
    // A deck panel is not a handle for moving the window: the press stops here.
    event->accept();
}

void DeckPanelView::dragEnterEvent(QDragEnterEvent* event) {
    event->acceptProposedAction();
}

void DeckPanelView::dragMoveEvent(QDragMoveEvent* event) {
    if (takesDrops(childAt(event->position().toPoint())))
        event->acceptProposedAction();
    else
        event->ignore();
}

void DeckPanelView::dropEvent(QDropEvent* event) {
    if (!takesDrops(childAt(event->position().toPoint()))) return;
    event->acceptProposedAction();
    controls_.display.drop();
}

}  // namespace kelvra::app
