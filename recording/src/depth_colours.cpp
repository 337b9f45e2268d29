#include "recording/depth_colours.h"

#include <algorithm>

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
    for (size_t i = 0; i < count; ++i) {
        const int d = depth[i];
        uint8_t* out = rgb + 3 * i;
        if (d == 1) {
            out[0] = 127;
            out[1] = 0;
            out[2] = 170;
        } else if (d < lo || d > hi || entries == 0) {
            out[0] = out[1] = out[2] = 0;
        } else {
            const int idx = std::min(entries - 1, static_cast<int>((d - lo) * scale + 0.5));
            out[0] = table[size_t(3 * idx)];
            out[1] = table[size_t(3 * idx + 1)];
            out[2] = table[size_t(3 * idx + 2)];
        }
    }
}

}  // namespace recording
