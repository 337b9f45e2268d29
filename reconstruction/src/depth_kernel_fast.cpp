// Vectorised depth kernels with a run-time choice of instruction set.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "depth_kernel.h"

namespace qzapi {
namespace simd_baseline {
#include "depth_kernel_simd.inc"
}  // namespace simd_baseline

#if defined(__x86_64__) && defined(__GNUC__)
#pragma GCC push_options
#pragma GCC target("avx2")
namespace simd_avx2 {
#include "depth_kernel_simd.inc"
}  // namespace simd_avx2
#pragma GCC pop_options
#define QZR_HAVE_AVX2_PATH 1
#endif

namespace {

bool UseAvx2() {
#ifdef QZR_HAVE_AVX2_PATH
  static const bool supported = __builtin_cpu_supports("avx2");
  return supported;
#else
  return false;
#endif
}

// Kernels below handle the four orientations and table binnings 1 and 2;
// anything else goes to the reference.
bool FastPathApplies(const DepthFrame& f) {
  return f.orientation >= 0 && f.orientation <= 3 && (f.tableBinning == 1 || f.tableBinning == 2);
}

void ClearTopRows(const DepthFrame& f) {
  std::memset(f.out, 0, sizeof(uint16_t) * static_cast<std::size_t>(f.width) * std::min(f.height, 2));
}

}  // namespace

void SingleFrequencyFast(const DepthFrame& f) {
  if (!FastPathApplies(f)) return SingleFrequencyReference(f);
  ClearTopRows(f);
#ifdef QZR_HAVE_AVX2_PATH
  if (UseAvx2()) return simd_avx2::Single(f);
#endif
  simd_baseline::Single(f);
}

void DualFrequencyFast(const DepthFrame& f) {
  if (!FastPathApplies(f)) return DualFrequencyReference(f);
  ClearTopRows(f);
#ifdef QZR_HAVE_AVX2_PATH
  if (UseAvx2()) return simd_avx2::Dual(f);
#endif
  simd_baseline::Dual(f);
}

}  // namespace qzapi
