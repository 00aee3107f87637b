#include "audio/analysis/LoudnessTarget.h"

#include <algorithm>
#include <cmath>

namespace kelvra::audio::analysis {

double loudnessCorrectionDb(double lufs, double truePeakDbtp) {
    if (!std::isfinite(lufs)) return 0;
    const double wanted = kTargetLufs - lufs;
    if (wanted <= 0) return wanted;
    const double headroom = std::isfinite(truePeakDbtp) ? kPeakCeilingDbtp - truePeakDbtp : 0;
    return std::clamp(std::min(wanted, kMaxBoostDb), 0.0, std::max(0.0, headroom));
}

}  // namespace kelvra::audio::analysis
