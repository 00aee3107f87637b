// The learn window is bound to MidiLearn and the file: choose a control, Learn, a message, and
// the status, the replaced lines and the file all show it.
#include <gtest/gtest.h>

#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include "ControllerMapperRig.h"
#include "controllers/ui/LearnWindow.h"
#include "support/FileBytes.h"

namespace kelvra::controllers {
namespace {

TEST(LearnWindow, LearnsTheChosenControlIntoTheFile) {
    QTemporaryDir dir;
    const QString path = dir.filePath("mine.map");
    kelvra::test::writeFile(path, "# mine\nnote 1 0x30 LsyncCB\n");
    LearnWindow window(
        {{"playCB2", -1, ControlKind::Button}, {"LVolScroll", -1, ControlKind::Slider}}, path);
    QSignalSpy written(&window, &LearnWindow::mappingWritten);
    auto* list = window.findChild<QListWidget*>("learnControls");
    auto* learn = window.findChild<QPushButton*>("learnButton");
    auto* status = window.findChild<QLabel*>("learnStatus");
    auto* conflicts = window.findChild<QListWidget*>("learnConflicts");
    ASSERT_TRUE(list && learn && status && conflicts);
    ASSERT_EQ(list->count(), 2);
    EXPECT_EQ(list->item(1)->text(), "LVolScroll  (slider)");

    window.offer(test::noteOn(1, 0x30));  // not armed: nothing
    learn->click();
    EXPECT_TRUE(status->text().contains("Choose a control first"));
    list->setCurrentRow(0);
    learn->click();
    window.offer(test::noteOn(1, 0x30));
    EXPECT_EQ(status->text(), "Captured and written: note 1 0x30 playCB2");
    ASSERT_EQ(conflicts->count(), 1);
    EXPECT_EQ(conflicts->item(0)->text(), "line 2: note 1 0x30 LsyncCB");
    ASSERT_EQ(written.count(), 1);
    EXPECT_EQ(kelvra::test::contents(path), "# mine\nnote 1 0x30 playCB2\n");
}

TEST(LearnWindow, TakesClicksWhileTheOptionsItIsOpenedFromAreModal) {
    QTemporaryDir dir;
    QWidget options;
    options.setWindowModality(Qt::ApplicationModal);
    options.resize(400, 300);
    options.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&options));
    // A click as the window system delivers it, which a modal window may hold back.
    const auto clickLearn = [](LearnWindow& window) {
        window.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&window));
        auto* learn = window.findChild<QPushButton*>("learnButton");
        QTest::mouseClick(window.windowHandle(), Qt::LeftButton, {},
                          learn->mapTo(&window, learn->rect().center()));
        return window.findChild<QLabel*>("learnStatus")->text();
    };
    const std::vector<LearnTarget> targets{{"playCB2", -1, ControlKind::Button}};

    const QString untouched = "Choose a control, press Learn, then move it on the controller.";

    // Owned by the options, it is a window of its own and answers.
    LearnWindow owned(targets, dir.filePath("mine.map"), &options);
    ASSERT_TRUE(owned.isWindow());
    EXPECT_NE(clickLearn(owned), untouched);
    owned.hide();
    // Without an owner the options would block it, as they block the main window.
    LearnWindow alone(targets, dir.filePath("mine.map"));
    EXPECT_EQ(clickLearn(alone), untouched);
}

}  // namespace
}  // namespace kelvra::controllers
