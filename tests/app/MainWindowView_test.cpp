// The main window's view: every control is there under its name with its range and start
// value; the panels follow the DJ set-up; drops and window handling reach the models.
#include "app/ui/MainWindowView.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QDropEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QMimeData>
#include <QSignalSpy>
#include <QStandardItemModel>
#include <QTest>
#include <QToolButton>

#include "app/ui/SplashView.h"
#include "core/widgets/ButtonWidget.h"
#include "core/widgets/DeckDisplayWidget.h"
#include "core/widgets/KnobWidget.h"
#include "core/widgets/LevelMeterWidget.h"
#include "core/widgets/SliderWidget.h"
#include "core/widgets/SongDrag.h"
#include "support/AnalysisFixtures.h"
#include "support/MainWindowRig.h"

namespace kelvra::app {
namespace {

using decks::controlName;
using decks::DeckControl;
using widgets::ButtonWidget;
using widgets::SliderWidget;

class MainWindowViewTest : public ::testing::Test {
  protected:
    template <typename T = QWidget>
    T* find(const QString& name) const {
        auto* widget = view.findChild<T*>(name);
        EXPECT_NE(widget, nullptr) << name.toStdString();
        return widget;
    }
    // Drops a dragged song on the panel at the centre of one of its children.
    void dropOn(QWidget& panel, const QString& child) {
        QWidget* target = find(child);
        if (target == nullptr) return;
        const QPoint at = target->geometry().center();
        std::unique_ptr<QMimeData> data(widgets::makeSongMimeData(QStringLiteral("Song")));
        QDragEnterEvent enter(at, Qt::CopyAction, data.get(), Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&panel, &enter);
        QDragMoveEvent move(at, Qt::CopyAction, data.get(), Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&panel, &move);
        QDropEvent drop(QPointF(at), Qt::CopyAction, data.get(), Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&panel, &drop);
    }

