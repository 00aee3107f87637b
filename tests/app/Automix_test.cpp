// kelvra-cli automix: a rendered Auto-DJ mix of three tones, checked on its audio and its cue
// sheet, and rendered twice to the same bytes.
#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>
#include <cmath>

#include "support/AudioFixtures.h"
#include "support/CliRun.h"
#include "support/FileBytes.h"

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

using test::CliRun;
using test::runCli;

QString writeList(const QTemporaryDir& dir, const QStringList& paths) {
    QFile m3u(dir.filePath("set.m3u"));
    EXPECT_TRUE(m3u.open(QIODevice::WriteOnly));
    for (const QString& path : paths)
        m3u.write(path.toUtf8() + "\r\n");
    return m3u.fileName();
}

TEST(Automix, BrokenEntriesAreSkippedAndThePlayableOnesPlayOnceAndWhole) {
    QTemporaryDir dir;
    const QString good = dir.filePath("good.wav");
    ASSERT_TRUE(test::writeWav(good.toStdString(), test::sine(kRate, 2, 4, 440, 0.5), kRate, 2));
    const QString garbage = dir.filePath("garbage.mp3");
    test::writeFile(garbage, QByteArray(5000, 'z'));
    // The good song sits among broken ones, first, in the middle and last.
    for (int at : {0, 4, 9}) {
        QStringList paths;
        for (int i = 0; i < 10; ++i)
            paths << (i == at ? good
                      : i % 2 ? garbage
                              : dir.filePath(QString("gone%1.mp3").arg(i)));
        const QString out = dir.filePath("mix.wav"), cue = dir.filePath("mix.cue");
        const CliRun run =
            runCli({"automix", writeList(dir, paths), "--out", out, "--cue-sheet", cue});
        ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
        EXPECT_EQ(test::contents(cue).count("TRACK "), 1) << at;
        test::WavData wav;
        ASSERT_TRUE(test::readWav(out.toStdString(), wav));
        // The song once, to its end, and nothing after it.
        const double seconds = double(wav.samples.size()) / 2 / kRate;
        EXPECT_GT(seconds, 4.0) << at;
        EXPECT_LT(seconds, 4.4) << at;
        EXPECT_GT(share(wav, 440, seconds - 0.6, seconds - 0.3), 0.95) << at;
    }
    // A list written with LF alone holds no songs, and the error says why.
    const QString unix = dir.filePath("unix.m3u");
    test::writeFile(unix, good.toUtf8() + "\n");
    const CliRun run = runCli({"automix", unix, "--out", dir.filePath("none.wav")});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.err.contains("its lines end in LF alone")) << run.err.toStdString();
}

TEST(Automix, SkipSilenceMixesOnTheAudibleParts) {
    QTemporaryDir dir;
    // Ten seconds of sound with 25 s of silence after it, then one with 3 s of silence before.
    std::vector<std::int16_t> first = test::sine(kRate, 2, 10, 440, 0.5);
    first.resize(first.size() + std::size_t(2 * 25 * kRate), 0);
    std::vector<std::int16_t> second(std::size_t(2 * 3 * kRate), 0);
    const std::vector<std::int16_t> tone = test::sine(kRate, 2, 10, 660, 0.5);
    second.insert(second.end(), tone.begin(), tone.end());
    const QString a = dir.filePath("a.wav"), b = dir.filePath("b.wav");
    ASSERT_TRUE(test::writeWav(a.toStdString(), first, kRate, 2));
    ASSERT_TRUE(test::writeWav(b.toStdString(), second, kRate, 2));
    const QString list = writeList(dir, {a, b}), out = dir.filePath("mix.wav");

    ASSERT_EQ(runCli({"automix", list, "--out", out, "--skip-silence"}).exitCode, 0);
    test::WavData mix;
    ASSERT_TRUE(test::readWav(out.toStdString(), mix));
    // The fade to the second song begins at 85 % of the first one's sound (8.6 s), and the
    // second starts 2 s into it (20 steps) at its own first sound, 3 s into its file.
    EXPECT_GT(share(mix, 440, 8.5, 9.5), 0.95);
    EXPECT_GT(share(mix, 660, 11.0, 13.0), 0.95);
    EXPECT_NEAR(double(mix.samples.size()) / 2 / kRate, 8.6 + 2 + 10, 0.3);

    // Without it the first song's silence is heard out to 85 % of its length.
    ASSERT_EQ(runCli({"automix", list, "--out", out}).exitCode, 0);
    ASSERT_TRUE(test::readWav(out.toStdString(), mix));
    double loudest = 0;
    for (std::size_t i = std::size_t(11 * kRate) * 2; i < std::size_t(29 * kRate) * 2; ++i)
        loudest = std::max(loudest, std::abs(double(mix.samples[i])));
    EXPECT_EQ(loudest, 0);
}

