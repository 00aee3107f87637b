#include "settings/IniSettingsStore.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "support/FileBytes.h"
#include "support/FullDisk.h"

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

TEST(IniSettingsStore, AnUnparsableFileIsKeptAsideAndDefaultsAreUsed) {
    QTemporaryDir folder;
    const QByteArray broken("[Software\\Kelvra\ninitQuality=CD\n[\n");
    {
        QFile file(folder.filePath("machine.ini"));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(broken);
    }
    IniSettingsStore store(folder.path());
    QStringList reported;
    store.setReporter([&](const QString& text) { reported << text; });
    ASSERT_EQ(reported.size(), 1);
    EXPECT_TRUE(reported[0].contains("machine.ini.unreadable"));
    EXPECT_EQ(store.readSetting(Hive::LocalMachine, "Software\\Kelvra", "initQuality"),
              kAbsentMarker);
    QFile kept(folder.filePath("machine.ini.unreadable"));
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), broken);

    // New values go to a fresh file.
    store.writeSetting(Hive::LocalMachine, "Software\\Kelvra", "initQuality", "FM");
    EXPECT_EQ(IniSettingsStore(folder.path())
                  .readSetting(Hive::LocalMachine, "Software\\Kelvra", "initQuality"),
              "FM");
    EXPECT_EQ(reported.size(), 1);
}

// A FIFO in the settings file's place would hold start-up for ever, a link to /dev/zero would
// feed it without end: both are kept aside like an unparsable file.
TEST(IniSettingsStore, ASettingsFileThatIsNoRegularFileIsKeptAside) {
    for (const char* kind : {"fifo", "zero"}) {
        SCOPED_TRACE(kind);
        QTemporaryDir folder;
        const QString machine = folder.filePath("machine.ini");
        if (std::string_view(kind) == "fifo")
            ASSERT_EQ(mkfifo(QFile::encodeName(machine).constData(), 0600), 0);
        else
            ASSERT_TRUE(QFile::link("/dev/zero", machine));
        IniSettingsStore store(folder.path());
        QStringList reported;
        store.setReporter([&](const QString& text) { reported << text; });
        ASSERT_EQ(reported.size(), 1);
        EXPECT_TRUE(reported[0].contains("machine.ini.unreadable"));
        EXPECT_EQ(store.readSetting(Hive::LocalMachine, "Software\\Kelvra", "initQuality"),
                  kAbsentMarker);
        store.writeSetting(Hive::LocalMachine, "Software\\Kelvra", "initQuality", "FM");
        EXPECT_EQ(IniSettingsStore(folder.path())
                      .readSetting(Hive::LocalMachine, "Software\\Kelvra", "initQuality"),
                  "FM");
    }
}

TEST(IniSettingsStore, AFailedWriteIsReportedOnce) {
    QTemporaryDir folder;
    IniSettingsStore store(folder.path());
    QStringList reported;
    store.setReporter([&](const QString& text) { reported << text; });
    store.writeSetting(Hive::LocalMachine, "Software\\Kelvra", "a", "1");
    EXPECT_TRUE(reported.isEmpty());
    // The file's place taken by a folder: no write can succeed.
    ASSERT_TRUE(QFile::remove(folder.filePath("machine.ini")));
    ASSERT_TRUE(QDir(folder.path()).mkdir("machine.ini"));
    store.writeSetting(Hive::LocalMachine, "Software\\Kelvra", "a", "2");
    store.writeSetting(Hive::LocalMachine, "Software\\Kelvra", "b", "3");
    store.deleteKey(Hive::LocalMachine, "Software\\Kelvra");
    ASSERT_EQ(reported.size(), 1);
    EXPECT_TRUE(reported[0].contains("could not save"));
}

// A full disk: the DJ hears which file and why, and the settings saved before stay whole.
TEST(IniSettingsStore, OnAFullDiskTheReasonIsToldAndTheFileKept) {
    QTemporaryDir before;
    IniSettingsStore(before.path()).writeSetting(Hive::LocalMachine, "Software\\Kelvra", "a", "1");
    const QByteArray older = test::contents(before.filePath("machine.ini"));
    ASSERT_FALSE(older.isEmpty());
    const test::FullDisk disk({{"machine.ini", older}});
    if (!disk.mounted()) GTEST_SKIP() << disk.skipReason();
    IniSettingsStore store(disk.folder());
    QStringList reported;
    store.setReporter([&](const QString& text) { reported << text; });
    store.writeSetting(Hive::LocalMachine, "Software\\Kelvra", "a", QString(5000, u'2'));
    ASSERT_EQ(reported.size(), 1);
    EXPECT_TRUE(
        reported[0].contains("\"" + disk.path("machine.ini") + "\": No space left on device"))
        << reported[0].toStdString();
    EXPECT_EQ(test::contents(disk.path("machine.ini")), older);
    EXPECT_EQ(disk.files(), QStringList{"machine.ini"});
}

}  // namespace
}  // namespace kelvra::settings
