#include "app/ui/MixerPanelView.h"

#include <QLabel>

#include "app/ui/PanelParts.h"
#include "app/ui/ShortcutHint.h"
#include "core/widgets/ButtonWidget.h"
#include "core/widgets/KnobWidget.h"
#include "core/widgets/LevelMeterWidget.h"
#include "core/widgets/SliderWidget.h"
#include "core/widgets/WidgetColours.h"

namespace kelvra::app {

using widgets::ButtonWidget;

namespace {

using parts::button;
using parts::label;

widgets::SliderWidget* slider(QWidget* parent, SliderModel& model, const char* name, QRect box) {
    auto* widget = new widgets::SliderWidget(model, parent);
    widget->setObjectName(QLatin1String(name));
    widget->setGeometry(box);
    return widget;
}

// One deck's tone strip, top to bottom as on a mixer channel: gain, high, mid, low (each band
// with its kill button under the knob), filter.
void toneStrip(QWidget* strip, decks::DeckControls& deck) {
    using decks::DeckControl;
    const auto knob = [&](SliderModel& model, DeckControl which, const QString& caption, int top,
                          QColor arc) {
        label(strip, caption, {0, top, MixerPanelView::kStripWidth, 12}, 10);
        auto* widget = new widgets::KnobWidget(model, strip);
        widget->setObjectName(QLatin1String(decks::controlName(deck.side, which)));
        widget->setArcColour(arc);
        widget->setGeometry((MixerPanelView::kStripWidth - 42) / 2, top + 12, 42, 42);
    };
    const auto kill = [&](ButtonModel& model, DeckControl which, int top) {
        button(strip, model, decks::controlName(deck.side, which), QStringLiteral("KILL"),
               {(MixerPanelView::kStripWidth - 44) / 2, top, 44, 17}, 9);
    };
    const QColor eq = widgets::kAccent, trim = widgets::kTextDim, sweep{0x4f, 0xc3, 0xf7};
    knob(deck.gain, DeckControl::Gain, QStringLiteral("GAIN"), 6, trim);
    knob(deck.eqHigh, DeckControl::EqHigh, QStringLiteral("HIGH"), 70, eq);
    kill(deck.killHigh, DeckControl::KillHigh, 125);
    knob(deck.eqMid, DeckControl::EqMid, QStringLiteral("MID"), 148, eq);
    kill(deck.killMid, DeckControl::KillMid, 203);
    knob(deck.eqLow, DeckControl::EqLow, QStringLiteral("LOW"), 226, eq);
    kill(deck.killLow, DeckControl::KillLow, 281);
    knob(deck.filter, DeckControl::Filter, QStringLiteral("FILTER"), 316, sweep);
}

}  // namespace

MixerPanelView::MixerPanelView(decks::MixerControls& controls, decks::DeckControls& left,
                               decks::DeckControls& right, std::array<ButtonModel, 11>& hints,
                               QWidget* parent)
    : PanelWidget(parent) {
    setObjectName(QStringLiteral("Mixer"));
    setFixedSize(kWidth, kHeight);
    // Keyboard shortcuts arrive through whichever widget has the focus; the mixer holds it.
    setFocusPolicy(Qt::StrongFocus);

    // The strips and the centre are plain children: a press on their background reaches the
    // panel, which moves the window.
    for (decks::DeckControls* deck : {&left, &right}) {
        auto* strip = new QWidget(this);
        strip->setObjectName(deck == &left ? QStringLiteral("LtoneStrip")
                                           : QStringLiteral("RtoneStrip"));
        strip->setGeometry(deck == &left ? 0 : kWidth - kStripWidth, 0, kStripWidth, kHeight);
        toneStrip(strip, *deck);
    }
    QWidget* centre = new QWidget(this);
    centre->setGeometry(kStripWidth, 0, kCentreWidth, kHeight);
    centreContents(centre, controls, hints);
}

void MixerPanelView::centreContents(QWidget* centre, decks::MixerControls& controls,
                                    std::array<ButtonModel, 11>& hints) {
    QWidget* const self = centre;
    label(self, QStringLiteral("MIX"), {0, 6, kCentreWidth, 26}, 20, Qt::AlignCenter, "#00ff00");

    // The recording sits in the title row: its button left of the title, its length and size
    // right of it, empty while nothing records.
    button(self, controls.record, "recordCB", QStringLiteral("REC"), {8, 7, 50, 24}, 12);
    QLabel* recording =
        label(self, {}, {150, 2, 108, 32}, 11, Qt::AlignRight | Qt::AlignVCenter, "#ff5a4a");
    recording->setObjectName(QStringLiteral("recordTXT"));
    const auto showRecording = [recording, &text = controls.recordText] {
        // Length over size: two short lines fit beside the title where one long one does not.
        recording->setText(
            QString(text.text()).replace(QStringLiteral("  "), QStringLiteral("\n")));
        recording->setToolTip(text.toolTip());
    };
    connect(&controls.recordText, &TextModel::changed, recording, showRecording);
    showRecording();

    label(self, QStringLiteral("Monitor"), {4, 36, 96, 18});
    slider(self, controls.monitorVolume, "monitorVolScroll", {18, 58, 44, 170});
    const char* monitorNames[] = {"monitorCMB_0", "monitorCMB_1", "monitorCMB_2"};
    const char* monitorFaces[] = {"L", "R", "ST"};
    for (int i = 0; i < 3; ++i)
        button(self, controls.monitor[i], monitorNames[i], QLatin1String(monitorFaces[i]),
               {78, 62 + 42 * i, 64, 34}, 15);
    label(self, QStringLiteral("Stereo"), {70, 186, 80, 18}, 12);
    // Heard only with a headphone output of its own: the cue against the main mix, and the
    // one-earpiece split.
    slider(self, controls.phonesMix, "phonesMix", {70, 206, 94, 24});
    button(self, controls.phonesSplit, "phonesSplitCB", QStringLiteral("SPLIT"), {104, 36, 56, 20},
           10);

    auto* meter = new widgets::LevelMeterWidget(controls.mainMeter, Orientation::Vertical, self);
    meter->setObjectName(QStringLiteral("mainVolVUmeter"));
    meter->setToolTip(QStringLiteral("Main Output Level..."));
    meter->setGeometry(170, 40, 80, 188);

    button(self, controls.autoDJ, "autoDJCB", QStringLiteral("AUTO-DJ"), {10, 240, 150, 36}, 15);
    button(self, controls.options, "optionsCB", QStringLiteral("OPTIONS"), {168, 240, 86, 36}, 12);

    label(self, QStringLiteral("Main Vol"), {12, 282, 120, 16}, 12, Qt::AlignLeft);
    slider(self, controls.mainVolume, "MainVolScroll", {10, 298, 244, 34});

    label(self, QStringLiteral("X-Fader"), {34, 338, 120, 16}, 12, Qt::AlignLeft);
    slider(self, controls.crossFader, "crossFaderScroll", {10, 356, 244, 40});
    // V: all left, B: centre, N: all right.
    addShortcutHint(hints, 4, {12, 337}, self);
    addShortcutHint(hints, 6, {123, 337}, self);
    addShortcutHint(hints, 5, {234, 337}, self);
}

}  // namespace kelvra::app
