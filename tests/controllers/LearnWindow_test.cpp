// The learn window is bound to MidiLearn and the file: choose a control, Learn, a message, and
// the status, the replaced lines and the file all show it.
#include <gtest/gtest.h>

#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>

#include "ControllerMapperRig.h"
#include "controllers/ui/LearnWindow.h"

namespace kelvra::controllers {
namespace {

TEST(LearnWindow, LearnsTheChosenControlIntoTheFile) {
    QTemporaryDir dir;
    const QString path = dir.filePath("mine.map");
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("# mine\nnote 1 0x30 LsyncCB\n");
    file.close();
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
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), "# mine\nnote 1 0x30 playCB2\n");
}

}  // namespace
}  // namespace kelvra::controllers
