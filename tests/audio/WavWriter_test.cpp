// The renderer's WAV files: whole with their sizes filled in, or not there at all.
#include "audio/WavWriter.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cerrno>
#include <cstring>

#include "support/AudioFixtures.h"

namespace kelvra::audio {
namespace {

constexpr int kRate = 8000;

// A disk with `room` bytes left: a write that does not fit fails as a full disk fails.
class DiskWithRoom final : public QSaveFile {
  public:
    DiskWithRoom(const QString& name, qint64 room) : QSaveFile(name), room_(room) {}

  protected:
    qint64 writeData(const char* data, qint64 size) override {
        if (size > room_) {
            setErrorString(QString::fromLocal8Bit(std::strerror(ENOSPC)));
            return -1;
        }
        room_ -= size;
        return QSaveFile::writeData(data, size);
    }

  private:
    qint64 room_;
};

std::uint32_t sizeAt(const QByteArray& bytes, int at) {
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i)
        value = value << 8 | std::uint8_t(bytes[at + i]);
    return value;
}

QByteArray contents(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

TEST(WavWriter, AFullDiskLeavesNoFileAndTheOlderOneAsItWas) {
    QTemporaryDir dir;
    const QString path = dir.filePath("mix.wav");
    {
        QFile older(path);
        ASSERT_TRUE(older.open(QIODevice::WriteOnly));
        older.write("the older mix");
    }
    const std::vector<std::int16_t> second = test::sine(kRate, 2, 1, 440);
    for (const qint64 room : {qint64(10), qint64(44 + 3 * kRate), qint64(44 + 4 * kRate)}) {
        WavWriter wav(std::make_unique<DiskWithRoom>(path, room), kRate);
        bool wrote = true;
        for (int i = 0; i < 3 && wrote; ++i)
            wrote = wav.write(second.data(), kRate);
        EXPECT_FALSE(wrote) << room;
        EXPECT_FALSE(wav.finish()) << room;
        EXPECT_FALSE(wav.ok());
        const std::string why = wav.failureText("mix.wav");
        EXPECT_EQ(why, "cannot write mix.wav: " + std::string(std::strerror(ENOSPC))) << room;
        EXPECT_EQ(contents(path), "the older mix") << room;
        EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"mix.wav"}) << room;
    }
}

TEST(WavWriter, AFullFileKeepsWhatFitsWithItsSizesFilledIn) {
    QTemporaryDir dir;
    const QString path = dir.filePath("long.wav");
    // Room for 1.5 s of the 2 s offered: the frames that fit are kept, the rest dropped.
    const std::uint64_t cap = std::uint64_t(kRate) * 4 * 3 / 2 + 3;
    WavWriter wav(std::make_unique<QSaveFile>(path), kRate, cap);
    const std::vector<std::int16_t> second = test::sine(kRate, 2, 1, 440);
    EXPECT_TRUE(wav.write(second.data(), kRate));
    EXPECT_FALSE(wav.write(second.data(), kRate));
    EXPECT_TRUE(wav.full());
    EXPECT_FALSE(wav.write(second.data(), kRate));
    ASSERT_TRUE(wav.finish());
    EXPECT_NE(wav.failureText("long.wav").find("cut after 0 h 0 min"), std::string::npos);

    const QByteArray bytes = contents(path);
    ASSERT_EQ(bytes.size(), 44 + kRate * 6);
    EXPECT_EQ(sizeAt(bytes, 4), std::uint32_t(36 + kRate * 6));
    EXPECT_EQ(sizeAt(bytes, 40), std::uint32_t(kRate * 6));
    test::WavData read;
    ASSERT_TRUE(test::readWav(path.toStdString(), read));
    EXPECT_EQ(read.samples.size(), std::size_t(3 * kRate));
    EXPECT_TRUE(
        std::equal(second.begin(), second.begin() + kRate, read.samples.begin() + 2 * kRate));
}

}  // namespace
}  // namespace kelvra::audio
