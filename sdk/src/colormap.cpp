#include "colormap.h"

#include <algorithm>
#include <cmath>

namespace pvx3::detail {
namespace {

struct key_colour {
    int index;
    uint8_t r, g, b;
};

// Anchors of the ramp; entries between them are interpolated linearly.
constexpr key_colour kKeys[] = {
    {0, 128, 0, 0},
    {44, 255, 0, 0},
    {120, 255, 207, 0},
    {140, 248, 255, 7},
    {200, 80, 255, 175},
    {240, 0, 223, 255},
    {320, 0, 0, 255},
    {359, 0, 0, 143},
};

std::array<uint8_t, kColormapSize * 3> build_table()
{
    std::array<uint8_t, kColormapSize * 3> t{};
    for (size_t k = 0; k + 1 < std::size(kKeys); ++k) {
        const key_colour& a = kKeys[k];
        const key_colour& b = kKeys[k + 1];
        for (int i = a.index; i <= b.index; ++i) {
            const double f = double(i - a.index) / double(b.index - a.index);
            t[i * 3 + 0] = static_cast<uint8_t>(std::lround(a.r + f * (b.r - a.r)));
            t[i * 3 + 1] = static_cast<uint8_t>(std::lround(a.g + f * (b.g - a.g)));
            t[i * 3 + 2] = static_cast<uint8_t>(std::lround(a.b + f * (b.b - a.b)));
        }
    }
    return t;
}

constexpr uint8_t kSaturated[3] = {127, 0, 170};

}  // namespace

const std::array<uint8_t, kColormapSize * 3>& colormap_table()
{
    static const std::array<uint8_t, kColormapSize* 3> table = build_table();
    return table;
}

void colourise_depth(const uint16_t* depth, int count, int near_mm, int far_mm, uint8_t* rgb)
{
    const auto& table = colormap_table();
    const int lo = std::max(near_mm, 2);
    const int hi = std::max(far_mm, lo + 1);
    const double scale = double(kColormapSize - 1) / double(hi - lo);
    for (int i = 0; i < count; ++i) {
        const int d = depth[i];
        uint8_t* out = rgb + 3 * i;
        if (d == 1) {
            out[0] = kSaturated[0];
            out[1] = kSaturated[1];
            out[2] = kSaturated[2];
        } else if (d < lo || d > hi) {
            out[0] = out[1] = out[2] = 0;
        } else {
            const int idx = static_cast<int>((d - lo) * scale + 0.5);
            const uint8_t* c = &table[3 * idx];
            out[0] = c[0];
            out[1] = c[1];
            out[2] = c[2];
        }
    }
}

}  // namespace pvx3::detail
