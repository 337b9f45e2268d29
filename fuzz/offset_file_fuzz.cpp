// The hand-tuning file offset.txt: read from disk as AlignDepthToColour reads
// it, parsed from memory, turned into a tuning, and the tuning driving what it
// drives in the alignment (rotation tweak, horizontal shift, projection of a
// small depth image into a small colour image).
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <opencv2/core.hpp>

#include "colour_alignment.h"
#include "offset_file.h"

namespace {

const std::string& ScratchFolder() {
  static const std::string folder = [] {
    char name[] = "/tmp/tessivue-fuzz-offset-XXXXXX";
    const char* made = mkdtemp(name);
    return std::string(made ? made : "/tmp");
  }();
  return folder;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const std::string path = qzapi::OffsetFilePath(ScratchFolder());
  std::ofstream(path, std::ios::binary | std::ios::trunc).write(text.data(), static_cast<std::streamsize>(size));
  const qzapi::OffsetTuning fromFile = qzapi::ReadOffsetFile(path);

  std::istringstream in(text);
  const std::vector<double> values = qzapi::ParseOffsetValues(in);
  const qzapi::OffsetTuning tuning = qzapi::TuningFromValues(values);
  if (tuning.valid != fromFile.valid) __builtin_trap();  // the file and the text must agree
  if (!tuning.valid) return 0;

  const cv::Matx33d rotation =
      qzapi::TweakRotation(cv::Matx33d::eye(), {tuning.rotation[0], tuning.rotation[1], tuning.rotation[2]});
  qzapi::ParallaxParameters parallax{tuning.distanceSplit, tuning.addPixelGlobal, tuning.distanceToPixel};
  // A small depth image whose values come from the tuning text's bytes.
  constexpr int32_t kW = 16, kH = 12;
  std::vector<uint16_t> depth(kW * kH);
  for (size_t k = 0; k < depth.size(); ++k) depth[k] = static_cast<uint16_t>(data[k % size] * 37u);
  const qzapi::CentreDistance centre = qzapi::MeasureCentreDistance(depth.data(), kW, kH, parallax.distanceSplit);
  const int32_t shift = qzapi::HorizontalShift(centre.value, parallax);
  std::vector<float> rayX(kW * kH), rayY(kW * kH);
  for (int32_t r = 0; r < kH; ++r)
    for (int32_t c = 0; c < kW; ++c) {
      rayX[r * kW + c] = (c - kW / 2.0f) / 20.0f;
      rayY[r * kW + c] = (r - kH / 2.0f) / 20.0f;
    }
  qzapi::ProjectionSetup setup{depth.data(), kW, kH, rayX.data(), rayY.data(), 1, rotation, cv::Vec3d(25, 0, 0),
                               20.0f, 20.0f, kW, kH, shift};
  cv::Mat aligned(2 * kH, 2 * kW, CV_16UC1, cv::Scalar(0));
  qzapi::ProjectDepthToColour(setup, aligned, nullptr, nullptr);
  return 0;
}
