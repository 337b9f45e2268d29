// Back-projection of depth pixels to coloured 3D points through the
// undistortion maps, with the frame and corner cuts.
#pragma once

#include <cstdint>

#include "qzapi/image_refiner.h"

namespace qzapi::detail {

// Columns [first, last] of one row that survive the frame and corner cuts;
// empty (first > last) for rows inside the frame.
struct KeptSpan {
  int first;
  int last;
};

// Side length of the corner triangles: 80 on the 640-wide grid, 40 on the
// 320-wide one, each halved when halfCornerMargin is set.
int CornerMargin(int width, bool halfCornerMargin);

KeptSpan KeptColumns(int row, int width, int height, int margin);

// width x height must be 640 x 480 or 320 x 240; mapX and mapY are the
// 640 x 480 maps. See ImageRefiner::BuildPointCloud for the records written.
void BackProject(RefinedPoint* points, const std::uint8_t* colours, const std::uint16_t* depth,
                 int height, int width, const float* mapX, const float* mapY,
                 bool halfCornerMargin);

}  // namespace qzapi::detail
