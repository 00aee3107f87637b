// Recording to FLAC when the disk fills up: the recording ends with a valid file of what fitted,
// every sample of it as fed, under a header that says so. (The session tests read back whole
// recordings.)
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <chrono>
#include <csignal>
#include <cstring>
#include <random>
#include <thread>

#include "audio/record/Recorder.h"
#include "support/FlacDecode.h"

namespace kelvra::audio::record {
namespace {

// Noise over a tone, different on each side: nearly as large encoded as raw, so a few seconds
// fill a small disk, and a swapped or shifted sample shows.
std::vector<std::int16_t> noisyTone(int rate, double seconds) {
    std::mt19937 random{unsigned(rate)};
    std::uniform_int_distribution<int> noise(-6000, 6000);
    std::vector<std::int16_t> samples(std::size_t(rate * seconds) * 2);
    for (std::size_t i = 0; i < samples.size(); ++i)
        samples[i] = std::int16_t(12000 * std::sin(0.06 * double(i / 2 + i % 2)) + noise(random));
    return samples;
}

// Feeds `samples` through the ring as the mix would, in periods of varying length.
void feed(Recorder& recorder, const std::vector<std::int16_t>& samples) {
    std::mt19937 random(7);
    for (std::size_t at = 0, frames = samples.size() / 2; at < frames;) {
        const std::size_t period = std::min<std::size_t>(64 + random() % 4000, frames - at);
        recorder.waitForRoom(period);
        recorder.ring().push(samples.data() + 2 * at, period);
        at += period;
    }
}

// A small largest file for this process, with the signal that would end it ignored so that the
// write fails instead; both as they were afterwards.
class FileSizeLimit {
  public:
    explicit FileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &saved_);
        previous_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = saved_;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &saved_);
        std::signal(SIGXFSZ, previous_);
    }

  private:
    rlimit saved_{};
    void (*previous_)(int) = nullptr;
};

TEST(Recorder, AFullDiskEndsTheRecordingWithAValidFileOfWhatFitted) {
    QTemporaryDir dir;
    Recorder recorder;
    const QString missing = dir.filePath("missing/a.flac"), path = dir.filePath("full.flac");
    EXPECT_FALSE(recorder.start(missing, 44100));
    EXPECT_EQ(recorder.status().message,
              "cannot create " + missing.toStdString() + ": No such file or directory");
    {
        const FileSizeLimit noRoomForTheHeader(20);
        EXPECT_FALSE(recorder.start(path, 44100));
    }
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList());  // nothing left behind

    constexpr rlim_t kRoom = 400'000;  // about three seconds of this signal
    const std::vector<std::int16_t> fed = noisyTone(44100, 8.0);
    RecordingStatus status;
    {
        const FileSizeLimit limit(kRoom);
        ASSERT_TRUE(recorder.start(path, 44100)) << recorder.status().message;
        EXPECT_FALSE(recorder.start(path, 44100));  // one at a time
        feed(recorder, fed);
        // The writer notices by itself; the mix meanwhile goes on and loses nothing to it.
        for (int i = 0; i < 1000 && !recorder.status().failed; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        EXPECT_TRUE(recorder.status().active);  // until stopped
        status = recorder.stop();
    }
    EXPECT_TRUE(status.failed);
    EXPECT_EQ(status.message, "cannot write " + path.toStdString() + ": " + std::strerror(EFBIG));
    EXPECT_GT(status.frames, 44100u);
    EXPECT_EQ(status.bytes, std::uint64_t(QFileInfo(path).size()));
    EXPECT_LE(status.bytes, kRoom);
    const test::FlacData file = test::decodeFlac(path.toStdString());
    ASSERT_TRUE(file.ok) << file.error;
    EXPECT_EQ(file.totalFrames, status.frames);
    EXPECT_TRUE(file.md5Matched);
    EXPECT_TRUE(file.samples == std::vector<std::int16_t>(
                                    fed.begin(), fed.begin() + std::ptrdiff_t(2 * status.frames)));
}

// What is there already under the recording's name stays exactly as it was: a file, a folder, a
// pipe, a device. A copy of the full-disk device is the sharpest case: a header written into it
// fails, and the file "made" for it must not then be removed.
TEST(Recorder, ARecordingNeverEmptiesReplacesOrRemovesWhatWasThere) {
    QTemporaryDir dir;
    const QString kept = dir.filePath("kept.flac"), folder = dir.filePath("folder.flac"),
                  pipe = dir.filePath("pipe.flac"), device = dir.filePath("full");
    {
        QFile file(kept);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("the DJ's own");
    }
    ASSERT_TRUE(QDir().mkpath(folder));
    ASSERT_EQ(mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    const bool haveDevice =
        mknod(QFile::encodeName(device).constData(), S_IFCHR | 0600, makedev(1, 7)) == 0;
    QStringList names = {kept, folder, pipe};
    if (haveDevice) names << device;

    Recorder recorder;
    for (const QString& name : names) {
        SCOPED_TRACE(name.toStdString());
        EXPECT_FALSE(recorder.start(name, 44100));
        EXPECT_EQ(recorder.status().message,
                  "cannot create " + name.toStdString() + ": it exists already");
    }
    QFile file(kept);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), "the DJ's own");
    EXPECT_TRUE(QFileInfo(folder).isDir());
    struct stat info = {};
    EXPECT_TRUE(::stat(QFile::encodeName(pipe).constData(), &info) == 0 && S_ISFIFO(info.st_mode));
    if (haveDevice) {
        EXPECT_TRUE(::stat(QFile::encodeName(device).constData(), &info) == 0 &&
                    S_ISCHR(info.st_mode) && info.st_rdev == makedev(1, 7));
    }
}

}  // namespace
}  // namespace kelvra::audio::record
