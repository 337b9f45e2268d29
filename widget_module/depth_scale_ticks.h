#pragma once

#include <QString>
#include <vector>

// Tick values for the depth colour bar's scale: round numbers of
// millimetres inside [near_mm, far_mm], evenly spaced. The spacing is the
// roundest that gives 4 to 6 ticks: 1, 2 or 5 times a power of ten first,
// then 2.5, then 1.5, 3, 4 or 7.5, then 6 or 8 (only for narrow ranges);
// among equally round spacings, the one closest to 5 ticks. Ranges
// narrower than 3 mm get fewer ticks; an empty or inverted range none.
std::vector<int> depth_scale_ticks(int near_mm, int far_mm);

// Label of a tick, in millimetres without unit (the bar names the unit
// once): "1500".
QString depth_scale_label(int mm);
