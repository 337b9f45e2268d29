#include "depth_scale_ticks.h"

#include <cstdlib>
#include <limits>

namespace {

struct step_kind {
    int tenths;  // mantissa x 10: 10 = 1, 25 = 2.5, 75 = 7.5
    int tier;    // 0 roundest
};

constexpr step_kind kSteps[] = {{10, 0}, {20, 0}, {50, 0}, {25, 1}, {15, 2}, {30, 2}, {40, 2}, {75, 2}, {60, 3}, {80, 3}};

// Multiples of `step` inside [lo, hi].
int count_multiples(long long lo, long long hi, long long step)
{
    const long long first = lo >= 0 ? (lo + step - 1) / step : -((-lo) / step);
    const long long last = hi >= 0 ? hi / step : -((-hi + step - 1) / step);
    return last < first ? 0 : static_cast<int>(last - first + 1);
}

}  // namespace

std::vector<int> depth_scale_ticks(int near_mm, int far_mm)
{
    std::vector<int> ticks;
    if (far_mm <= near_mm)
        return ticks;
    long long best_step = 1;
    int best_tier = std::numeric_limits<int>::max();
    int best_miss = std::numeric_limits<int>::max();
    for (long long power = 1; power <= 100000; power *= 10) {
        for (const step_kind& k : kSteps) {
            if ((k.tenths * power) % 10 != 0)
                continue;  // whole millimetres only
            const long long step = k.tenths * power / 10;
            const int n = count_multiples(near_mm, far_mm, step);
            if (n < 4 || n > 6)
                continue;
            const int miss = std::abs(n - 5);
            if (k.tier < best_tier || (k.tier == best_tier && miss < best_miss)) {
                best_tier = k.tier;
                best_miss = miss;
                best_step = step;
            }
        }
    }
    // No spacing gives 4 to 6 (a range under 3 mm): every millimetre.
    const long long step = best_step;
    const long long first =
        near_mm >= 0 ? (near_mm + step - 1) / step * step : -((-near_mm) / step) * step;
    for (long long v = first; v <= far_mm; v += step)
        ticks.push_back(static_cast<int>(v));
    return ticks;
}

QString depth_scale_label(int mm) { return QString::number(mm); }
