// Every imagerefiner entry point with sizes, limits, intrinsics, distortion
// and pixels of the input's choosing. Input: an 80-byte header (layout in
// Header below, little-endian) followed by pixel bytes, repeated to fill
// whatever buffers the header asks for.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "fill.h"
#include "image_refine_impl.h"

namespace {

#pragma pack(push, 1)
struct Header {
  uint8_t operations;  // bit mask, see below
  uint8_t sizeKind;    // 0 small, 1 640 x 480, 2 320 x 240, 3 hostile
  uint16_t widthCode, heightCode;
  int32_t nearLimit, farLimit;
  int32_t offset;
  float gain;
  uint8_t intrinsicsKind;  // as sizeKind, for SetIntrinsics
  uint8_t halfCornerMargin;
  uint8_t iterationUnits;
  uint8_t reserved;
  float cx, cy, fx, fy, scaleA, scaleB;
  float distortion[5];
  int32_t distance;
  uint8_t padding[6];
};
#pragma pack(pop)
static_assert(sizeof(Header) == 80, "header layout");

void SizeOf(uint8_t kind, uint16_t wCode, uint16_t hCode, int32_t& w, int32_t& h) {
  static const int32_t kHostile[] = {0, -1, -480, std::numeric_limits<int32_t>::min(),
                                     std::numeric_limits<int32_t>::max(), 65536, 46341, 1};
  switch (kind % 4) {
    case 1:
      w = 640;
      h = 480;
      return;
    case 2:
      w = 320;
      h = 240;
      return;
    case 3:
      w = kHostile[wCode % 8];
      h = kHostile[hCode % 8];
      return;
    default:
      w = 1 + wCode % 96;
      h = 1 + hCode % 96;
      return;
  }
}

template <typename T>
std::vector<T> Fill(const uint8_t* bytes, size_t n, size_t count) {
  std::vector<T> out(count);
  fuzz::FillRepeated(bytes, n, out.data(), count * sizeof(T));
  return out;
}

bool Fits(int32_t w, int32_t h) { return w >= 1 && h >= 1 && int64_t(w) * h <= 640 * 480; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < sizeof(Header)) return 0;
  Header hd;
  std::memcpy(&hd, data, sizeof hd);
  const uint8_t* pixels = data + sizeof hd;
  const size_t pixelBytes = size - sizeof hd;
  int32_t w = 0, h = 0;
  SizeOf(hd.sizeKind, hd.widthCode, hd.heightCode, w, h);
  // Buffers are only as large as the contract asks when the size is one the
  // library can accept; for refused sizes a one-pixel buffer shows that the
  // refusal comes before any access.
  const size_t n = Fits(w, h) ? size_t(w) * h : 1;
  auto refiner = std::make_unique<qzapi::ImageRefineImpl>();

  const std::vector<uint16_t> depth = Fill<uint16_t>(pixels, pixelBytes, n);
  const std::vector<uint16_t> infrared = Fill<uint16_t>(pixels + pixelBytes / 2, pixelBytes - pixelBytes / 2, n);
  std::vector<uint8_t> rgb(3 * n);
  if (hd.operations & 1) refiner->RefineDepth(rgb.data(), depth.data(), w, h, hd.nearLimit, hd.farLimit);
  if (hd.operations & 2)
    refiner->RefineDepthWithIr(rgb.data(), infrared.data(), depth.data(), w, h, hd.nearLimit, hd.farLimit);
  if (hd.operations & 4) {
    int32_t iw = 0, ih = 0;
    SizeOf(hd.intrinsicsKind, hd.widthCode, hd.heightCode, iw, ih);
    refiner->SetIntrinsics(iw, ih, hd.cx, hd.cy, hd.fx, hd.fy, hd.scaleA, hd.scaleB);
    qzapi::DistortionCoefficients k{hd.distortion[0], hd.distortion[1], hd.distortion[2], hd.distortion[3],
                                    hd.distortion[4]};
    // Many passes over 640 x 480 take seconds; the full byte range only
    // when asked for.
    const uint8_t units = (hd.operations & 64) ? hd.iterationUnits : hd.iterationUnits % 8;
    refiner->SetDistortion((hd.operations & 128) ? nullptr : &k, hd.halfCornerMargin, units);
  }
  if (hd.operations & 8) {
    std::vector<qzapi::RefinedPoint> points(n);
    const std::vector<uint8_t> colours = Fill<uint8_t>(pixels, pixelBytes, 3 * n);
    refiner->BuildPointCloud(points.data(), colours.data(), depth.data(), h, w);
  }
  if (hd.operations & 16) {
    std::vector<uint8_t> image = Fill<uint8_t>(pixels, pixelBytes, 3 * n);
    refiner->AdjustBrightness(image.data(), w, h, hd.offset, hd.gain);
  }
  if (hd.operations & 32) {
    double position[3], focal[3], up[3];
    refiner->GetViewCamera(position, focal, up, hd.distance);
    std::string version;
    refiner->GetVersion(version);
  }
  return 0;
}
