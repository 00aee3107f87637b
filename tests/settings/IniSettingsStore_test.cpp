#include "settings/IniSettingsStore.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

namespace kelvra::settings {
namespace {

TEST(IniSettingsStore, ValuesSurviveARestartAndMatchWithoutCase) {
    QTemporaryDir folder;
    {
        IniSettingsStore store(folder.path());
        store.writeSetting(Hive::LocalMachine, "Software\\Kelvra", "initQuality",
                           "CD Quality - 44100Hz");
        store.writeSetting(Hive::LocalMachine, "Software\\Kelvra", "Last Playlist",
                           "/home/dj/a, b.m3u");
        store.writeSetting(Hive::ClassesRoot, ".mp3", "", "Kelvra.mp3");
    }
    IniSettingsStore store(folder.path());
    EXPECT_EQ(store.readSetting(Hive::LocalMachine, "software\\KELVRA", "InitQuality"),
              "CD Quality - 44100Hz");
    EXPECT_EQ(store.readSetting(Hive::LocalMachine, "Software\\Kelvra", "last playlist"),
              "/home/dj/a, b.m3u");
    EXPECT_EQ(store.readSetting(Hive::ClassesRoot, "Software\\Kelvra", "initQuality"),
              kAbsentMarker);

    // A writer with another spelling replaces the value instead of adding a second one.
    store.writeSetting(Hive::LocalMachine, "Software\\Kelvra", "INITQUALITY",
                       "FM Quality - 22100Hz");
    store.deleteValue(Hive::LocalMachine, "Software\\Kelvra", "InitQuality");
    EXPECT_EQ(store.readSetting(Hive::LocalMachine, "Software\\Kelvra", "initQuality"),
              kAbsentMarker);
}

TEST(IniSettingsStore, DeletingAKeyRemovesItsValuesAndSubkeys) {
    QTemporaryDir folder;
    IniSettingsStore store(folder.path());
    store.writeSetting(Hive::ClassesRoot, "Kelvra.mp3\\shell\\open\\command", "", "kelvra \"%1\"");
    store.writeSetting(Hive::ClassesRoot, "Kelvra.mp3", "", "MP3 song");
    EXPECT_EQ(store.readSetting(Hive::ClassesRoot, "kelvra.mp3", ""), "MP3 song");
    EXPECT_EQ(store.readSetting(Hive::ClassesRoot, "Kelvra.mp3\\shell\\open\\command", ""),
              "kelvra \"%1\"");
    store.deleteKey(Hive::ClassesRoot, "kelvra.MP3");
    EXPECT_EQ(store.readSetting(Hive::ClassesRoot, "Kelvra.mp3", ""), kAbsentMarker);
    EXPECT_EQ(store.readSetting(Hive::ClassesRoot, "Kelvra.mp3\\shell\\open\\command", ""),
              kAbsentMarker);
    store.deleteKey(Hive::ClassesRoot, "NoSuchKey");  // harmless
}

TEST(IniSettingsStore, TheEnvironmentMovesTheFolder) {
    QTemporaryDir folder;
    qputenv("KELVRA_CONFIG_DIR", folder.path().toUtf8());
    EXPECT_EQ(IniSettingsStore::defaultFolder(), folder.path());
    IniSettingsStore store;
    EXPECT_TRUE(store.fileName(Hive::LocalMachine).startsWith(folder.path()));
    qunsetenv("KELVRA_CONFIG_DIR");
}

}  // namespace
}  // namespace kelvra::settings
