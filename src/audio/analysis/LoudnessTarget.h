// Loudness matching: every song played at the same integrated loudness. Apart from the
// measurement itself (Loudness.h), so the decks can apply it without the measuring library.
#pragma once

namespace kelvra::audio::analysis {

inline constexpr double kTargetLufs = -14.0;
inline constexpr double kMaxBoostDb = 12.0;
inline constexpr double kPeakCeilingDbtp = -1.0;

// The gain that brings a song of `lufs` to kTargetLufs. A boost is at most kMaxBoostDb and never
// lifts the true peak above kPeakCeilingDbtp, so the correction itself cannot clip; a cut is never
// limited. 0 for silence or an unknown loudness.
double loudnessCorrectionDb(double lufs, double truePeakDbtp);

}  // namespace kelvra::audio::analysis
