// Titles read away from the commands: progress while they come in, worker threads with a reader
// each, and nothing delivered after a cancel.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <atomic>
#include <mutex>
#include <set>

#include "PlaylistFixture.h"

namespace kelvra::playlist::test {
namespace {

class TitleProgress : public PlaylistFixture {};

TEST_F(TitleProgress, LoadingReportsHowFarItHasGot) {
    std::vector<std::pair<int, int>> progress;
    QObject::connect(playlist_.get(), &PlaylistController::titleProgress,
                     [&](int done, int total) { progress.emplace_back(done, total); });
    QStringList files;
    for (int i = 0; i < 60; ++i)
        files.push_back(QStringLiteral("/m/%1.mp3").arg(i));
    playlist_->Load_playlist(writeM3u("sixty.m3u", files));
    EXPECT_EQ(playlist_->count(), 60);  // every entry is there at once, before any title
    EXPECT_EQ(tagReads_, 0);
    settle();
    // 25 titles per tick: 0 of 60, 25 of 60, 50 of 60, then done.
    const std::vector<std::pair<int, int>> expected = {{0, 0}, {0, 60}, {25, 60}, {50, 60}, {0, 0}};
    EXPECT_EQ(progress, expected);
    EXPECT_EQ(playlist_->displayLine(59), "60.  59");

    // A new load drops what the old one had not read yet.
    playlist_->Load_playlist(writeM3u("sixty.m3u", files));
    clock_.advance(1);
    playlist_->Load_playlist(writeM3u("two.m3u", {"/m/x.mp3", "/m/y.mp3"}));
    const int reads = tagReads_;
    settle();
    EXPECT_EQ(tagReads_ - reads, 2);
}

TEST(ThreadedTitles, EachThreadHasItsOwnReaderAndResultsArriveOnTheUiThread) {
    std::mutex mutex;
    std::set<QThread*> readerThreads;
    std::atomic<int> readersMade = 0;
    auto service = makeThreadedTitleService(
        [&] {
            ++readersMade;
            QThread* maker = QThread::currentThread();
            return TitleReader([&, maker](const QString& path) {
                EXPECT_EQ(QThread::currentThread(), maker);  // never used on another thread
                std::lock_guard lock(mutex);
                readerThreads.insert(maker);
                return path.toUpper();
            });
        },
        3);
    std::map<EntryId, QString> titles;
    service->setSink([&](std::vector<TitleResult> results) {
        EXPECT_EQ(QThread::currentThread(), QCoreApplication::instance()->thread());
        for (TitleResult& r : results)
            titles[r.id] = r.title;
    });
    std::vector<TitleRequest> requests;
    for (EntryId id = 1; id <= 500; ++id)
        requests.push_back({id, QStringLiteral("a%1").arg(id)});
    service->request(requests);
    QElapsedTimer waited;
    waited.start();
    while (titles.size() < 500 && waited.elapsed() < 10000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    ASSERT_EQ(titles.size(), 500u);
    EXPECT_EQ(titles[77], "A77");
    EXPECT_LE(readersMade.load(), 3);
    EXPECT_NE(readerThreads.count(QCoreApplication::instance()->thread()), 1u);

    // After cancelAll nothing more is delivered, even what was already read.
    titles.clear();
    service->request(requests);
    service->cancelAll();
    QElapsedTimer settleTime;
    settleTime.start();
    while (settleTime.elapsed() < 200)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    EXPECT_TRUE(titles.empty());
}

}  // namespace
}  // namespace kelvra::playlist::test
