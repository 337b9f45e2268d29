// Row-level pieces shared by the fast depth kernels (scalar and AVX2).
#pragma once

#include <cstdint>

#include "depth_kernel.h"

namespace qzapi {

// Pointers of one output row: the two raw rows of each sub-frame in the roles
// the orientation gives them (rowA holds S00/S01, rowB S10/S11), and the
// table row the pixels read.
struct RowView {
  const uint16_t* rowA[4] = {};
  const uint16_t* rowB[4] = {};
  const float* fitting80 = nullptr;
  const float* fitting100 = nullptr;
  const float* radialToAxial = nullptr;
  uint16_t* out = nullptr;
  bool columnsReversed = false;  // S00 is the right column; tables read right to left
  int32_t tableBinning = 1;
};

RowView MakeRow(const DepthFrame& f, int32_t i, int32_t subFrames);

// Pixels j0 .. width - 1 of a row, one at a time.
void SingleRowScalar(const DepthFrame& f, const RowView& r, int32_t j0);
void DualRowScalar(const DepthFrame& f, const RowView& r, int32_t j0);

// Rows row0 .. row1 - 1 with AVX2, eight pixels at a time (scalar for the
// rest of a row). Only call when the processor has AVX2.
void SingleFrequencyAvx2(const DepthFrame& f, int32_t row0, int32_t row1);
void DualFrequencyAvx2(const DepthFrame& f, int32_t row0, int32_t row1);
bool Avx2Available();

}  // namespace qzapi
