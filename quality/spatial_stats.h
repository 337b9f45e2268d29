#pragma once

#include <cstdint>
#include <vector>

#include "quality/image_view.h"
#include "quality/region.h"

namespace quality {

// Depth statistics of the pixels of one region in one frame.
struct spatial_stats {
  int pixels = 0;          // pixels of the region inside the image
  int valid = 0;           // pixels with a distance (depth >= 2 mm)
  int saturated = 0;       // pixels marked saturated (depth 1)
  double valid_share = 0;  // valid / pixels: the fill rate, 0 to 1
  // Over the valid pixels only; zero when there are none.
  double mean_mm = 0;
  double median_mm = 0;  // mean of the two middle values for an even count
  double std_mm = 0;     // sample standard deviation (n - 1); 0 for one pixel
  int min_mm = 0;
  int max_mm = 0;
};

// Buffers for the median, reused from frame to frame.
struct spatial_workspace {
  std::vector<std::uint32_t> histogram;
  std::vector<std::uint16_t> values;
};

// Statistics of `r` (clipped to the image). With a workspace, steady use
// allocates nothing.
spatial_stats measure_spatial(const image16& depth, const region& r,
                              spatial_workspace* workspace = nullptr);

}  // namespace quality
