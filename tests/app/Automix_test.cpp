// kelvra-cli automix: a rendered Auto-DJ mix of three tones, checked on its audio and its cue
// sheet, and rendered twice to the same bytes.
#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <cmath>

#include "support/AudioFixtures.h"

namespace kelvra::app {
namespace {

constexpr int kRate = 44100;

// Energy of `frequency` in the left+right mix over [from, to) seconds, as a share of the total.
double share(const test::WavData& wav, double frequency, double from, double to) {
    double re = 0, im = 0, total = 0;
    const std::size_t a = std::size_t(from * kRate), b = std::size_t(to * kRate);
    for (std::size_t i = a; i < b && 2 * i + 1 < wav.samples.size(); ++i) {
        const double x = wav.samples[2 * i] + wav.samples[2 * i + 1];
        const double phase = 2 * M_PI * frequency * double(i) / kRate;
        re += x * std::cos(phase);
        im += x * std::sin(phase);
        total += x * x;
    }
    return total > 0 ? 2 * (re * re + im * im) / (double(b - a) * total) : 0;
}

TEST(Automix, HandsOverAtTheSetShareWithTheCrossfadeAndTheSameBytesEveryTime) {
    QTemporaryDir dir;
    QByteArray list;
    for (int f : {440, 660, 880}) {
        const std::string path = dir.filePath(QString("tone%1.wav").arg(f)).toStdString();
        ASSERT_TRUE(test::writeWav(path, test::sine(kRate, 2, 10, f, 0.5), kRate, 2));
        list += QByteArray::fromStdString(path) + "\r\n";
    }
    QFile m3u(dir.filePath("set.m3u"));
    ASSERT_TRUE(m3u.open(QIODevice::WriteOnly));
    m3u.write(list);
    m3u.close();

    auto render = [&](const QString& out, const QStringList& more = {}) {
        QProcess process;
        process.setProcessEnvironment(QProcessEnvironment::systemEnvironment());
        process.start(KELVRA_CLI_PATH, QStringList{"automix", m3u.fileName(), "--out", out,
                                                   "--cue-sheet", dir.filePath("set.cue")} +
                                           more);
        EXPECT_TRUE(process.waitForFinished(60000));
        EXPECT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
        QFile file(out);
        EXPECT_TRUE(file.open(QIODevice::ReadOnly));
        return file.readAll();
    };
    const QByteArray first = render(dir.filePath("a.wav"));
    EXPECT_EQ(first, render(dir.filePath("b.wav")));

    test::WavData wav;
    ASSERT_TRUE(test::readWav(dir.filePath("a.wav").toStdString(), wav));
    // Each song alone in the middle of its turn; the next comes in after 85 % of the last.
    EXPECT_GT(share(wav, 440, 2, 6), 0.95);
    EXPECT_GT(share(wav, 660, 12, 15), 0.95);
    EXPECT_GT(share(wav, 880, 22, 25), 0.95);
    EXPECT_LT(share(wav, 660, 2, 8), 0.01);
    // Three tracks in the sheet, in order.
    const auto sheetText = [&] {
        QFile sheet(dir.filePath("set.cue"));
        EXPECT_TRUE(sheet.open(QIODevice::ReadOnly));
        return QString::fromUtf8(sheet.readAll());
    };
    const QString text = sheetText();
    EXPECT_EQ(text.count("TRACK "), 3);
    EXPECT_LT(text.indexOf("TRACK 01"), text.indexOf("TRACK 03"));

    // Round the list again: the first song comes back after the last, as the Auto-DJ wraps.
    render(dir.filePath("c.wav"), {"--repeat", "--seconds", "36"});
    ASSERT_TRUE(test::readWav(dir.filePath("c.wav").toStdString(), wav));
    EXPECT_NEAR(double(wav.samples.size()) / 2 / kRate, 36.0, 0.01);
    EXPECT_GT(share(wav, 440, 32, 35), 0.95);
    EXPECT_EQ(sheetText().count("TRACK "), 4);
}

}  // namespace
}  // namespace kelvra::app