    MainControls controls;
    MainWindowView view{controls};
};

// Mappings, scripts and the other tests find the controls by these names.
TEST_F(MainWindowViewTest, WindowControlsHaveTheirNamesAndRanges) {
    EXPECT_EQ(view.objectName(), QStringLiteral("quelmaraF"));
    EXPECT_TRUE(view.windowFlags() & Qt::FramelessWindowHint);
    for (const char* name :
         {"titlebar", "titleCaption", "imgIcon", "cmdcloseButton", "CmdMinimizeButton", "upCB",
          "downCB", "playListCB", "nextSongTXT", "mainVolVUmeter", "monitorCMB_0", "monitorCMB_1",
          "monitorCMB_2", "autoDJCB", "optionsCB"})
        find(QLatin1String(name));
    const QStringList hints = {"Q", "S", "R", "2", "V", "N", "B", "U", "0", "K", "P"};
    for (int i = 0; i < hints.size(); ++i) {
        auto* hint = find<ButtonWidget>(QStringLiteral("keyboardTXT_%1").arg(i));
        if (hint) {
            EXPECT_EQ(hint->shownText(), hints[i]) << i;
        }
    }

    // Slider ranges and start values.
    struct Range {
        const char* name;
        int minimum, maximum, value, tick;
    };
    for (const Range& r :
         {Range{"LpitchScroll", 0, 2000, 1000, 100}, Range{"RpitchScroll", 0, 2000, 1000, 100},
          Range{"LVolScroll", 0, 100, 100, 10}, Range{"RvolScroll", 0, 100, 100, 10},
          Range{"monitorVolScroll", 0, 100, 100, 10}, Range{"MainVolScroll", 0, 100, 70, 10},
          Range{"crossFaderScroll", 0, 100, 50, 10}}) {
        auto* slider = find<SliderWidget>(r.name);
        if (slider == nullptr) continue;
        EXPECT_EQ(slider->model().minimum(), r.minimum) << r.name;
        EXPECT_EQ(slider->model().maximum(), r.maximum) << r.name;
        EXPECT_EQ(slider->model().value(), r.value) << r.name;
        EXPECT_EQ(slider->model().tickSpacing(), r.tick) << r.name;
    }
    EXPECT_EQ(find<SliderWidget>("LpitchScroll")->model().largeChange(), 10);
}

TEST_F(MainWindowViewTest, BothDecksHaveEveryControlUnderTheirOwnNames) {
    for (Side side : {Side::Left, Side::Right}) {
        QWidget& panel = view.panel(side == Side::Left ? Panel::LeftDeck : Panel::RightDeck);
        EXPECT_EQ(panel.objectName(), side == Side::Left ? "Left_Deck" : "Right_Deck");
        for (int c = 0; c <= int(DeckControl::PitchLabel); ++c) {
            const char* name = controlName(side, DeckControl(c));
            EXPECT_NE(panel.findChild<QWidget*>(name), nullptr) << name;
        }
        // "<<" stays left of ">>" on the mirrored right deck too.
        EXPECT_LT(panel.findChild<QWidget*>(controlName(side, DeckControl::CueBack))->x(),
                  panel.findChild<QWidget*>(controlName(side, DeckControl::CueForward))->x());
    }
}

TEST_F(MainWindowViewTest, PanelsFollowTheDjSetupAtOnce) {
    QWidget& left = view.panel(Panel::LeftDeck);
    QWidget& mixer = view.panel(Panel::Mixer);
    QWidget& right = view.panel(Panel::RightDeck);
    // Club: left deck at 140 twips (9 px), mixer then right deck, 10 twips apart; decks at
    // top 390 twips (26 px), the mixer at 790 (53 px).
    EXPECT_EQ(left.pos(), QPoint(9, 26));
    EXPECT_EQ(mixer.pos(), QPoint(left.x() + left.width() + 1, 53));
    EXPECT_EQ(right.x(), mixer.x() + mixer.width() + 1);
    const int width = view.width();
    EXPECT_EQ(width, right.x() + right.width() + 8);

    controls.setDjSetup(1);
    EXPECT_EQ(mixer.x(), 9);
    EXPECT_LT(mixer.x(), left.x());
    EXPECT_LT(left.x(), right.x());

    controls.setDjSetup(2);
    EXPECT_EQ(left.x(), 9);
    EXPECT_LT(left.x(), right.x());
    EXPECT_LT(right.x(), mixer.x());
    // The whole mixer stays inside the window.
    EXPECT_LE(mixer.x() + mixer.width(), view.width());
    EXPECT_EQ(view.width(), width);

    controls.djSetup = 0;
    view.relayout();
    EXPECT_EQ(left.x(), 9);
}

TEST_F(MainWindowViewTest, MaximisedOrFullScreenThePanelsStandCentredAndTheWaveformsGrow) {
    // At its designed size the window keeps it: no larger, no smaller.
    const QSize designed = view.size();
    EXPECT_EQ(view.designedSize(), designed);
    EXPECT_EQ(view.minimumSize(), designed);
    EXPECT_EQ(view.maximumSize(), designed);
    using Room = MainWindowView::Room;
    EXPECT_EQ(MainWindowView::roomFor(designed, designed, true, true), Room{});
    // Larger: centred across, the height to the waveforms, or shared with a docked playlist.
    const QSize large = designed + QSize(400, 300);
    EXPECT_EQ(MainWindowView::roomFor(large, designed, true, false), (Room{200, 300, 0}));
    EXPECT_EQ(MainWindowView::roomFor(large, designed, true, true), (Room{200, 100, 200}));
    EXPECT_EQ(MainWindowView::roomFor(large, designed, false, true), (Room{200, 0, 300}));
    EXPECT_EQ(MainWindowView::roomFor(large, designed, false, false), (Room{200, 0, 0}));
    // A screen smaller than designed gives nothing away.
    EXPECT_EQ(MainWindowView::roomFor(QSize(800, 600), designed, true, true), Room{});
    auto* maximize = view.findChild<QToolButton*>("CmdMaximizeButton");
    ASSERT_NE(maximize, nullptr);
    EXPECT_TRUE(maximize->toolTip().contains("F11"));
}

TEST_F(MainWindowViewTest, ADockedPlaylistSitsBelowEverythingAndFloatsAgainWhenUndocked) {
    BorderlessWindow playlist;
    playlist.resize(560, 600);
    view.setPlaylistWindow(&playlist);
    const int floatingHeight = view.height();
    EXPECT_FALSE(playlist.isDocked());

    controls.setPlaylistDocked(true);
    ASSERT_TRUE(playlist.isDocked());
    EXPECT_EQ(playlist.parentWidget(), &view);
    EXPECT_TRUE(playlist.isVisibleTo(&view));
    EXPECT_FALSE(playlist.titleBar()->isVisibleTo(&playlist));
    // Below every panel (the crossfader and the Auto-DJ button are on the mixer), inside the
    // window, which grew to hold it.
    for (Panel which : {Panel::LeftDeck, Panel::Mixer, Panel::RightDeck})
        EXPECT_GE(playlist.y(), view.panel(which).geometry().bottom());
    EXPECT_GT(view.height(), floatingHeight);
    EXPECT_TRUE(view.rect().contains(playlist.geometry()));
    // The waveforms open between the panels and the playlist, which moves down with them.
    const int top = playlist.y();
    controls.waveforms.setVisible(!controls.waveforms.isVisible());
    EXPECT_NE(playlist.y(), top);
    EXPECT_TRUE(view.rect().contains(playlist.geometry()));
    // Docked, the pane is not moved onto the screen's middle.
    const QPoint docked = playlist.pos();
    playlist.placeOnScreen();
    EXPECT_EQ(playlist.pos(), docked);

    controls.waveforms.setVisible(!controls.waveforms.isVisible());
    controls.setPlaylistDocked(false);
    EXPECT_FALSE(playlist.isDocked());
    EXPECT_TRUE(playlist.isWindow());
    EXPECT_TRUE(playlist.titleBar()->isVisibleTo(&playlist));
    EXPECT_EQ(view.height(), floatingHeight);
}

TEST_F(MainWindowViewTest, TheEffectUnitsOpenBelowTheSongRowWithoutMovingThePanels) {
    QWidget* row = find("effectUnits");
    ASSERT_NE(row, nullptr);
    EXPECT_FALSE(row->isVisibleTo(&view));
    controls.waveforms.setVisible(true);
    const int height = view.height();
    std::vector<QRect> panels;
    for (Panel which : {Panel::LeftDeck, Panel::Mixer, Panel::RightDeck})
        panels.push_back(view.panel(which).geometry());
    QWidget* strip = find("waveformStrip");
    ASSERT_NE(strip, nullptr);
    const int stripTop = strip->y();

    controls.effects.show.setLit(true);
    ASSERT_TRUE(row->isVisibleTo(&view));
    EXPECT_TRUE(view.rect().contains(row->geometry()));
    for (Panel which : {Panel::LeftDeck, Panel::Mixer, Panel::RightDeck}) {
        EXPECT_EQ(view.panel(which).geometry(), panels[std::size_t(which)]);
        EXPECT_GE(row->y(), view.panel(which).geometry().bottom());
    }
    EXPECT_GE(row->y(), find("playListCB")->geometry().bottom());
    ASSERT_NE(strip, nullptr);
    EXPECT_GE(strip->y(), row->geometry().bottom());
    EXPECT_GT(strip->y(), stripTop);
    // Each unit's controls are there under their names and reach their models.
    QSignalSpy on(&controls.effects.units[1].on, &ButtonModel::clicked);
    QTest::mouseClick(find("fx2On"), Qt::LeftButton);
    EXPECT_EQ(on.count(), 1);
    for (const char* name : {"fx4AssignPhones", "fx1CutTails", "fx3Slot2Next", "fx1Slot3On"})
        find(name);
    auto* mix = find<widgets::KnobWidget>("fx3Mix");
    ASSERT_NE(mix, nullptr);
    EXPECT_EQ(&mix->model(), &controls.effects.units[2].mix);
    // A slot's knob is there only while its effect has that parameter.
    effects::SlotControls& slot = controls.effects.units[0].slotControls[1];
    QWidget* knob = find("fx1Slot2Param3");
    EXPECT_FALSE(knob->isVisibleTo(&view));
    slot.knobNames[2].setText(QStringLiteral("Feedback"));
    EXPECT_TRUE(knob->isVisibleTo(&view));
    slot.choice.addItem(QStringLiteral("none"));
    slot.choice.addItem(QStringLiteral("Echo"));
    slot.choice.setItemEnabled(1, false);
    auto* list = find<QComboBox>("fx1Slot2Effect");
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->count(), 2);
    auto* items = qobject_cast<QStandardItemModel*>(list->model());
    ASSERT_NE(items, nullptr);
    EXPECT_FALSE(items->item(1)->isEnabled()) << "an effect that cannot run is offered";

