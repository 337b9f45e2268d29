#include "ir_block_filter.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>

namespace qzapi::detail {

namespace {
// trunc(sqrt(s)) <= 50 holds exactly when the integer s is at most 51^2 - 1.
constexpr std::int32_t kMaxSquaredSpread = (kIrBlockMaxSpread + 1) * (kIrBlockMaxSpread + 1) - 1;
// A difference beyond the limit fails the block on its own; capping it keeps
// the sum of four squares inside 32 bits.
constexpr std::int32_t kDiffCap = kIrBlockMaxSpread + 1;

inline std::int32_t CappedSquare(std::int32_t v, std::int32_t mean) {
  const std::int32_t d = std::min(std::abs(v - mean), kDiffCap);
  return d * d;
}
}  // namespace

void IrBlockDeviationFilter(cv::Mat& infrared, cv::Mat& scratch) {
  CV_Assert(infrared.type() == CV_16UC1);
  cv::Mat& kept = scratch;
  kept.create(infrared.size(), CV_16UC1);
  kept.setTo(cv::Scalar::all(0));
  for (int r = 2; r + 1 < infrared.rows; ++r) {
    const std::uint16_t* a = infrared.ptr<std::uint16_t>(r);
    const std::uint16_t* b = infrared.ptr<std::uint16_t>(r + 1);
    std::uint16_t* out = kept.ptr<std::uint16_t>(r);
    for (int c = 0; c + 1 < infrared.cols; ++c) {
      const std::int32_t v0 = a[c];
      const std::int32_t v1 = a[c + 1];
      const std::int32_t v2 = b[c];
      const std::int32_t v3 = b[c + 1];
      const std::int32_t mean = (v0 + v1 + v2 + v3) >> 2;
      const std::int32_t spread = CappedSquare(v0, mean) + CappedSquare(v1, mean) +
                                  CappedSquare(v2, mean) + CappedSquare(v3, mean);
      out[c] = spread <= kMaxSquaredSpread ? static_cast<std::uint16_t>(v0) : 0;
    }
  }
  cv::swap(infrared, kept);
}

void IrBlockDeviationFilter(cv::Mat& infrared) {
  cv::Mat scratch;
  IrBlockDeviationFilter(infrared, scratch);
}

}  // namespace qzapi::detail
