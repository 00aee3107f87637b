#include "app/InitialisationChecks.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>

#include "support/FileBytes.h"
#include "support/MockAudioLibrary.h"
#include "support/ScriptedDialogs.h"

namespace kelvra::app {
namespace {

using ::testing::NiceMock;
using ::testing::Return;

class InitialisationChecksTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ON_CALL(library, version()).WillByDefault(Return(audio::kContractVersion));
        previous = QDir::currentPath();
    }
    void TearDown() override { QDir::setCurrent(previous); }

    QStringList titles() const {
        QStringList result;
        for (const auto& message : dialogs.messages)
            result << message.title;
        return result;
    }

    QTemporaryDir folder;
    NiceMock<test::MockAudioLibrary> library;
    test::ScriptedDialogs dialogs;
    QString previous;
};

TEST_F(InitialisationChecksTest, ACompleteInstallationStartsSilently) {
    test::writeFile(folder.filePath(requiredCompanionFile()), {});
    test::writeFile(folder.filePath(kOptionalCompanionFile), {});
    EXPECT_TRUE(runInitialisationChecks(folder.path(), library, dialogs));
    EXPECT_TRUE(dialogs.messages.empty());
    EXPECT_EQ(QDir::currentPath(), QDir(folder.path()).canonicalPath());
}

TEST_F(InitialisationChecksTest, EachFailureHasItsOwnBoxAndOnlyTheLastOneLetsTheProgramGoOn) {
    EXPECT_FALSE(runInitialisationChecks(folder.path(), library, dialogs));
    EXPECT_EQ(titles(), QStringList{"10X021F"});
    EXPECT_TRUE(dialogs.messages[0].text.contains(requiredCompanionFile()));

    test::writeFile(folder.filePath(requiredCompanionFile()), {});
    ON_CALL(library, version()).WillByDefault(Return((7u << 16) | 2u));
    EXPECT_FALSE(runInitialisationChecks(folder.path(), library, dialogs));
    EXPECT_EQ(titles(), (QStringList{"10X021F", "10X022F"}));
    EXPECT_TRUE(dialogs.messages[1].text.contains("2.7"));

    ON_CALL(library, version()).WillByDefault(Return(audio::kContractVersion));
    EXPECT_TRUE(runInitialisationChecks(folder.path(), library, dialogs));
    EXPECT_EQ(titles(), (QStringList{"10X021F", "10X022F", "10X024F"}));
    for (const auto& message : dialogs.messages)
        EXPECT_EQ(message.icon, MessageIcon::Critical);
}

}  // namespace
}  // namespace kelvra::app