    controls.effects.show.setLit(false);
    EXPECT_FALSE(row->isVisibleTo(&view));
    EXPECT_EQ(view.height(), height);
}

TEST_F(MainWindowViewTest, DropsOnADecksTargetsReachThatDeckOnly) {
    QSignalSpy leftDrops(&controls.left.display, &DeckDisplayModel::dropped);
    QSignalSpy rightDrops(&controls.right.display, &DeckDisplayModel::dropped);
    QWidget& left = view.panel(Panel::LeftDeck);
    QWidget& right = view.panel(Panel::RightDeck);
    for (const char* name : {"playCB2", "LpauseCB", "stopCB2", "cueCB2", "LcueBackCB",
                             "LcueFowardCB", "Lplay_cue", "Command2"})
        dropOn(left, QLatin1String(name));
    EXPECT_EQ(leftDrops.count(), 8);
    // The right deck's logo button and a volume slider are not drop targets.
    dropOn(right, QStringLiteral("playCB"));
    dropOn(right, QStringLiteral("Command1"));
    dropOn(right, QStringLiteral("openFileCB1"));
    EXPECT_EQ(rightDrops.count(), 1);
    EXPECT_EQ(leftDrops.count(), 8);
}

TEST_F(MainWindowViewTest, WindowButtonsCloseGuardAndFocusKeeping) {
    view.show();
    QApplication::setActiveWindow(&view);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&view));

    // Moving the mouse over a deck panel hands the focus to the mixer panel.
    view.findChild<QWidget*>("nextSongTXT")->setFocusPolicy(Qt::StrongFocus);
    view.findChild<QWidget*>("nextSongTXT")->setFocus();
    QTest::mouseMove(&view.panel(Panel::RightDeck), QPoint(5, 200));
    EXPECT_TRUE(view.panel(Panel::Mixer).hasFocus());

    int asked = 0;
    bool allow = false;
    view.setCloseGuard([&] {
        ++asked;
        return allow;
    });
    controls.close.click();
    EXPECT_EQ(asked, 1);
    EXPECT_TRUE(view.isVisible());
    allow = true;
    controls.close.click();
    EXPECT_FALSE(view.isVisible());
}

