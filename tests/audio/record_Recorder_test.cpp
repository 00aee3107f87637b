// Recording to FLAC: every sample fed comes back from libFLAC's decoder with a header that
// matches it, and a disk that fills up ends the recording with a valid file of what fitted.
#include <gtest/gtest.h>

#include <sys/resource.h>

#include <QDir>
#include <QFile>
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

using namespace std::chrono_literals;

// Noise over a tone, different on each side: nearly as large encoded as raw, so a few seconds
// fill a small disk, and a swapped or shifted sample shows.
std::vector<std::int16_t> noisyTone(int rate, double seconds, unsigned seed) {
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> noise(-6000, 6000);
    std::vector<std::int16_t> samples(std::size_t(rate * seconds) * 2);
    for (std::size_t i = 0; i < samples.size() / 2; ++i) {
        const double tone = 12000 * std::sin(2 * M_PI * 440.0 * double(i) / rate);
        samples[2 * i] = std::int16_t(tone + noise(random));
        samples[2 * i + 1] = std::int16_t(-tone / 2 + noise(random));
    }
    return samples;
}

// Feeds `samples` through the ring as the mix would, in periods of varying length.
void feed(Recorder& recorder, const std::vector<std::int16_t>& samples) {
    std::mt19937 random(7);
    for (std::size_t at = 0; at < samples.size() / 2;) {
        const std::size_t period =
            std::min<std::size_t>(64 + random() % 4000, samples.size() / 2 - at);
        recorder.waitForRoom(period);
        recorder.ring().push(samples.data() + 2 * at, period);
        at += period;
    }
}

std::vector<std::int16_t> firstFrames(const std::vector<std::int16_t>& samples, std::uint64_t n) {
    return {samples.begin(), samples.begin() + std::ptrdiff_t(2 * n)};
}

// A smaller largest file for this process, with the signal that would end it ignored (so the
// write fails instead), both as they were afterwards.
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

TEST(Recorder, EverySampleFedComesBackWithAHeaderThatMatchesIt) {
    QTemporaryDir dir;
    Recorder recorder;
    for (const auto& [name, rate, seconds] :
         {std::tuple{"first.flac", 48000, 5.0}, {"second.flac", 44100, 2.3}}) {
        SCOPED_TRACE(name);
        const QString path = dir.filePath(name);
        const std::vector<std::int16_t> fed = noisyTone(rate, seconds, unsigned(rate));
        ASSERT_TRUE(recorder.start(path, rate)) << recorder.status().message;
        EXPECT_TRUE(recorder.status().active);
        EXPECT_FALSE(recorder.start(path, rate));  // one at a time
        feed(recorder, fed);
        const RecordingStatus status = recorder.stop();
        EXPECT_FALSE(status.active);
        EXPECT_FALSE(status.failed) << status.message;
        EXPECT_EQ(status.rate, rate);
        EXPECT_EQ(status.frames, fed.size() / 2);  // counted from zero for each recording
        EXPECT_EQ(status.lostFrames, 0u);
        EXPECT_EQ(status.bytes, std::uint64_t(QFile(path).size()));

        const test::FlacData file = test::decodeFlac(path.toStdString());
        ASSERT_TRUE(file.ok) << file.error;
        EXPECT_EQ(file.rate, rate);
        EXPECT_EQ(file.channels, 2);
        EXPECT_EQ(file.bitsPerSample, 16);
        EXPECT_EQ(file.totalFrames, fed.size() / 2);
        EXPECT_TRUE(file.md5Matched);
        EXPECT_TRUE(file.samples == fed);
    }
}

TEST(Recorder, AFullDiskEndsTheRecordingWithAValidFileOfWhatFitted) {
    QTemporaryDir dir;
    const QString path = dir.filePath("full.flac");
    constexpr rlim_t kRoom = 400'000;  // about three seconds of this signal
    const std::vector<std::int16_t> fed = noisyTone(44100, 8.0, 3);
    Recorder recorder;
    RecordingStatus status;
    {
        const FileSizeLimit limit(kRoom);
        ASSERT_TRUE(recorder.start(path, 44100)) << recorder.status().message;
        feed(recorder, fed);
        // The writer notices by itself; the mix goes on meanwhile and loses nothing to it.
        for (int i = 0; i < 1000 && !recorder.status().failed; ++i)
            std::this_thread::sleep_for(10ms);
        EXPECT_TRUE(recorder.status().failed);
        EXPECT_TRUE(recorder.status().active);  // until stopped
        status = recorder.stop();
    }
    EXPECT_TRUE(status.failed);
    EXPECT_NE(status.message.find("cannot write " + path.toStdString() + ": "), std::string::npos)
        << status.message;
    EXPECT_NE(status.message.find(std::strerror(EFBIG)), std::string::npos) << status.message;
    EXPECT_GT(status.frames, 44100u);
    EXPECT_LT(status.frames, fed.size() / 2);
    EXPECT_EQ(status.bytes, std::uint64_t(QFile(path).size()));
    EXPECT_LE(QFile(path).size(), qint64(kRoom));

    const test::FlacData file = test::decodeFlac(path.toStdString());
    ASSERT_TRUE(file.ok) << file.error;
    EXPECT_EQ(file.totalFrames, status.frames);
    EXPECT_TRUE(file.md5Known);
    EXPECT_TRUE(file.md5Matched);
    EXPECT_TRUE(file.samples == firstFrames(fed, status.frames));
}

TEST(Recorder, ARecordingThatCannotStartSaysWhyAndLeavesNoFile) {
    QTemporaryDir dir;
    Recorder recorder;
    const QString missing = dir.filePath("no such folder/mix.flac");
    EXPECT_FALSE(recorder.start(missing, 44100));
    RecordingStatus status = recorder.status();
    EXPECT_FALSE(status.active);
    EXPECT_TRUE(status.failed);
    EXPECT_NE(status.message.find("cannot create " + missing.toStdString()), std::string::npos)
        << status.message;

    // No room even for the header.
    const QString tiny = dir.filePath("tiny.flac");
    {
        const FileSizeLimit limit(20);
        EXPECT_FALSE(recorder.start(tiny, 44100));
    }
    status = recorder.status();
    EXPECT_NE(status.message.find("cannot write " + tiny.toStdString()), std::string::npos)
        << status.message;
    EXPECT_FALSE(QFile::exists(tiny));

    EXPECT_FALSE(recorder.start(dir.filePath("silly.flac"), 0));
    EXPECT_FALSE(QFile::exists(dir.filePath("silly.flac")));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList());

    // None of that stands in the way of the next recording.
    ASSERT_TRUE(recorder.start(dir.filePath("fine.flac"), 44100));
    EXPECT_FALSE(recorder.status().failed);
    EXPECT_EQ(recorder.stop().frames, 0u);
    EXPECT_TRUE(test::decodeFlac(dir.filePath("fine.flac").toStdString()).ok);
}

}  // namespace
}  // namespace kelvra::audio::record
