#include "settings/ui/OptionsWindowView.h"

#include <QCloseEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QScreen>
#include <QScrollArea>
#include <QStyle>
#include <QVBoxLayout>
#include <tuple>

#include "core/widgets/ButtonWidget.h"
#include "core/widgets/CheckListWidget.h"
#include "core/widgets/ChoiceWidgets.h"
#include "core/widgets/FormStyle.h"
#include "core/widgets/SliderWidget.h"
#include "core/widgets/WidgetColours.h"

namespace kelvra::settings {

using namespace kelvra::widgets;

namespace {

constexpr int kWidth = 640;

QGroupBox* frame(const char* caption, QWidget* parent) {
    auto* box = new QGroupBox(QLatin1String(caption), parent);
    box->setObjectName(QStringLiteral("frame_%1").arg(QLatin1String(caption)));
    return box;
}

QLabel* label(const char* text, Qt::Alignment align = Qt::AlignLeft | Qt::AlignVCenter) {
    auto* widget = new QLabel(QLatin1String(text));
    widget->setAlignment(align);
    return widget;
}

SliderWidget* slider(SliderModel& model, const char* name, int length) {
    auto* widget = new SliderWidget(model);
    widget->setObjectName(QLatin1String(name));
    if (model.orientation() == Orientation::Vertical)
        widget->setFixedSize(40, length);
    else
        widget->setFixedSize(length, 36);
    return widget;
}

// A horizontal slider between two end labels.
QWidget* between(const char* low, SliderWidget* slider, const char* high) {
    auto* row = new QWidget;
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(label(low, Qt::AlignRight | Qt::AlignVCenter));
    layout->addWidget(slider);
    layout->addWidget(label(high));
    return row;
}

QVBoxLayout* inside(QGroupBox* box, QWidget* content) {
    auto* layout = new QVBoxLayout(box);
    layout->addWidget(content);
    return layout;
}

}  // namespace

OptionsWindowView::OptionsWindowView(OptionsControls& controls, QWidget* parent)
    : BorderlessWindow(parent) {
    setObjectName(QStringLiteral("optionsF"));
    setCaption(QStringLiteral("DJ Options"));
    setWindowModality(Qt::ApplicationModal);
    // Frames, option buttons and lists in the program's colours, on top of the shared theme.
    setStyleSheet(kFormStyle);
    titleBar()
        ->findChild<QWidget*>(QStringLiteral("cmdcloseButton"))
        ->setToolTip(controls.close.toolTip());
    connect(this, &BorderlessWindow::closeClicked, &controls.close, &ButtonModel::click);
    connect(&controls.close, &ButtonModel::clicked, this, &QWidget::close);

    // The frames sit in a page that scrolls when the screen is shorter than the window.
    auto* scroll = new QScrollArea(this->body());
    scroll->setObjectName(QStringLiteral("optionsPage"));
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    auto* body = new QWidget;
    auto* grid = new QGridLayout(body);
    grid->setContentsMargins(4, 0, 4, 4);
    grid->setHorizontalSpacing(14);
    grid->setVerticalSpacing(6);

    auto* device = new ChoiceCombo(controls.device);
    device->setObjectName(QStringLiteral("cmbDevice"));
    inside(frame("PLAYBACK DEVICE (Restart)", body), device);
    auto* quality = new ChoiceCombo(controls.quality);
    quality->setObjectName(QStringLiteral("cmbPlayQuality"));
    inside(frame("QUALITY (Restart)", body), quality);
    auto* seek = new OptionGroup(controls.seekAccuracy, QStringLiteral("optSeek"));
    QGroupBox* seekFrame = frame("SEEKING ACCURACY", body);
    seekFrame->setToolTip(controls.seekAccuracy.toolTip());
    inside(seekFrame, seek);
    inside(frame("BUFFER (Restart)", body),
           between("Small", slider(controls.buffer, "bufferSlider", 180), "Large"));
    inside(frame("AUTO-DJ START", body),
           between("Early", slider(controls.autoMix, "autoMixSlider", 180), "Late"));

    // Turntable braking: a vertical slider, slow at the top as its minimum is.
    QGroupBox* braking = frame("TT BRAKING", body);
    {
        auto* layout = new QGridLayout(braking);
        layout->addWidget(slider(controls.turntableStop, "TurntableStopSpeed_slider", 150), 0, 0, 3,
                          1);
        layout->addWidget(label("Slow"), 0, 1, Qt::AlignTop);
        layout->addWidget(label("Default"), 1, 1, Qt::AlignVCenter);
        layout->addWidget(label("Fast"), 2, 1, Qt::AlignBottom);
    }
    inside(frame("PITCH RANGE (+/-)", body),
           between("10%", slider(controls.pitchRange, "pitchRange_slider", 110), "15%"));
    inside(frame("DJ SETUP", body),
           new OptionGroup(controls.djSetup, QStringLiteral("djSetupOpt")));

    QGroupBox* fade = frame("AUTO-DJ FADE", body);
    fade->setToolTip(controls.autoFade.toolTip());
    {
        auto* layout = new QHBoxLayout(fade);
        layout->addWidget(
            between("Short", slider(controls.autoFade, "autoFadeSlider", 180), "Long"));
        auto* seconds = new QLabel;
        seconds->setObjectName(QStringLiteral("autoFadeSeconds"));
        seconds->setMinimumWidth(44);
        layout->addSpacing(10);
        auto show = [seconds](int value) { seconds->setText(QStringLiteral("%1 s").arg(value)); };
        show(controls.autoFade.value());
        connect(&controls.autoFade, &SliderModel::changed, seconds, show);
        layout->addWidget(seconds);
        layout->addStretch(1);
        layout->addWidget(label("Skip silence:"));
        auto* skip = new OptionGroup(controls.skipSilence, QStringLiteral("optSkipSilence"));
        skip->setToolTip(controls.skipSilence.toolTip());
        layout->addWidget(skip);
    }

    QGroupBox* analysis = frame("DISPLAY AND LOUDNESS", body);
    {
        auto* layout = new QGridLayout(analysis);
        const std::pair<CheckModel*, const char*> boxes[] = {
            {&controls.showWaveforms, "chkShowWaveforms"},
            {&controls.matchLoudness, "chkMatchLoudness"},
            {&controls.showElapsed, "chkShowElapsed"},
            {&controls.dockPlaylist, "chkDockPlaylist"}};
        int place = 0;
        for (const auto& [model, name] : boxes) {
            auto* box = new CheckBox(*model);
            box->setObjectName(QLatin1String(name));
            layout->addWidget(box, place / 2, place % 2);
            ++place;
        }
        analysis->setToolTip(QStringLiteral(
            "Waveforms: both decks scrolling around their play heads, with the beat grid.\n"
            "Loudness: each song's level corrected to -14 LUFS before the deck volume.\n"
            "Elapsed time: the time played beside the time left on both decks.\n"
            "Playlist below the decks: docked in the main window instead of over it."));
    }

    QGroupBox* outputs = frame("OUTPUTS", body);
    {
        auto* layout = new QGridLayout(outputs);
        // The short lists share rows; the device lists get the whole width.
        struct Place {
            const char* caption;
            ChoiceModel* model;
            const char* name;
            int row, column, span;
        };
        const Place lists[] = {{"System:", &controls.outputBackend, "cmbOutputBackend", 0, 0, 1},
                               {"Period:", &controls.outputPeriod, "cmbOutputPeriod", 1, 0, 1},
                               {"Rate:", &controls.outputRate, "cmbOutputRate", 1, 2, 1},
                               {"Main mix:", &controls.outputMain, "cmbOutputMain", 2, 0, 3},
                               {"Headphones:", &controls.outputPhones, "cmbOutputPhones", 3, 0, 3}};
        for (const Place& place : lists) {
            auto* combo = new ChoiceCombo(*place.model);
            combo->setObjectName(QLatin1String(place.name));
            combo->setToolTip(place.model->toolTip());
            layout->addWidget(label(place.caption), place.row, place.column);
            layout->addWidget(combo, place.row, place.column + 1, 1, place.span);
        }
        auto* latency = new QLabel;
        latency->setObjectName(QStringLiteral("lblOutputLatency"));
        latency->setStyleSheet(QStringLiteral("color: #7fd8ff;"));
        latency->setWordWrap(true);
        auto show = [latency, &controls] { latency->setText(controls.outputLatency.text()); };
        show();
        connect(&controls.outputLatency, &TextModel::changed, latency, show);
        layout->addWidget(latency, 4, 0, 1, 4);
        layout->setColumnStretch(1, 1);
        layout->setColumnStretch(3, 1);
    }

    QGroupBox* controllers = frame("CONTROLLERS", body);
    {
        auto* layout = new QGridLayout(controllers);
        // Inputs and outputs side by side: a controller usually has one of each, named alike.
        const std::tuple<const char*, CheckListModel*, const char*> lists[] = {
            {"MIDI inputs:", &controls.midiInputs, "lstMidiInputs"},
            {"MIDI outputs (lights):", &controls.midiOutputs, "lstMidiOutputs"}};
        int column = 0;
        for (const auto& [caption, model, name] : lists) {
            auto* list = new CheckListWidget(*model);
            list->setObjectName(QLatin1String(name));
            list->setFixedHeight(84);
            layout->addWidget(label(caption), 0, column, 1, 2);
            layout->addWidget(list, 1, column, 1, 2);
            column += 2;
        }
        auto* mapping = new ChoiceCombo(controls.controllerMapping);
        mapping->setObjectName(QStringLiteral("cmbControllerMapping"));
        layout->addWidget(label("Mapping:"), 2, 0);
        layout->addWidget(mapping, 2, 1, 1, 2);
        auto* learn = new ButtonWidget(controls.midiLearn);
        learn->setObjectName(QStringLiteral("cmdMidiLearn"));
        layout->addWidget(learn, 2, 3);
        auto* status = new QLabel;
        status->setObjectName(QStringLiteral("lblMidiStatus"));
        status->setStyleSheet(QStringLiteral("color: #7fd8ff;"));
        status->setWordWrap(true);
        auto show = [status, &controls] { status->setText(controls.midiStatus.text()); };
        show();
        connect(&controls.midiStatus, &TextModel::changed, status, show);
        layout->addWidget(status, 3, 0, 1, 4);
        layout->setColumnStretch(1, 1);
        layout->setColumnStretch(3, 1);
    }

    QGroupBox* locations = frame("FILE LOCATIONS", body);
    {
        auto* layout = new QHBoxLayout(locations);
        layout->addWidget(label("Playlists:"));
        auto* path = new TextBox(controls.playlistPath);
        path->setObjectName(QStringLiteral("txtPlaylistPath"));
        layout->addWidget(path, 1);
    }
    auto* associate = new ButtonWidget(controls.associate);
    associate->setObjectName(QStringLiteral("cmdAssociate"));
    associate->setFixedHeight(34);

    const auto frames = body->findChildren<QGroupBox*>(Qt::FindDirectChildrenOnly);
    // Left column: device, quality, seeking, buffer, Auto-DJ; right column: braking, pitch
    // range, DJ set-up; then the fade, waveforms and loudness, the outputs, the controllers, the
    // folder and the association button across the whole width.
    for (int i = 0; i < 5; ++i)
        grid->addWidget(frames[i], i, 0);
    grid->addWidget(frames[5], 0, 1, 2, 1);
    grid->addWidget(frames[6], 2, 1);
    grid->addWidget(frames[7], 3, 1, 2, 1);
    grid->addWidget(frames[8], 5, 0, 1, 2);
    grid->addWidget(frames[9], 6, 0, 1, 2);
    grid->addWidget(frames[10], 7, 0, 1, 2);
    grid->addWidget(frames[11], 8, 0, 1, 2);
    grid->addWidget(frames[12], 9, 0, 1, 2);
    grid->addWidget(associate, 10, 0, 1, 2);

    scroll->setWidget(body);
    bodyLayout()->addWidget(scroll);
    setFixedWidth(kWidth);
    adjustSize();
    // All of the page where the screen has room for it; otherwise the screen's height, and the
    // page scrolls.
    const int chrome = sizeHint().height() - scroll->sizeHint().height();
    int height = chrome + body->sizeHint().height();
    const QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
    const int room = screen ? screen->availableGeometry().height() - 40 : height;
    int width = kWidth;
    if (height > room) {
        height = room;
        width += style()->pixelMetric(QStyle::PM_ScrollBarExtent);
    }
    setFixedSize(width, height);
    placeOnScreen();
}

void OptionsWindowView::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
        case Qt::Key_Escape:
        case Qt::Key_Return:
        case Qt::Key_Enter:
            close();
            return;
        default:
            QWidget::keyPressEvent(event);
    }
}

void OptionsWindowView::closeEvent(QCloseEvent* event) {
    event->accept();
    emit closed();
}

}  // namespace kelvra::settings