TEST(SplashView, ShowsTheVersionAndTheProgress) {
    SplashControls controls;
    SplashView splash(controls);
    EXPECT_EQ(splash.objectName(), QStringLiteral("loadingF"));
    controls.version.setText(QStringLiteral("version 0.1 build 1"));
    controls.loading.setText(QStringLiteral("Loading Playlist: 3 Songs done..."));
    auto* version = splash.findChild<QLabel*>("ver_label");
    auto* loading = splash.findChild<QLabel*>("loadingLABEL");
    ASSERT_TRUE(version && loading);
    EXPECT_EQ(version->text(), QStringLiteral("version 0.1 build 1"));
    EXPECT_EQ(loading->text(), QStringLiteral("Loading Playlist: 3 Songs done..."));
}

// Keys reach the map before any control: a slider with the focus never sees a map key, and the
// releases a platform puts between auto-repeated presses do not end a held bend.
TEST(MainWindowViewKeys, TheMapSeesKeysFirstAndRepeatsKeepABendHeld) {
    test::MainWindowRig rig;
    MainControls& c = rig.window->controls();
    MainWindowView view(c);
    view.setKeyboard(rig.window->keyboard());
    view.show();
    auto* slider = view.findChild<SliderWidget*>(controlName(Side::Left, DeckControl::Pitch));
    ASSERT_NE(slider, nullptr);
    slider->setFocus();
    const int before = c.left.pitch.value();
    QSignalSpy previous(&c.previousSong, &ButtonModel::clicked);
    auto send = [&](QEvent::Type type, int key, Qt::KeyboardModifiers modifiers, bool repeat) {
        QKeyEvent event(type, key, modifiers, QString(), repeat);
        QApplication::sendEvent(slider, &event);
    };
    send(QEvent::KeyPress, Qt::Key_Up, Qt::NoModifier, false);
    send(QEvent::KeyRelease, Qt::Key_Up, Qt::NoModifier, false);
    EXPECT_EQ(c.left.pitch.value(), before);
    EXPECT_EQ(previous.count(), 1);

    QSignalSpy pressed(&c.left.bendPlus, &ButtonModel::mousePressed);
    QSignalSpy released(&c.left.bendPlus, &ButtonModel::mouseReleased);
    send(QEvent::KeyPress, Qt::Key_X, Qt::ShiftModifier, false);
    for (int i = 0; i < 3; ++i) {
        send(QEvent::KeyRelease, Qt::Key_X, Qt::ShiftModifier, true);
        send(QEvent::KeyPress, Qt::Key_X, Qt::ShiftModifier, true);
    }
    EXPECT_EQ(pressed.count(), 4);
    EXPECT_EQ(released.count(), 0);
    send(QEvent::KeyRelease, Qt::Key_X, Qt::NoModifier, false);
    EXPECT_EQ(released.count(), 1);

    // "?" lays the keyboard sheet over the window; a click on it closes it.
    send(QEvent::KeyPress, Qt::Key_Question, Qt::ShiftModifier, false);
    auto* sheet = view.findChild<QWidget*>(QStringLiteral("keyboardSheet"));
    ASSERT_NE(sheet, nullptr);
    EXPECT_TRUE(sheet->isVisible());
    QTest::mouseClick(sheet, Qt::LeftButton);
    EXPECT_FALSE(sheet->isVisible());
    auto* button = view.findChild<QToolButton*>(QStringLiteral("keyboardSheetButton"));
    ASSERT_NE(button, nullptr);
    button->click();
    EXPECT_TRUE(sheet->isVisible());
}

