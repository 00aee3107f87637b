// The renderer's WAV files: whole with their sizes filled in, or not there at all.
#include "audio/WavWriter.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cerrno>
#include <cstring>

#include <sys/stat.h>
#include <sys/sysmacros.h>

#include "support/AudioFixtures.h"
#include "support/FileBytes.h"

namespace kelvra::audio {
namespace {

using test::contents;

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

// What is not a file is never written over nor replaced by one: a folder, a pipe, a device (a
// copy of the null device, where the test may make one) and a link that leads nowhere.
TEST(WavWriter, WhatIsNotAFileIsRefusedAndLeftAsItWas) {
    QTemporaryDir dir;
    const QString folder = dir.filePath("folder.wav"), pipe = dir.filePath("pipe.wav"),
                  device = dir.filePath("null.wav"), link = dir.filePath("link.wav");
    ASSERT_TRUE(QDir().mkdir(folder));
    ASSERT_EQ(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    const bool deviceMade =
        ::mknod(QFile::encodeName(device).constData(), S_IFCHR | 0600, makedev(1, 3)) == 0;
    ASSERT_TRUE(QFile::link(dir.filePath("nowhere"), link));
    const std::vector<std::int16_t> tone = test::sine(kRate, 2, 1, 440);
    for (const QString& path : {folder, pipe, device, link}) {
        if (path == device && !deviceMade) continue;
        const std::string name = QFile::encodeName(path).toStdString();
        WavWriter wav(name, kRate);
        EXPECT_FALSE(wav.ok()) << name;
        EXPECT_FALSE(wav.write(tone.data(), kRate)) << name;
        EXPECT_FALSE(wav.finish()) << name;
        EXPECT_EQ(wav.failureText(name),
                  "cannot write " + name + ": it is a folder, device or pipe, not a file");
    }
    EXPECT_TRUE(QFileInfo(folder).isDir());
    struct stat info = {};
    EXPECT_EQ(::lstat(QFile::encodeName(pipe).constData(), &info), 0);
    EXPECT_TRUE(S_ISFIFO(info.st_mode)) << "the pipe was replaced";
    if (deviceMade) {
        EXPECT_EQ(::lstat(QFile::encodeName(device).constData(), &info), 0);
        EXPECT_TRUE(S_ISCHR(info.st_mode)) << "the device was replaced";
    }
    EXPECT_TRUE(QFileInfo(link).isSymLink()) << "the link was replaced";
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::System | QDir::Hidden).size(), 3);
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
