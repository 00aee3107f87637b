// The two ways of reordering a whole playlist: the quicksort by display title and the shuffle.
// Both are plain functions over rows so they can be checked without a window.
#pragma once

#include <QString>
#include <functional>
#include <vector>

namespace kelvra::playlist {

enum class SortOrder { AToZ = 1, ZToA = -1 };

struct SortRow {
    QString key;  // the display title
    QString path;
};

// Sorts rows[low..high] by key, case ignored. This is a particular quicksort (middle pivot,
// recursion on the smaller side only) and it does not keep equal keys in their old order; the
// exact order of equal keys is part of what the user sees, so it is kept as it is.
void quicksortRows(std::vector<SortRow>& rows, int low, int high, SortOrder order);
inline void quicksortRows(std::vector<SortRow>& rows, SortOrder order) {
    quicksortRows(rows, 0, static_cast<int>(rows.size()) - 1, order);
}

// A uniform random number in [0, 1).
using UniformSource = std::function<double()>;
// The program's shared generator, seeded once from the system.
UniformSource defaultUniformSource();

// How many exchanges the shuffle makes for a playlist of `count` entries: with n = count - 1,
// 2n + 1 when n <= 500, else n + 1; none for fewer than two entries.
int shuffleExchangeCount(int count);

// Exchanges the first item with one picked uniformly from all positions (itself included),
// shuffleExchangeCount(size) times. `swap(a, b)` exchanges the items at positions a and b.
void shuffleByExchanges(int count, const UniformSource& uniform,
                        const std::function<void(int, int)>& swap);

}  // namespace kelvra::playlist
