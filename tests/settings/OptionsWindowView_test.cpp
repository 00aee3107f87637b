// The options window's view: its frames with their captions, its controls under their names,
// and Escape, Enter and the close button closing it.
#include "settings/ui/OptionsWindowView.h"

#include <gtest/gtest.h>

#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QSignalSpy>
#include <QTest>

#include "core/widgets/ButtonWidget.h"
#include "core/widgets/SliderWidget.h"

namespace kelvra::settings {
namespace {

TEST(OptionsWindowView, HasEveryFrameLabelAndControl) {
    OptionsControls controls;
    OptionsWindowView view(controls);
    EXPECT_EQ(view.objectName(), QStringLiteral("optionsF"));
    EXPECT_TRUE(view.windowFlags() & Qt::FramelessWindowHint);

    QStringList frames;
    for (QGroupBox* box : view.findChildren<QGroupBox*>())
        frames << box->title();
    for (const char* caption : kOptionFrames)
        EXPECT_TRUE(frames.contains(QLatin1String(caption))) << caption;

    QStringList labels;
    for (QLabel* label : view.findChildren<QLabel*>())
        labels << label->text();
    for (const char* text :
         {"Small", "Large", "Early", "Late", "Slow", "Default", "Fast", "10%", "15%", "Playlists:"})
        EXPECT_TRUE(labels.contains(QLatin1String(text))) << text;

    for (const char* name :
         {"titlebar", "imgIcon", "cmdcloseButton", "cmbDevice", "cmbPlayQuality", "optSeek_0",
          "optSeek_1", "djSetupOpt_0", "djSetupOpt_1", "djSetupOpt_2", "txtPlaylistPath",
          "cmdAssociate", "autoFadeSlider", "optSkipSilence_0", "optSkipSilence_1", "lstMidiInputs",
          "lstMidiOutputs", "cmbControllerMapping", "lblMidiStatus"})
        EXPECT_NE(view.findChild<QWidget*>(name), nullptr) << name;
    EXPECT_EQ(view.findChild<QWidget*>("cmbDevice")->toolTip(),
              QStringLiteral("Select Soundcard to use..."));
    EXPECT_EQ(view.findChild<widgets::ButtonWidget*>("cmdAssociate")->shownText(),
              QStringLiteral("Associate Music Files..."));
    EXPECT_EQ(view.findChild<QAbstractButton*>("djSetupOpt_1")->text(),
              QStringLiteral("Battle - Mixer on Left"));

    struct Range {
        const char* name;
        int minimum, maximum;
    };
    for (const Range& r :
         {Range{"bufferSlider", 2, 20}, Range{"autoMixSlider", 70, 100},
          Range{"TurntableStopSpeed_slider", 1000, 7000}, Range{"pitchRange_slider", 0, 1}}) {
        auto* slider = view.findChild<widgets::SliderWidget*>(r.name);
        ASSERT_NE(slider, nullptr) << r.name;
        EXPECT_EQ(slider->model().minimum(), r.minimum) << r.name;
        EXPECT_EQ(slider->model().maximum(), r.maximum) << r.name;
    }

    // Picking a DJ set-up is the user's choice, reported to the model.
    QSignalSpy chosen(&controls.djSetup, &ChoiceModel::chosen);
    view.findChild<QAbstractButton*>("djSetupOpt_2")->click();
    ASSERT_EQ(chosen.count(), 1);
    EXPECT_EQ(chosen.at(0).at(0).toInt(), 2);

    // Ticking a MIDI device in its list is the user's, reported to the model; the program's
    // own ticks are only shown.
    controls.midiInputs.setEntries(
        {{"Pad:Pad MIDI 1", {}, false}, {"Jog:Jog", "not plugged in", true}});
    auto* inputs = view.findChild<QListWidget*>("lstMidiInputs");
    ASSERT_EQ(inputs->count(), 2);
    EXPECT_EQ(inputs->item(1)->text(), QStringLiteral("Jog:Jog (not plugged in)"));
    EXPECT_EQ(inputs->item(1)->checkState(), Qt::Checked);
    QSignalSpy toggled(&controls.midiInputs, &CheckListModel::toggled);
    inputs->item(0)->setCheckState(Qt::Checked);
    ASSERT_EQ(toggled.count(), 1);
    EXPECT_EQ(controls.midiInputs.checkedNames(), QStringList({"Pad:Pad MIDI 1", "Jog:Jog"}));
}

TEST(OptionsWindowView, EscapeEnterAndTheCloseButtonCloseIt) {
    OptionsControls controls;
    OptionsWindowView view(controls);
    QSignalSpy closed(&view, &OptionsWindowView::closed);
    for (int key : {int(Qt::Key_Escape), int(Qt::Key_Return), int(Qt::Key_Enter)}) {
        view.show();
        QTest::keyClick(&view, Qt::Key(key));
        EXPECT_FALSE(view.isVisible()) << key;
    }
    view.show();
    controls.close.click();
    EXPECT_FALSE(view.isVisible());
    EXPECT_EQ(closed.count(), 4);
}

}  // namespace
}  // namespace kelvra::settings
