// qzreconstruction with hostile calibration blocks, sizes and raw data:
// initialisation (Init, InitWithSize, InitDefault), then ComputeDepth,
// ComputeDepthSingle, DepthToPoints, filters, undistortion, colouring and the
// calibration dump. Buffers follow the interface's contract (sizes the
// library documents); everything else is the input's choice.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <sstream>
#include <vector>

#include "reconstruction_impl.h"
#include "reconstruction_input.h"

namespace {

constexpr int32_t kFilterCodes[] = {qzapi::FilterMedian, qzapi::FilterAmplitude, qzapi::FilterBlockDeviation,
                                    qzapi::FilterSmallRegion, qzapi::FilterSpike, qzapi::FilterFlyingPixel,
                                    qzapi::FilterGaussian, qzapi::FilterReserved128, qzapi::FilterReserved256,
                                    0, -1, 3};
constexpr size_t kFilterCodeCount = sizeof kFilterCodes / sizeof kFilterCodes[0];
// Keeps a run within a few milliseconds; larger accepted sizes are covered
// by the unit tests.
constexpr int64_t kMaxPixels = 160 * 120;

bool Valid(int32_t w, int32_t h) { return w >= 1 && h >= 1 && w <= 4096 && h <= 4096; }

void Release(uint16_t*& p) {
  delete[] p;
  p = nullptr;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::ReconstructionInput in;
  if (!fuzz::Decode(data, size, in)) return 0;
  const int32_t width = fuzz::SizeFromCode(in.width);
  const int32_t height = fuzz::SizeFromCode(in.height);
  if (Valid(width, height) && int64_t(width) * height > kMaxPixels) return 0;
  // The 1920 x 1080 colour tables of device type 4 are the colour_alignment
  // target's work.
  if (in.deviceType == 4) {
    in.block.colourIntrinsics[0] = 0.0f;
    if (in.initKind == 2) return 0;  // the built-in type 4 block has colour intrinsics
  }

  auto impl = std::make_unique<qzapi::ReconstructionImpl>();
  impl->diagnosticWindowAllowed = false;
  impl->SetFilterEnabled(in.filterMode);
  impl->SetOrientation(in.orientation);
  switch (in.initKind) {
    case 0:
      impl->InitWithSize(in.deviceType, in.mode, &in.block, width, height);
      break;
    case 1:
      // Init tables 640 x 480 (or 320 x 240) whatever the block says.
      impl->InitWithSize(in.deviceType, in.mode, nullptr, 1, 1);
      impl->Init(in.block, in.block);
      break;
    default:
      impl->InitDefault(in.deviceType, in.mode);
      break;
  }

  const int32_t frameW = in.frameWidth ? fuzz::SizeFromCode(in.frameWidth) : impl->depthWidth;
  const int32_t frameH = in.frameHeight ? fuzz::SizeFromCode(in.frameHeight) : impl->depthHeight;
  const bool frameValid = Valid(frameW, frameH) && int64_t(frameW) * frameH <= std::max<int64_t>(kMaxPixels, int64_t(impl->depthWidth) * impl->depthHeight);
  const size_t framePixels = frameValid ? size_t(frameW) * frameH : 1;

  uint16_t* depth = nullptr;
  if (in.operations & 1) {
    const std::vector<uint16_t> raw = fuzz::Samples(in.pixels, 16 * framePixels);
    impl->ComputeDepth(frameValid ? raw.data() : nullptr, &depth, frameW, frameH);
    if (depth && (in.operations & 4)) {
      std::vector<float> xyz(3 * framePixels);
      impl->DepthToPoints(depth, xyz.data(), frameW, frameH);
    }
    if (depth) {
      uint8_t* rgb = nullptr;
      impl->ColouriseDepth(&rgb, depth, frameW, frameH);
      delete[] rgb;
    }
    Release(depth);
  }
  if (in.operations & 2) {
    const size_t n = size_t(impl->depthWidth) * impl->depthHeight;
    const std::vector<uint16_t> raw = fuzz::Samples(in.pixels, 4 * n);
    int32_t w = -1, h = -1;
    impl->ComputeDepthSingle(raw.data(), nullptr, &depth, &w, &h);
    if (depth && (in.operations & 4)) {
      std::vector<float> xyz(3 * size_t(w) * h);
      impl->DepthToPoints(depth, xyz.data(), w, h);
    }
    Release(depth);
  }
  if (in.operations & 8) {
    std::vector<float> values(in.filterValues, in.filterValues + 2);
    const int32_t code = kFilterCodes[in.filterCode % kFilterCodeCount];
    impl->SetFilterParameter(code, values.data(), 1 + (in.filterCode >> 7));
    float back[2] = {};
    int32_t count = 0;
    impl->GetFilterParameter(code, back, &count);
    std::vector<uint16_t> image = fuzz::Samples(in.pixels, size_t(impl->depthWidth) * impl->depthHeight);
    impl->ApplyFilter(image.data(), code);
  }
  if (in.operations & 16) {
    std::stringstream text;
    impl->DumpCalibration(text, in.block);
    qzapi::Intrinsics depthModel, colourModel;
    impl->GetIntrinsics(&depthModel, &colourModel, in.block);
  }
  if ((in.operations & 32) && frameValid) {
    const std::vector<uint16_t> src = fuzz::Samples(in.pixels, 3 * framePixels);
    std::vector<uint16_t> dst(3 * framePixels);
    impl->Undistort(src.data(), frameW, frameH, dst.data(), 1);
    impl->Undistort(src.data(), frameW, frameH, dst.data(), 0x100);  // low byte 0: colour model
  }
  if ((in.operations & 64) && frameValid) {
    const std::vector<uint16_t> raw = fuzz::Samples(in.pixels, 4 * framePixels);
    std::vector<uint16_t> out(framePixels);
    impl->Bin2x2(raw.data(), out.data(), frameW, frameH);
  }
  if (in.operations & 128) {
    // Re-initialisation over live tables, then depth at the new size.
    impl->InitWithSize(in.deviceType, in.mode, &in.block, frameValid ? frameW : width, frameValid ? frameH : height);
    const size_t n = size_t(impl->depthWidth) * impl->depthHeight;
    const std::vector<uint16_t> raw = fuzz::Samples(in.pixels, 16 * n);
    impl->ComputeDepth(raw.data(), &depth, impl->depthWidth, impl->depthHeight);
    Release(depth);
  }
  return 0;
}