// Under X11 on a busy machine a held key's repeat can arrive as an unmarked release and press,
// both stamped with one time: the bend must stay held through it and end at the real release.
TEST(MainWindowViewKeys, AnUnmarkedRepeatDoesNotEndABend) {
    test::MainWindowRig rig;
    MainControls& c = rig.window->controls();
    MainWindowView view(c);
    view.setKeyboard(rig.window->keyboard());
    view.setRepeatsAsReleases(true);
    view.show();
    auto send = [&](QEvent::Type type, Qt::KeyboardModifiers modifiers, quint64 time) {
        QKeyEvent event(type, Qt::Key_X, modifiers);
        event.setTimestamp(time);
        QApplication::sendEvent(&view, &event);
    };
    QSignalSpy pressed(&c.left.bendPlus, &ButtonModel::mousePressed);
    QSignalSpy released(&c.left.bendPlus, &ButtonModel::mouseReleased);
    send(QEvent::KeyPress, Qt::ShiftModifier, 1000);
    for (quint64 time : {1500, 1533, 1566}) {
        send(QEvent::KeyRelease, Qt::ShiftModifier, time);
        send(QEvent::KeyPress, Qt::ShiftModifier, time);
    }
    QTest::qWait(100);
    EXPECT_EQ(released.count(), 0);
    EXPECT_EQ(pressed.count(), 4);
    send(QEvent::KeyRelease, Qt::NoModifier, 1700);
    EXPECT_EQ(released.count(), 0);  // held back for a moment
    QTRY_COMPARE(released.count(), 1);
    // A quick real press after a release is a new press, and the release before it counts.
    send(QEvent::KeyPress, Qt::ShiftModifier, 2000);
    send(QEvent::KeyRelease, Qt::ShiftModifier, 2100);
    send(QEvent::KeyPress, Qt::ShiftModifier, 2101);
    EXPECT_EQ(released.count(), 2);
    EXPECT_EQ(pressed.count(), 6);
}

