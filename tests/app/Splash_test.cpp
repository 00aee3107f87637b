#include "app/Splash.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include "core/VirtualClock.h"

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

TEST(SystemSearchPath, StoresAnEasilyRemovedEnvironmentFile) {
    QTemporaryDir folder;
    SystemSearchPath searchPath(folder.filePath("environment.d/kelvra.conf"));
    searchPath.storeFolderFirst("/opt/Kelvra");
    QFile file(folder.filePath("environment.d/kelvra.conf"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_TRUE(file.readAll().contains("PATH=/opt/Kelvra:${PATH}\n"));
}

}  // namespace
}  // namespace kelvra::app
