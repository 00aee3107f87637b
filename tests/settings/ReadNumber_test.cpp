#include <gtest/gtest.h>

#include "settings/MemorySettingsStore.h"
#include "settings/SettingsStore.h"

namespace kelvra::settings {
namespace {

TEST(ReadNumber, TakesTheLeadingDecimalNumberOnly) {
    EXPECT_DOUBLE_EQ(readNumber("1.1"), 1.1);
    EXPECT_DOUBLE_EQ(readNumber("131072"), 131072);
    EXPECT_DOUBLE_EQ(readNumber("-1"), -1);
    EXPECT_DOUBLE_EQ(readNumber("4000 rpm"), 4000);
    EXPECT_DOUBLE_EQ(readNumber("1.5.2"), 1.5);
    EXPECT_DOUBLE_EQ(readNumber("  85"), 85);
    EXPECT_DOUBLE_EQ(readNumber(""), 0);
    EXPECT_DOUBLE_EQ(readNumber("abc"), 0);
    EXPECT_DOUBLE_EQ(readNumber(kAbsentMarker), 0);
}

TEST(MemorySettingsStore, NamesMatchWithoutCaseAndMissingValuesReadAbsent) {
    MemorySettingsStore store;
    EXPECT_EQ(store.readSetting(Hive::LocalMachine, "Software\\Kelvra", "InitQuality"),
              kAbsentMarker);
    store.writeSetting(Hive::LocalMachine, "Software\\Kelvra", "initQuality",
                       "CD Quality - 44100Hz");
    EXPECT_EQ(store.readSetting(Hive::LocalMachine, "software\\kelvra", "InitQuality"),
              "CD Quality - 44100Hz");
    EXPECT_EQ(store.readSetting(Hive::ClassesRoot, "Software\\Kelvra", "InitQuality"),
              kAbsentMarker);
    store.deleteValue(Hive::LocalMachine, "Software\\Kelvra", "INITQUALITY");
    EXPECT_EQ(store.readSetting(Hive::LocalMachine, "Software\\Kelvra", "initQuality"),
              kAbsentMarker);
}

}  // namespace
}  // namespace kelvra::settings
