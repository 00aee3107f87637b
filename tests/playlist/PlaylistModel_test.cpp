#include <gtest/gtest.h>

#include <QSignalSpy>

#include "playlist/PlaylistModel.h"

namespace kelvra::playlist {
namespace {

constexpr int kAMinor = 21, kEMinor = 16, kCMajor = 0, kFSharpMajor = 6;

std::vector<PlaylistEntry> entries(const QStringList& paths) {
    std::vector<PlaylistEntry> out;
    for (const QString& path : paths)
        out.push_back({0, path, int(out.size()) + 1, path, true, {}});
    return out;
}

QString facts(const PlaylistModel& model, int row) {
    return model.data(model.index(row), PlaylistModel::FactsRole).toString();
}
bool compatible(const PlaylistModel& model, int row) {
    return model.data(model.index(row), PlaylistModel::CompatibleRole).toBool();
}

TEST(PlaylistSongFacts, ShowOnEveryEntryOfTheSongAndOutliveItsRemoval) {
    PlaylistModel model;
    model.append(entries({"/a.mp3", "/b.mp3", "/a.mp3"}));
    QSignalSpy changed(&model, &PlaylistModel::dataChanged);
    model.setSongFacts("/a.mp3", {126.04, kAMinor});
    EXPECT_EQ(facts(model, 0), "126.0 BPM  8A A minor");
    EXPECT_EQ(facts(model, 2), facts(model, 0));  // the same song twice in the list
    EXPECT_EQ(facts(model, 1), "");               // not analysed yet
    // The display line stays the number and the title: searches and saves read it.
    EXPECT_EQ(model.data(model.index(0), Qt::DisplayRole).toString(), "1.  /a.mp3");
    // A result that changes nothing repaints nothing (the cache answers every reload).
    model.setSongFacts("/a.mp3", {126.04, kAMinor});
    EXPECT_EQ(changed.count(), 1);

    // Only the key that was found is shown; a tempo that was not found is said to be missing,
    // and one that holds only for the song's longest stretch says so.
    model.setSongFacts("/b.mp3", {0, kCMajor});
    EXPECT_EQ(facts(model, 1), "no steady beat  8B C major");
    model.setSongFacts("/b.mp3", {98.5, -1});
    EXPECT_EQ(facts(model, 1), "98.5 BPM");
    model.setSongFacts("/b.mp3", {98.5, -1, true});
    EXPECT_EQ(facts(model, 1), "98.5 BPM (tempo changes)");

    // Removed and added again, the song shows what was found at once.
    model.clear();
    model.append(entries({"/a.mp3"}));
    EXPECT_EQ(facts(model, 0), "126.0 BPM  8A A minor");
}

TEST(PlaylistSongFacts, SongsThatMixWithTheKeyOnAirAreMarked) {
    PlaylistModel model;
    model.append(entries({"/am.mp3", "/em.mp3", "/c.mp3", "/fs.mp3", "/none.mp3"}));
    model.setSongFacts("/am.mp3", {120, kAMinor});
    model.setSongFacts("/em.mp3", {120, kEMinor});
    model.setSongFacts("/c.mp3", {120, kCMajor});
    model.setSongFacts("/fs.mp3", {120, kFSharpMajor});
    model.setSongFacts("/none.mp3", {120, -1});
    for (int row = 0; row < model.count(); ++row)
        EXPECT_FALSE(compatible(model, row)) << row;  // nothing on air: nothing marked

    QSignalSpy changed(&model, &PlaylistModel::dataChanged);
    model.setMixKey(kAMinor);
    EXPECT_EQ(changed.count(), 1);
    // The same key, a fifth away and the relative major mix; a tritone away and no key do not.
    EXPECT_TRUE(compatible(model, 0));
    EXPECT_TRUE(compatible(model, 1));
    EXPECT_TRUE(compatible(model, 2));
    EXPECT_FALSE(compatible(model, 3));
    EXPECT_FALSE(compatible(model, 4));
    model.setMixKey(kAMinor);  // every display tick says it again
    EXPECT_EQ(changed.count(), 1);
    model.setMixKey(-1);
    EXPECT_FALSE(compatible(model, 0));
}

}  // namespace
}  // namespace kelvra::playlist
