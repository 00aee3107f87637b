#include "app/Splash.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include "core/VirtualClock.h"
#include "support/FileBytes.h"

namespace kelvra::app {
namespace {

class FakeSearchPath : public SearchPath {
  public:
    QString current() const override { return path; }
    void setProcessPath(const QString& value) override { path = value; }
    void storeFolderFirst(const QString& folder) override { stored << folder; }
    QString path = "/usr/bin:/bin";
    QStringList stored;
};

TEST(Splash, LoadsTheMainWindowOnceAndNeverCountsBackwards) {
    VirtualClock clock;
    SplashControls controls;
    FakeSearchPath searchPath;
    int loads = 0;
    int position = 0;
    Splash splash(controls, clock, searchPath, "/opt/Kelvra",
                  {[&] { ++loads; }, [&] { return position; }, {}});
    splash.load();
    EXPECT_TRUE(controls.version.text().startsWith("version "));
    EXPECT_TRUE(controls.version.text().contains(" build "));
    EXPECT_EQ(searchPath.path, "/opt/Kelvra:/usr/bin:/bin");
    EXPECT_EQ(searchPath.stored, QStringList{"/opt/Kelvra"});

    clock.advance(25);
    EXPECT_EQ(loads, 1);
    position = 40;
    clock.advance(60);
    EXPECT_EQ(controls.loading.text(), "Loading Playlist: 40 Songs done...");
    position = 12;  // the position moved back (a new playlist): the label stays
    clock.advance(60);
    EXPECT_EQ(controls.loading.text(), "Loading Playlist: 40 Songs done...");
    position = 41;
    clock.advance(60);
    EXPECT_EQ(controls.loading.text(), "Loading Playlist: 41 Songs done...");
    EXPECT_EQ(loads, 1);

    splash.close();
    EXPECT_FALSE(splash.loadTimer().enabled());
    EXPECT_FALSE(splash.progressTimer().enabled());
}

TEST(Splash, LeavesASearchPathThatAlreadyNamesKelvraAlone) {
    VirtualClock clock;
    SplashControls controls;
    FakeSearchPath searchPath;
    searchPath.path = "/home/dj/KELVRA/bin:/usr/bin";
    Splash splash(controls, clock, searchPath, "/opt/Kelvra", {});
    splash.load();
    EXPECT_EQ(searchPath.path, "/home/dj/KELVRA/bin:/usr/bin");
    EXPECT_TRUE(searchPath.stored.isEmpty());
}

TEST(SystemSearchPath, StoresOnlyForAnInstalledProgramAndForgetsAVanishedOne) {
    QTemporaryDir folder;
    const QString stored = folder.filePath("environment.d/kelvra.conf");
    const QString build = folder.filePath("build");
    const QString installed = folder.filePath("opt/Kelvra");
    ASSERT_TRUE(QDir().mkpath(installed));
    QFile program(installed + "/kelvra");
    ASSERT_TRUE(program.open(QIODevice::WriteOnly));
    program.close();
    program.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    SystemSearchPath searchPath(stored, build);

    // Running from the build tree stores nothing: the entry would outlive `make clean`.
    searchPath.storeFolderFirst(build + "/src");
    EXPECT_FALSE(QFileInfo::exists(stored));
    // Nor from a build tree moved after configuring, which the configured path no longer names.
    const QString moved = folder.filePath("moved-build");
    ASSERT_TRUE(QDir().mkpath(moved + "/src"));
    test::writeFile(moved + "/CMakeCache.txt", {});
    searchPath.storeFolderFirst(moved + "/src");
    EXPECT_FALSE(QFileInfo::exists(stored));

    searchPath.storeFolderFirst(installed);
    EXPECT_TRUE(test::contents(stored).contains(("PATH=" + installed + ":${PATH}\n").toUtf8()));
    searchPath.forgetMissingProgram();  // the program is there: the entry stays
    EXPECT_TRUE(QFileInfo::exists(stored));

    ASSERT_TRUE(QFile::remove(installed + "/kelvra"));
    searchPath.forgetMissingProgram();
    EXPECT_FALSE(QFileInfo::exists(stored));

    // A file the user wrote is never touched.
    test::writeFile(stored, "PATH=/nowhere:${PATH}\n");
    searchPath.forgetMissingProgram();
    EXPECT_TRUE(QFileInfo::exists(stored));
}

}  // namespace
}  // namespace kelvra::app
