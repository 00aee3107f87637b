#include "playlist/PlaylistOrder.h"

#include <cmath>
#include <random>
#include <utility>

namespace kelvra::playlist {
namespace {

bool before(const QString& a, const QString& b, SortOrder order) {
    const int c = QString::compare(a, b, Qt::CaseInsensitive);
    return order == SortOrder::AToZ ? c < 0 : c > 0;
}

// Puts the middle row's key in its final place p and everything before it on its left.
int split(std::vector<SortRow>& rows, int low, int high, SortOrder order) {
    const int mid = low + (high - low) / 2;
    SortRow pivot = rows[static_cast<size_t>(mid)];
    if (mid != low) rows[static_cast<size_t>(mid)] = rows[static_cast<size_t>(low)];
    int i = low + 1;
    int j = high;
    for (;;) {
        while (j > i && before(rows[static_cast<size_t>(i)].key, pivot.key, order))
            ++i;
        while (j >= i && before(pivot.key, rows[static_cast<size_t>(j)].key, order))
            --j;
        if (i >= j) {
            if (j != low) rows[static_cast<size_t>(low)] = std::move(rows[static_cast<size_t>(j)]);
            rows[static_cast<size_t>(j)] = std::move(pivot);
            return j;
        }
        std::swap(rows[static_cast<size_t>(i)], rows[static_cast<size_t>(j)]);
        ++i;
        --j;
    }
}

}  // namespace

void quicksortRows(std::vector<SortRow>& rows, int low, int high, SortOrder order) {
    // Recursing only into the smaller side bounds the stack depth by log2(N).
    while (low < high) {
        const int p = split(rows, low, high, order);
        if (p - low <= high - p) {
            quicksortRows(rows, low, p - 1, order);
            low = p + 1;
        } else {
            quicksortRows(rows, p + 1, high, order);
            high = p - 1;
        }
    }
}

UniformSource defaultUniformSource() {
    auto engine = std::make_shared<std::mt19937_64>(std::random_device{}());
    return [engine] { return std::uniform_real_distribution<double>(0.0, 1.0)(*engine); };
}

int shuffleExchangeCount(int count) {
    const int n = count - 1;
    if (n < 1) return 0;
    const int passes = n <= 500 ? 2 * n : n;
    return passes + 1;
}

void shuffleByExchanges(int count, const UniformSource& uniform,
                        const std::function<void(int, int)>& swap) {
    const int n = count - 1;
    const int exchanges = shuffleExchangeCount(count);
    for (int k = 0; k < exchanges; ++k) {
        // floor(u * (n + 1)) - 1 lies in -1..n-1; -1 stands for the last position, so every
        // position 0..n is equally likely.
        int r = static_cast<int>(std::floor(uniform() * (n + 1))) - 1;
        if (r < 0) r = n;
        swap(r, 0);
    }
}

}  // namespace kelvra::playlist
