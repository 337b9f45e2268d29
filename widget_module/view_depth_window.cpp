#include "view_depth_window.h"

#include <cmath>
#include <cstdint>

void view_push_sample(std::vector<int>& samples, int sample, view_window_policy policy)
{
    if (static_cast<int>(samples.size()) >= kViewDepthWindowSize) {
        if (policy == view_window_policy::restart)
            samples.clear();
        else
            samples.erase(samples.begin());
    }
    samples.push_back(sample);
}

std::optional<double> view_window_deviation(const std::vector<int>& samples)
{
    const auto n = static_cast<std::int64_t>(samples.size());
    if (n < 3)
        return std::nullopt;
    // 64-bit sums: 16-bit depths up to 65535 mm apart would overflow 32 bits
    // once squared and accumulated; below that the result is the same.
    std::int64_t sum = 0;
    for (int s : samples)
        sum += s;
    const std::int64_t mean = sum / n;
    std::int64_t acc = 0;
    for (int s : samples) {
        const std::int64_t d = s - mean;
        acc += d * d;
    }
    const std::int64_t variance = acc / (n - 1);
    return std::sqrt(static_cast<double>(variance));
}

QString view_mm_text(double millimetres)
{
    return QStringLiteral("%1 mm").arg(millimetres, 0, 'f', 3);
}
