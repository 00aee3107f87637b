// The scrolling waveform strip: where the model puts each play head between display ticks, and
// where the renderer puts the song, the beats, the cue and the heads in the picture.
#include <gtest/gtest.h>

#include <QSignalSpy>

#include "app/WaveformStrip.h"

namespace kelvra::app {
namespace {

using audio::analysis::SongAnalysis;
using audio::analysis::WaveformBlock;

constexpr int kWidth = 800;
constexpr int kHeight = 132;
constexpr int kTopMiddle = (kHeight - 1) / 2 / 2;
constexpr int kBottomMiddle = (kHeight - 1) / 2 + 1 + kTopMiddle;
constexpr QRgb kBackground = qRgb(0x05, 0x0c, 0x09);

// A 20-second song in 10 ms blocks, silent but for loud mids over [from, to) seconds.
audio::analysis::AnalysisSnapshot song(std::vector<std::pair<double, double>> loud, double bpm = 0,
                                       double firstBeat = 0) {
    auto analysis = std::make_shared<SongAnalysis>();
    analysis->seconds = 20;
    analysis->bpm = bpm;
    analysis->firstBeatSeconds = firstBeat;
    analysis->waveform.rate = 44100;
    analysis->waveform.blockFrames = 441;
    analysis->waveform.blocks.resize(2000);
    for (const auto& [from, to] : loud)
        for (int b = int(from * 100); b < int(to * 100); ++b) {
            WaveformBlock& block = analysis->waveform.blocks[std::size_t(b)];
            block.peak[1] = 250;
            block.rms[1] = 200;
        }
    return analysis;
}

int brightness(QRgb pixel) {
    return qRed(pixel) + qGreen(pixel) + qBlue(pixel);
}

TEST(WaveformStripModel, PlayHeadsRunOnBetweenTicksEaseSmallDriftAndJumpOnSeeks) {
    WaveformStripModel model;
    model.setAnalysis(Side::Left, song({}));
    QSignalSpy changed(&model, &WaveformStripModel::changed);

    model.follow(Side::Left, 1000, 5.0, 1.0);  // starts playing: a change
    EXPECT_EQ(changed.count(), 1);
    EXPECT_DOUBLE_EQ(model.lane(Side::Left).positionAt(1500), 5.5);

    // The next tick reads 20 ms behind what the model drew: it eases a tenth of the way, quietly.
    model.follow(Side::Left, 1080, 5.06, 1.0);
    EXPECT_EQ(changed.count(), 1);
    EXPECT_NEAR(model.lane(Side::Left).positionAt(1080), 5.08 - 0.002, 1e-9);

    // A seek, or a pitch move, re-anchors at once.
    model.follow(Side::Left, 1160, 12.0, 1.0);
    EXPECT_EQ(changed.count(), 2);
    EXPECT_DOUBLE_EQ(model.lane(Side::Left).positionAt(1160), 12.0);
    model.follow(Side::Left, 1240, 12.08, 1.06);
    EXPECT_EQ(changed.count(), 3);
    EXPECT_DOUBLE_EQ(model.lane(Side::Left).positionAt(1740), 12.08 + 0.53);

    // It never runs past the song's end nor before its start.
    EXPECT_DOUBLE_EQ(model.lane(Side::Left).positionAt(60000), 20.0);
    model.follow(Side::Left, 2000, 0.1, -1.0);
    EXPECT_DOUBLE_EQ(model.lane(Side::Left).positionAt(3000), 0.0);

    // Paused and reading the same place: nothing to redraw.
    model.follow(Side::Left, 4000, 7.0, 0);
    const int before = int(changed.count());
    model.follow(Side::Left, 4080, 7.0, 0);
    EXPECT_EQ(changed.count(), before);
    // The other lane is untouched by all this.
    EXPECT_DOUBLE_EQ(model.lane(Side::Right).positionAt(4080), 0.0);
}

TEST(WaveformStripModel, ZoomStaysWithinOneToSixteenSeconds) {
    WaveformStripModel model;
    QSignalSpy changed(&model, &WaveformStripModel::changed);
    EXPECT_DOUBLE_EQ(model.halfSpanSeconds(), 4.0);
    model.zoom(1);
    EXPECT_DOUBLE_EQ(model.halfSpanSeconds(), 3.2);
    model.zoom(-1);
    EXPECT_DOUBLE_EQ(model.halfSpanSeconds(), 4.0);
    model.zoom(50);
    EXPECT_DOUBLE_EQ(model.halfSpanSeconds(), 1.0);
    const int count = int(changed.count());
    model.zoom(1);  // already as close as it goes
    EXPECT_EQ(changed.count(), count);
    model.zoom(-50);
    EXPECT_DOUBLE_EQ(model.halfSpanSeconds(), 16.0);
}

TEST(WaveformStripRender, SongBeatsCueAndHeadsLandWhereTheyBelong) {
    WaveformStripModel model;
    // Loud at 7 s (already played) and at 10 s (to come); a beat every second from 0.5 s.
    model.setAnalysis(Side::Left, song({{6.95, 7.05}, {9.95, 10.05}}, 60, 0.5));
    model.setCue(Side::Left, 6.0);
    model.setHotCues(Side::Left, {-1, -1, 11.25, -1, -1, -1, -1, -1});
    model.follow(Side::Left, 0, 8.0, 0);  // paused at 8 s: the strip shows 4..12 s
    QImage image(kWidth, kHeight, QImage::Format_RGB32);
    renderWaveformStrip(image, model, 0);

    const auto xAt = [](double seconds) { return int((seconds - 4.0) * kWidth / 8.0); };
    // The loud block to come, full height and bright; the played one dimmer.
    const QRgb ahead = image.pixel(xAt(10.0), kTopMiddle);
    const QRgb played = image.pixel(xAt(7.0), kTopMiddle);
    EXPECT_GT(qGreen(ahead), 150);
    EXPECT_GT(brightness(played), brightness(kBackground) + 40);
    EXPECT_LT(brightness(played), brightness(ahead) * 2 / 3);
    EXPECT_NE(image.pixel(xAt(10.0), 3), kBackground);  // the peak nearly fills the lane
    EXPECT_EQ(image.pixel(xAt(10.0) + 20, kTopMiddle), kBackground);  // silence between

    // Beats: 4.5, 5.5 ... are marked; halfway between them nothing is.
    EXPECT_NE(image.pixel(xAt(5.5), 2), kBackground);
    EXPECT_EQ(image.pixel(xAt(6.0) + 10, 2), kBackground);
    // The cue at 6 s, in the cue's blue; hot cue 3 at 11.25 s in its pad's yellow.
    EXPECT_GT(qBlue(image.pixel(xAt(6.0), kTopMiddle)), 200);
    const QRgb hot = image.pixel(xAt(11.25), kTopMiddle);
    EXPECT_GT(qRed(hot), 200);
    EXPECT_GT(qGreen(hot), 200);
    EXPECT_LT(qBlue(hot), 80);
    // Both play heads in the middle, one above the other; the right lane has no song at all.
    EXPECT_EQ(image.pixel(kWidth / 2, kTopMiddle), image.pixel(kWidth / 2, kBottomMiddle));
    EXPECT_GT(brightness(image.pixel(kWidth / 2, kBottomMiddle)), 600);
    for (int x = 0; x < kWidth; x += 7)
        if (std::abs(x - kWidth / 2) > 1) {
            ASSERT_EQ(image.pixel(x, kBottomMiddle), kBackground) << x;
        }

    // Playing on for a second moves everything one eighth of the width to the left.
    model.follow(Side::Left, 0, 8.0, 1.0);
    renderWaveformStrip(image, model, 1000);
    EXPECT_GT(qGreen(image.pixel(xAt(9.0), kTopMiddle)), 150);
    EXPECT_EQ(image.pixel(xAt(10.0), kTopMiddle), kBackground);
}

// The x of every beat line in a lane's top rows, from left to right.
std::vector<int> beatLines(const QImage& image, int row) {
    std::vector<int> lines;
    for (int x = 0; x < image.width(); ++x)
        if (std::abs(x - image.width() / 2) > 1 && image.pixel(x, row) != kBackground)
            lines.push_back(x);
    return lines;
}

TEST(WaveformStripRender, BothLanesRunOnTheMixsTimeSoSyncedBeatsStayTogether) {
    // Synced: the right song of 112.5 BPM plays 120/112.5 as fast to meet the left one's 120.
    WaveformStripModel model;
    model.setAnalysis(Side::Left, song({}, 120, 0.25));
    model.setAnalysis(Side::Right, song({}, 112.5, 0.25));
    model.setRate(Side::Right, 120 / 112.5);
    model.follow(Side::Left, 0, 10.25, 1.0);
    model.follow(Side::Right, 0, 0.25 + 18 * 60 / 112.5, 120 / 112.5);  // both on a beat
    QImage image(kWidth, kHeight, QImage::Format_RGB32);
    const auto together = [&] {
        const std::vector<int> top = beatLines(image, 2), bottom = beatLines(image, kBottomMiddle);
        ASSERT_GE(top.size(), 14u);
        ASSERT_EQ(top.size(), bottom.size());
        for (std::size_t i = 0; i < top.size(); ++i)
            EXPECT_NEAR(top[i], bottom[i], 1) << "beat " << i;
        // 8 s of the mix across the strip: a beat every half second is every 50 pixels.
        EXPECT_NEAR(top[1] - top[0], 50, 1);
        EXPECT_NEAR(bottom[1] - bottom[0], 50, 1);
    };
    renderWaveformStrip(image, model, 0);
    together();
    // A second later both have moved on by the same two beats.
    renderWaveformStrip(image, model, 1000);
    together();
    // A rate of none (no song's rate known yet) draws at the song's own time.
    model.setRate(Side::Right, 0);
    EXPECT_EQ(model.lane(Side::Right).rate, 1.0);
}

TEST(WaveformStripRender, TheLoopIsAWashBetweenItsEndsBrighterWhilePlaying) {
    WaveformStripModel model;
    model.setAnalysis(Side::Left, song({}));
    model.follow(Side::Left, 0, 8.0, 0);  // 4..12 s
    const auto xAt = [](double seconds) { return int((seconds - 4.0) * kWidth / 8.0); };
    QImage image(kWidth, kHeight, QImage::Format_RGB32);
    QSignalSpy changed(&model, &WaveformStripModel::changed);
    model.setLoop(Side::Left, 9.0, 10.0, true);
    EXPECT_EQ(changed.count(), 1);
    model.setLoop(Side::Left, 9.0, 10.0, true);
    EXPECT_EQ(changed.count(), 1);
    renderWaveformStrip(image, model, 0);
    const QRgb inside = image.pixel(xAt(9.5), kTopMiddle);
    EXPECT_GT(qRed(inside), qBlue(inside) + 20);  // amber over the dark glass
    EXPECT_EQ(image.pixel(xAt(8.5), kTopMiddle), kBackground);
    EXPECT_EQ(image.pixel(xAt(10.5), kTopMiddle), kBackground);
    EXPECT_GT(brightness(image.pixel(xAt(9.0), kTopMiddle)), brightness(inside));  // its ends
    EXPECT_EQ(image.pixel(xAt(9.5), kBottomMiddle), kBackground);  // the other lane has none

    // Set but not playing: still there, fainter; gone once unset.
    model.setLoop(Side::Left, 9.0, 10.0, false);
    renderWaveformStrip(image, model, 0);
    const QRgb resting = image.pixel(xAt(9.5), kTopMiddle);
    EXPECT_NE(resting, kBackground);
    EXPECT_LT(brightness(resting), brightness(inside));
    model.setLoop(Side::Left, -1, -1, false);
    renderWaveformStrip(image, model, 0);
    EXPECT_EQ(image.pixel(xAt(9.5), kTopMiddle), kBackground);
}

TEST(WaveformStripRender, TheSongsEdgesAndAWrongImageAreSafe) {
    WaveformStripModel model;
    model.setAnalysis(Side::Right, song({{0, 20}}, 120, 0));
    model.follow(Side::Right, 0, 19.9, 0);  // the end of the song in the middle
    QImage image(kWidth, kHeight, QImage::Format_RGB32);
    renderWaveformStrip(image, model, 0);
    EXPECT_NE(image.pixel(kWidth / 2 - 20, kBottomMiddle), kBackground);
    EXPECT_EQ(image.pixel(kWidth / 2 + 30, kBottomMiddle), kBackground);  // nothing past the end
    model.follow(Side::Right, 0, 0, 0);
    renderWaveformStrip(image, model, 0);
    EXPECT_EQ(image.pixel(kWidth / 2 - 30, kBottomMiddle), kBackground);  // nothing before 0

    QImage tiny(1, 3, QImage::Format_RGB32);
    renderWaveformStrip(tiny, model, 0);
    QImage wrong(10, 10, QImage::Format_ARGB32);
    wrong.fill(Qt::transparent);
    renderWaveformStrip(wrong, model, 0);
    EXPECT_EQ(wrong.pixel(5, 5), qRgba(0, 0, 0, 0));
}

}  // namespace
}  // namespace kelvra::app
