// The model-bound widgets: what the program writes into a model shows, what the user does with a
// widget reaches the model with its notifications.
#include <gtest/gtest.h>

#include <QDropEvent>
#include <QMimeData>
#include <QSignalSpy>
#include <QTest>

#include "core/VirtualClock.h"
#include "core/widgets/ButtonWidget.h"
#include "core/widgets/ChoiceWidgets.h"
#include "core/widgets/DeckDisplayWidget.h"
#include "core/widgets/LevelMeterWidget.h"
#include "core/widgets/SliderWidget.h"
#include "core/widgets/SongDrag.h"
#include "core/widgets/WidgetColours.h"

namespace kelvra::widgets {
namespace {

void drop(QWidget& widget, QPoint at) {
    std::unique_ptr<QMimeData> data(makeSongMimeData(QStringLiteral("3. Some Song")));
    QDragEnterEvent enter(at, Qt::CopyAction, data.get(), Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&widget, &enter);
    QDropEvent dropEvent(QPointF(at), Qt::CopyAction, data.get(), Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&widget, &dropEvent);
}

TEST(SliderWidget, FollowsTheProgramAndReportsDragsPressesAndDrops) {
    SliderModel model(0, 2000, 1000);
    model.setSteps(1, 10);
    SliderWidget slider(model);
    slider.resize(40, 240);

    // Vertical: the minimum is at the top; a value written by the program moves the thumb.
    const int middle = slider.thumbRect().center().y();
    model.setValue(0);
    EXPECT_LT(slider.thumbRect().center().y(), middle);
    model.setValue(2000);
    EXPECT_GT(slider.thumbRect().center().y(), middle);
    model.setValue(1000);

    // Dragging the thumb to the top writes the minimum and notifies on the way.
    QSignalSpy changed(&model, &SliderModel::changed);
    QSignalSpy pressed(&model, &SliderModel::mousePressed);
    const QPoint grab = slider.thumbRect().center();
    QTest::mousePress(&slider, Qt::LeftButton, {}, grab);
    QTest::mouseMove(&slider, QPoint(grab.x(), grab.y() - 40));
    QTest::mouseMove(&slider, QPoint(grab.x(), 0));
    QTest::mouseRelease(&slider, Qt::LeftButton, {}, QPoint(grab.x(), 0));
    EXPECT_EQ(model.value(), 0);
    EXPECT_GE(changed.count(), 2);
    ASSERT_EQ(pressed.count(), 1);
    EXPECT_EQ(pressed.at(0).at(0).value<Qt::MouseButton>(), Qt::LeftButton);

    // A press beside the thumb steps by the large change towards the press, no further.
    QTest::mouseClick(&slider, Qt::LeftButton, {}, QPoint(grab.x(), slider.height() - 2));
    EXPECT_EQ(model.value(), 10);
    // Any button's press is forwarded (the mixer takes the focus on it).
    QTest::mouseClick(&slider, Qt::RightButton, {}, QPoint(grab.x(), slider.height() - 2));
    EXPECT_EQ(pressed.last().at(0).value<Qt::MouseButton>(), Qt::RightButton);
    EXPECT_EQ(model.value(), 10);

    QSignalSpy dropped(&model, &SliderModel::dropped);
    drop(slider, slider.rect().center());
    EXPECT_EQ(dropped.count(), 1);
}

TEST(SliderWidget, HorizontalRunsFromTheLeftAndMapsEndsExactly) {
    SliderModel model(0, 100, 50, Orientation::Horizontal);
    SliderWidget slider(model);
    slider.resize(244, 36);
    EXPECT_EQ(slider.valueAt(QPoint(0, 18)), 0);
    EXPECT_EQ(slider.valueAt(QPoint(243, 18)), 100);
    EXPECT_EQ(slider.valueAt(slider.thumbRect().center()), 50);
    model.setValue(100);
    EXPECT_GT(slider.thumbRect().center().x(), 200);
}

TEST(LevelMeterWidget, SecondLevelIsTheLeftBarAndFullScaleLightsEverySegment) {
    LevelMeterModel model(32768);
    LevelMeterWidget meter(model, Orientation::Vertical);
    model.setFirstLevel(32768);  // right bar
    model.setSecondLevel(8192);  // left bar, a quarter
    EXPECT_EQ(meter.litSegments(1), LevelMeterWidget::kSegments);
    EXPECT_EQ(meter.litSegments(0), LevelMeterWidget::kSegments / 4);
    model.setFirstLevel(40000);  // beyond full scale stays at full scale
    EXPECT_EQ(meter.litSegments(1), LevelMeterWidget::kSegments);
    model.setFirstLevel(0);
    EXPECT_EQ(meter.litSegments(1), 0);
}

// Paused, stopped or at the song's end, the mixer writes no new level and the model keeps the
// last one; the bars must not stand lit over a silent output. They stand while levels keep
// coming, even the same level again, and fall to nothing within about 300 ms of the last.
TEST(LevelMeterWidget, BarsFallToNothingSoonAfterTheLastLevelWhileTheModelKeepsIt) {
    VirtualClock clock;
    LevelMeterModel model(32768);
    LevelMeterWidget meter(model, Orientation::Vertical);
    meter.setClock(clock);
    const auto write = [&model] {
        model.setFirstLevel(32768);
        model.setSecondLevel(16384);
    };
    for (int tick = 0; tick < 10; ++tick) {  // the display's 80 ms tick, a steady tone
        write();
        clock.advance(80);
        ASSERT_EQ(meter.litSegments(1), LevelMeterWidget::kSegments) << tick;
        ASSERT_EQ(meter.litSegments(0), LevelMeterWidget::kSegments / 2) << tick;
    }
    write();
    clock.advance(160);  // two ticks missed: falling
    EXPECT_GT(meter.litSegments(1), 0);
    EXPECT_LT(meter.litSegments(1), LevelMeterWidget::kSegments);
    EXPECT_LT(meter.litSegments(0), LevelMeterWidget::kSegments / 2);
    clock.advance(140);
    EXPECT_EQ(meter.litSegments(1), 0);
    EXPECT_EQ(meter.litSegments(0), 0);
    EXPECT_EQ(model.firstLevel(), 32768);  // what was written stays
    EXPECT_EQ(model.secondLevel(), 16384);
    // Playing again, the same level lights the bars at once.
    write();
    EXPECT_EQ(meter.litSegments(1), LevelMeterWidget::kSegments);
}

TEST(DeckDisplayWidget, DraggingThePositionBarWritesTheModelAndDropsReachIt) {
    DeckDisplayModel model;
    DeckDisplayWidget display(model);
    display.resize(384, 124);

    QSignalSpy changed(&model, &DeckDisplayModel::changed);
    const QRect bar = display.positionBarRect();
    QTest::mousePress(&display, Qt::LeftButton, {},
                      QPoint(bar.left() + bar.width() / 4, bar.center().y()));
    EXPECT_EQ(model.positionBar(), 25);
    QTest::mouseMove(&display, QPoint(bar.right() + 50, bar.center().y()));
    EXPECT_EQ(model.positionBar(), 100);
    QTest::mouseRelease(&display, Qt::LeftButton, {}, QPoint(bar.right(), bar.center().y()));
    EXPECT_GE(changed.count(), 2);

    // A press on the texts does not seek.
    QTest::mouseClick(&display, Qt::LeftButton, {}, QPoint(bar.left() + 5, 40));
    EXPECT_EQ(model.positionBar(), 100);

    QSignalSpy dropped(&model, &DeckDisplayModel::dropped);
    drop(display, QPoint(100, 60));
    EXPECT_EQ(dropped.count(), 1);
}

TEST(DeckDisplayWidget, TitlesThatFitAreNeverCutAndLongOnesGiveWayArtistFirst) {
    const QFontMetrics title(uiFont(18, true)), artist(uiFont(15, true));
    // Short titles of every shape, with and without an artist, in the display's own fonts.
    const QStringList shortTitles = {"hat1",  "Kick", "a",    "Intro", "ill",  "WWW",
                                     "Hat 1", "Mi",   "Tiff", "Lull",  "1999", "fffl",
                                     "Jit",   "Ode",  "Yy",   "rtf1"};
    for (const QString& text : shortTitles)
        for (const QString& by : {QString(), QStringLiteral("Nova")}) {
            const HeadlineFit fit = fitHeadline(title, artist, text, by, 368);
            EXPECT_EQ(fit.title, text);
            EXPECT_EQ(fit.artist, by.isEmpty() ? QString() : QStringLiteral("  \u2014  ") + by);
        }
    // A short title beside an artist too long for the rest: the artist is cut, not the title.
    const HeadlineFit tight = fitHeadline(title, artist, "hat1", QString(60, u'x'), 368);
    EXPECT_EQ(tight.title, "hat1");
    EXPECT_TRUE(tight.artist.endsWith(QChar(0x2026)));
    // A long title keeps three fifths of the width and no less.
    const HeadlineFit both = fitHeadline(title, artist, QString(80, u'T'), "Nova", 368);
    EXPECT_TRUE(both.title.endsWith(QChar(0x2026)));
    EXPECT_LE(title.horizontalAdvance(both.title), 368);
    EXPECT_GE(title.horizontalAdvance(both.title), 368 * 3 / 5 - 20);
}

TEST(DeckDisplayWidget, HotCueFlagsStayInsideTheBarClearOfTheKeyAndTempoLines) {
    DeckDisplayModel model;
    DeckDisplayWidget display(model);
    display.resize(384, 124);
    model.setTimeText(QStringLiteral("00:03:42"));
    model.setKey(QStringLiteral("8A  A minor"), true);
    model.setTempoText(QStringLiteral("126.0 \u2192 127.9 BPM"));
    const QImage plain = display.grab().toImage();
    // Flags under the key's first letters and under the tempo's last ones.
    model.setHotCueMarks({0.02, -1, -1, -1, -1, -1, -1, 0.97});
    const QImage flagged = display.grab().toImage();
    // The cue lines' square caps reach a pixel or two past the bar.
    const QRect bar = display.positionBarRect().adjusted(-2, -2, 2, 2);
    int changed = 0;
    for (int y = 0; y < plain.height(); ++y)
        for (int x = 0; x < plain.width(); ++x)
            if (plain.pixel(x, y) != flagged.pixel(x, y)) {
                ++changed;
                ASSERT_TRUE(bar.contains(x, y)) << "flag drawn at " << x << ", " << y;
            }
    EXPECT_GT(changed, 50);
}

TEST(DeckDisplayWidget, ALongTitleScrollsOnTheClockAShortOneStays) {
    VirtualClock clock;
    DeckDisplayModel model;
    DeckDisplayWidget display(model);
    display.resize(384, 124);
    display.setClock(clock);
    auto afterScrolling = [&] {
        const QImage before = display.grab().toImage();
        clock.advance(500);
        return display.grab().toImage() != before;
    };
    model.setDisplayText(QStringLiteral("Short"));
    EXPECT_FALSE(afterScrolling());
    model.setDisplayText(QStringLiteral("A title far too long for the display, ") +
                         QStringLiteral("followed by the product name"));
    EXPECT_TRUE(afterScrolling());
}

TEST(ButtonWidget, ShowsCaptionColourAndVisibilityAndForwardsEveryButton) {
    ButtonModel model(QString(), QStringLiteral("Auto-DJ ON/OFF"));
    ButtonWidget button(model);
    button.setFace(QStringLiteral("AUTO-DJ"));
    EXPECT_EQ(button.shownText(), QStringLiteral("AUTO-DJ"));
    EXPECT_EQ(button.toolTip(), QStringLiteral("Auto-DJ ON/OFF"));
    model.setCaption(QStringLiteral("Play"));
    EXPECT_EQ(button.shownText(), QStringLiteral("Play"));

    // The colour numbers keep red in the low byte: 65280 is bright green. The unlit 32768 (a mid
    // green) is drawn far darker than the lit one, so the two never read alike.
    model.setBackColour(kColourOn);
    EXPECT_EQ(button.backColour(), QColor(0, 255, 0));
    EXPECT_EQ(colourFromNumber(kColourOff), QColor(0, 128, 0));
    model.setBackColour(kColourOff);
    EXPECT_LT(button.backColour().lightness(), QColor(0, 255, 0).lightness() / 3);
    EXPECT_EQ(colourFromNumber(0x0000FF), QColor(255, 0, 0));

    QSignalSpy clicked(&model, &ButtonModel::clicked);
    QSignalSpy pressed(&model, &ButtonModel::mousePressed);
    QSignalSpy released(&model, &ButtonModel::mouseReleased);
    button.resize(80, 30);
    QTest::mouseClick(&button, Qt::LeftButton);
    QTest::mouseClick(&button, Qt::RightButton);
    EXPECT_EQ(clicked.count(), 1);
    ASSERT_EQ(pressed.count(), 2);
    EXPECT_EQ(pressed.at(1).at(0).value<Qt::MouseButton>(), Qt::RightButton);
    EXPECT_EQ(released.count(), 2);

    // A disabled button is drawn greyed, not like one that can be pressed.
    ButtonModel save(QStringLiteral("Save"));
    ButtonWidget saveButton(save);
    saveButton.resize(80, 30);
    const QImage enabled = saveButton.grab().toImage();
    save.setEnabled(false);
    const QImage disabled = saveButton.grab().toImage();
    EXPECT_NE(enabled, disabled);
    const QColor face = disabled.pixelColor(6, 15), liveFace = enabled.pixelColor(6, 15);
    EXPECT_LT(face.lightness(), liveFace.lightness());
    QTest::mouseClick(&saveButton, Qt::LeftButton);
    EXPECT_EQ(clicked.count(), 1);

    QWidget parent;
    ButtonWidget child(model, &parent);
    parent.show();
    model.setVisible(false);
    EXPECT_FALSE(child.isVisible());
    model.setVisible(true);
    EXPECT_TRUE(child.isVisible());
}

TEST(ChoiceWidgets, ProgramChoicesShowSilentlyAndUserChoicesReachTheModel) {
    ChoiceModel model(
        {QStringLiteral("CD Quality - 44100Hz"), QStringLiteral("FM Quality - 22100Hz")});
    QSignalSpy chosen(&model, &ChoiceModel::chosen);
    ChoiceCombo combo(model);
    OptionGroup group(model, QStringLiteral("opt"));
    model.setCurrentIndex(1);
    EXPECT_EQ(combo.currentIndex(), 1);
    EXPECT_TRUE(group.button(1)->isChecked());
    EXPECT_EQ(group.button(0)->objectName(), QStringLiteral("opt_0"));
    EXPECT_EQ(chosen.count(), 0);

    group.button(0)->click();
    ASSERT_EQ(chosen.count(), 1);
    EXPECT_EQ(model.currentIndex(), 0);
    EXPECT_EQ(combo.currentIndex(), 0);
    EXPECT_FALSE(group.button(1)->isChecked());

    emit combo.activated(1);
    EXPECT_EQ(chosen.count(), 2);
    EXPECT_TRUE(group.button(1)->isChecked());

    model.addItem(QStringLiteral("Third"));
    EXPECT_EQ(combo.count(), 3);
    EXPECT_NE(group.button(2), nullptr);
}

TEST(TextBox, TypingEditsTheModelAndLeavingIsReported) {
    TextModel model;
    model.setText(QStringLiteral("/music/Playlists"));
    QWidget window;
    TextBox box(model, &window);
    QLineEdit other(&window);
    EXPECT_EQ(box.text(), QStringLiteral("/music/Playlists"));
    window.show();
    QApplication::setActiveWindow(&window);
    box.setFocus();
    QTest::keyClicks(&box, QStringLiteral("/new"));
    EXPECT_EQ(model.text(), QStringLiteral("/music/Playlists/new"));

    QSignalSpy left(&model, &TextModel::leftByUser);
    other.setFocus();
    EXPECT_EQ(left.count(), 1);
    model.setText(QStringLiteral("/other"));
    EXPECT_EQ(box.text(), QStringLiteral("/other"));
}

}  // namespace
}  // namespace kelvra::widgets
