// The figures a bench reports from several measurements: the least and the median.
#pragma once

#include <algorithm>
#include <vector>

namespace kelvra::bench {

struct Figures {
    double min, median;
};

inline Figures figuresOf(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return {values.front(), values[values.size() / 2]};
}

}  // namespace kelvra::bench