TEST(Automix, HandsOverAtTheSetShareWithTheCrossfadeAndTheSameBytesEveryTime) {
    QTemporaryDir dir;
    QByteArray list;
    for (int f : {440, 660, 880}) {
        const std::string path = dir.filePath(QString("tone%1.wav").arg(f)).toStdString();
        ASSERT_TRUE(test::writeWav(path, test::sine(kRate, 2, 10, f, 0.5), kRate, 2));
        list += QByteArray::fromStdString(path) + "\r\n";
    }
    const QString m3u = dir.filePath("set.m3u");
    test::writeFile(m3u, list);

    auto render = [&](const QString& out, const QStringList& more = {}) {
        const CliRun run = runCli(
            QStringList{"automix", m3u, "--out", out, "--cue-sheet", dir.filePath("set.cue")} +
            more);
        EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
        return test::contents(out);
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
        return QString::fromUtf8(test::contents(dir.filePath("set.cue")));
    };
    const QString text = sheetText();
    EXPECT_EQ(text.count("TRACK "), 3);
    EXPECT_LT(text.indexOf("TRACK 01"), text.indexOf("TRACK 03"));
    // The untagged files are titled by their names.
    EXPECT_TRUE(text.contains("TITLE \"tone880\"\r\n    INDEX")) << text.toStdString();

    // The last song plays to its end and the mix ends with it, with nothing of the first again;
    // also when the next song would have come in before the last one's end.
    for (const QStringList& more : {QStringList{}, QStringList{"--start", "70"}}) {
        render(dir.filePath("d.wav"), more);
        test::WavData mix;
        ASSERT_TRUE(test::readWav(dir.filePath("d.wav").toStdString(), mix));
        const QString sheet = sheetText();
        ASSERT_EQ(sheet.count("TRACK "), 3);
        const qsizetype index = sheet.indexOf("INDEX 01 ", sheet.indexOf("TRACK 03")) + 9;
        const QStringList mmssff = sheet.mid(index, 8).split(':');
        ASSERT_EQ(mmssff.size(), 3);
        const double lastStart =
            mmssff[0].toInt() * 60 + mmssff[1].toInt() + mmssff[2].toInt() / 75.0;
        const double length = double(mix.samples.size()) / 2 / kRate;
        EXPECT_NEAR(length, lastStart + 10, 0.15) << more.join(' ').toStdString();
        EXPECT_GT(share(mix, 880, length - 0.6, length - 0.1), 0.95);
        EXPECT_LT(share(mix, 440, length - 0.6, length), 0.01);
    }

    // Round the list again: the first song comes back after the last, as the Auto-DJ wraps.
    render(dir.filePath("c.wav"), {"--repeat", "--seconds", "36"});
    ASSERT_TRUE(test::readWav(dir.filePath("c.wav").toStdString(), wav));
    EXPECT_NEAR(double(wav.samples.size()) / 2 / kRate, 36.0, 0.01);
    EXPECT_GT(share(wav, 440, 32, 35), 0.95);
    EXPECT_EQ(sheetText().count("TRACK "), 4);
}

}  // namespace
}  // namespace kelvra::app
