#include "recording/depth_colours.h"

#include <algorithm>
#include <array>
#include <cstring>

#include <parvolux3/pvx3.h>

namespace recording {

std::vector<uint8_t> sdk_colour_table()
{
    std::vector<uint8_t> out;
    uint8_t* table = nullptr;
    int count = 0;
    if (pvx3::pvx3_get_colormap_table(&table, &count, nullptr) == 0 && table && count > 0)
        out.assign(table, table + size_t(count) * 3);
    delete[] table;
    return out;
}

void colourise_depth(const uint16_t* depth, size_t count, int near_mm, int far_mm, const std::vector<uint8_t>& table,
                     uint8_t* rgb)
{
    const int entries = static_cast<int>(table.size() / 3);
    const int lo = std::max(near_mm, 2);
    const int hi = std::max(far_mm, lo + 1);
    const double scale = entries > 1 ? double(entries - 1) / double(hi - lo) : 0.0;
    // The colour of every depth up to the far limit, worked out once per
    // call (at most 65,536 entries) rather than once per pixel; beyond the
    // far limit everything is black.
    const int last = std::min(hi, 0xffff);
    // (The near limit is at least 2 mm, so `last` is at least 3.)
    std::vector<std::array<uint8_t, 3>> colour(size_t(last) + 1);
    if (entries > 0)
        for (int d = lo; d <= last; ++d) {
            const int idx = std::min(entries - 1, static_cast<int>((d - lo) * scale + 0.5));
            colour[size_t(d)] = {table[size_t(3 * idx)], table[size_t(3 * idx + 1)], table[size_t(3 * idx + 2)]};
        }
    colour[1] = {127, 0, 170};  // saturated, whatever the limits
    for (size_t i = 0; i < count; ++i) {
        const int d = depth[i];
        uint8_t* out = rgb + 3 * i;
        if (d <= last) {
            std::memcpy(out, colour[size_t(d)].data(), 3);
        } else {
            out[0] = out[1] = out[2] = 0;
        }
    }
}

}  // namespace recording