TEST(MainWindowViewRecord, TheRecordButtonAndItsTextAreBound) {
    test::MainWindowRig rig;
    MainWindowView view(rig.window->controls());
    view.show();
    auto* button = view.findChild<ButtonWidget*>(QStringLiteral("recordCB"));
    auto* text = view.findChild<QLabel*>(QStringLiteral("recordTXT"));
    ASSERT_TRUE(button && text);
    EXPECT_EQ(button->shownText(), QStringLiteral("REC"));
    EXPECT_TRUE(text->text().isEmpty());
    QTest::mouseClick(button, Qt::LeftButton);
    ASSERT_EQ(rig.library.recordStarts.size(), 1u);
    rig.library.recording.frames = 90 * 44100;
    rig.library.recording.bytes = 15'000'000;
    rig.clock.advance(80);
    EXPECT_EQ(text->text(), QStringLiteral("REC 01:30\n15.0 MB"));
    EXPECT_TRUE(text->toolTip().startsWith(QStringLiteral("Recording into ")));
    QTest::mouseClick(button, Qt::LeftButton);
    EXPECT_EQ(rig.library.recordStops, 1);
    EXPECT_TRUE(text->text().isEmpty());
}

// The beat loop pads as a DJ's mouse meets them, through the window system: a click sets a loop
// and lights its pad, Exit puts it out; a right press rolls and the release puts it out too.
TEST(MainWindowViewPads, ABeatLoopPadGoesOutOnExitAndWhenItsRollIsLetGo) {
    test::MainWindowRig rig;
    const QString song = rig.addSong("song.mp3");
    rig.window->deck(Side::Left).loadChosenFile(song);
    rig.window->analysisReady(Side::Left, song, test::analysisOf({}));
    MainControls& c = rig.window->controls();
    c.left.play.click();
    MainWindowView view(c);
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    const auto at = [&](const QString& name) {
        auto* widget = view.findChild<QWidget*>(name);
        EXPECT_NE(widget, nullptr) << name.toStdString();
        return widget ? widget->mapTo(&view, widget->rect().center()) : QPoint();
    };
    QWindow* window = view.windowHandle();
    const QPoint pad = at("LbeatLoop_5"), exit = at("LloopExit");
    QTest::mouseClick(window, Qt::LeftButton, {}, pad);
    EXPECT_EQ(c.left.beatLoop[5].backColour(), kColourOn);
    QTest::mouseClick(window, Qt::LeftButton, {}, exit);
    EXPECT_EQ(c.left.beatLoop[5].backColour(), kColourOff);

    QTest::mousePress(window, Qt::RightButton, {}, pad);
    EXPECT_EQ(c.left.beatLoop[5].backColour(), kColourOn);
    QTest::mouseRelease(window, Qt::RightButton, {}, pad);
    EXPECT_EQ(c.left.beatLoop[5].backColour(), kColourOff);
    // Let go off the pad, the roll ends all the same.
    QTest::mousePress(window, Qt::RightButton, {}, pad);
    QTest::mouseRelease(window, Qt::RightButton, {}, exit);
    EXPECT_EQ(c.left.beatLoop[5].backColour(), kColourOff);
}

}  // namespace
}  // namespace kelvra::app
