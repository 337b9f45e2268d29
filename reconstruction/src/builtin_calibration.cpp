#include "builtin_calibration.h"

#include <algorithm>
#include <iterator>

namespace qzapi {
namespace {

// Cyclic distance errors sampled every 50 mm (table step 0.02), mm.
constexpr float kType1Wiggling80[39] = {
    20.1f, 7.5f, 2.0f, 10.0f, 22.3282f, 25.3316f, 15.615f, 4.0408f, 3.548f, 14.6876f,
    25.0063f, 22.9687f, 10.8526f, 2.2029f, 6.6893f, 19.2963f, 25.9304f, 19.1751f, 6.5823f, 2.2298f,
    10.9833f, 23.0571f, 24.9536f, 14.5527f, 3.4818f, 4.1173f, 15.7487f, 25.3731f, 22.2311f, 9.8353f,
    2.0431f, 7.5657f, 20.2292f, 25.8768f, 18.195f, 5.7713f, 2.4946f, 12.0278f, 23.7137f};
constexpr float kType1Wiggling100[31] = {
    28.85f, 31.95f, 26.5f, 15.7694f, 6.2068f, 3.5498f, 9.3939f, 20.2299f, 29.5507f, 31.7593f, 25.5295f,
    14.6022f, 5.5392f, 3.7827f, 10.3874f, 21.3874f, 30.1772f, 31.4786f, 24.5101f, 13.4563f, 4.9548f, 4.1108f,
    11.431f, 22.5198f, 30.7183f, 31.1035f, 23.4441f, 12.3394f, 4.4578f, 4.532f, 12.5176f};
constexpr float kType4Wiggling80[39] = {
    -3.92395f, -1.49646f, 5.891724f, 9.9404f, 6.1518f, -1.2484f, -3.9873f, 0.9969f, 8.1324f, 9.4421f,
    3.462f, -3.1227f, -2.9508f, 3.7855f, 9.5556f, 7.9089f, 0.6864f, -4.0378f, -0.9824f, 6.437f,
    9.9259f, 5.5842f, -1.7346f, -3.8486f, 1.6056f, 8.5304f, 9.1846f, 2.8368f, -3.4167f, -2.5849f,
    4.4023f, 9.7337f, 7.4493f, 0.1028f, -4.0929f, -0.4475f, 6.9639f, 9.8559f, 4.9954f};
constexpr float kType4Wiggling100[31] = {
    11.303284f, 15.909241f, 13.492004f, 6.674f, 2.8573f, 6.1807f, 13.0374f, 15.9858f,
    11.8261f, 5.0728f, 3.0551f, 7.9628f, 14.4697f, 15.5139f, 9.9621f, 3.8396f,
    3.7912f, 9.8693f, 15.4774f, 14.5292f, 8.0537f, 3.0787f, 5.0035f, 11.7392f,
    15.9755f, 13.1149f, 6.2619f, 2.854f, 6.5898f, 13.4148f, 15.922f};

constexpr float kType1Fitting80[6] = {1.47409f, -0.606449f, 0.163358f, -0.004748f, -0.000032f, -0.031933f};
constexpr float kType1Fitting100[6] = {-2.16496f, 0.604053f, -0.052805f, -0.001938f, -0.004627f, -0.000298f};
constexpr float kType4Fitting80[6] = {2.24597f, -0.641817f, 0.099245f, -0.016865f, 0.003401f, -0.017134f};
constexpr float kType4Fitting100[6] = {-2.95057f, 0.888918f, 0.147381f, -0.011644f, 0.002223f, -0.025663f};

struct Lens {
  float fx, fy, cx, cy;
  float dist[5];
  float offset80, offset100;
};

constexpr Lens kType1 = {556.5451f, 558.2062f, 315.4468f, 238.530472f, {0.31428f, -1.605089f, 0.001825f, -0.002152f, 2.151922f}, -303.0f, -434.0f};
constexpr Lens kType4 = {371.6153f, 370.1155f, 318.1974f, 242.6487f, {-0.321205f, 0.151931f, -0.001362f, -0.000518f, -0.0436f}, -714.0f, -815.0f};
constexpr Lens kType1Single = {239.6082f, 240.1573f, 160.3091f, 117.7746f, {0.14415f, -0.796502f, -0.006024f, -0.000852f, 0.916774f}, -1502.333f, -1502.333f};
constexpr Lens kType4Single = {188.457f, 184.0165f, 149.8571f, 117.7181f, {-0.352592f, 0.098964f, 0.013662f, 0.005011f, -0.009983f}, -1926.0f, -1926.0f};

template <std::size_t N>
void CopyTable(const float (&src)[N], float* dst, int32_t& count) {
  std::copy(std::begin(src), std::end(src), dst);
  count = static_cast<int32_t>(N);
}

}  // namespace

bool BuildBuiltInCalibration(int32_t deviceType, int32_t mode, CalibrationBlock& block) {
  if (deviceType != 1 && deviceType != 4) return false;
  const bool single = mode == 5;
  const Lens& lens = deviceType == 1 ? (single ? kType1Single : kType1) : (single ? kType4Single : kType4);

  block = CalibrationBlock{};
  block.frequency1 = 80000000;
  block.frequency2 = 100000000;
  std::copy(std::begin(lens.dist), std::end(lens.dist), block.distCoeffs);
  block.depthIntrinsics[0] = lens.fx;
  block.depthIntrinsics[1] = lens.fy;
  block.depthIntrinsics[2] = lens.cx;
  block.depthIntrinsics[3] = lens.cy;
  block.globalOffset80 = lens.offset80;
  block.globalOffset100 = lens.offset100;
  if (deviceType == 1) {
    CopyTable(kType1Wiggling80, block.wigglingError80, block.wigglingError80Count);
    CopyTable(kType1Wiggling100, block.wigglingError100, block.wigglingError100Count);
    std::copy(std::begin(kType1Fitting80), std::end(kType1Fitting80), block.fitting80);
    std::copy(std::begin(kType1Fitting100), std::end(kType1Fitting100), block.fitting100);
  } else {
    CopyTable(kType4Wiggling80, block.wigglingError80, block.wigglingError80Count);
    CopyTable(kType4Wiggling100, block.wigglingError100, block.wigglingError100Count);
    std::copy(std::begin(kType4Fitting80), std::end(kType4Fitting80), block.fitting80);
    std::copy(std::begin(kType4Fitting100), std::end(kType4Fitting100), block.fitting100);
  }
  return true;
}

}  // namespace qzapi
