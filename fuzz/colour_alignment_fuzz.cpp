// Device type 4 initialisation with a hostile block, then AlignDepthToColour
// on hostile depth and colour frames, optionally with a hand-tuning file
// offset.txt in the library's working folder, and back-projection of the
// aligned depth. Runs are slow (1920 x 1080 tables), so this target is
// separate from the reconstruction target.
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "offset_file.h"
#include "reconstruction_impl.h"
#include "reconstruction_input.h"

namespace {

std::string ScratchFolder() {
  static const std::string folder = [] {
    char name[] = "/tmp/tessivue-fuzz-alignment-XXXXXX";
    const char* made = mkdtemp(name);
    return std::string(made ? made : "/tmp");
  }();
  return folder;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::ReconstructionInput in;
  if (!fuzz::Decode(data, size, in)) return 0;
  auto impl = std::make_unique<qzapi::ReconstructionImpl>();
  impl->diagnosticWindowAllowed = false;
  impl->SetOrientation(in.orientation);
  impl->SetFilterEnabled(in.filterMode);
  if (impl->InitWithSize(4, in.mode, &in.block, qzapi::kAlignDepthWidth, qzapi::kAlignDepthHeight) != 0) return 0;

  qzapi::ReconstructionImpl::offsetFileFound = false;
  if (in.operations & 2) {
    // The offset text is the first bytes of the pixel data.
    const size_t n = std::min<size_t>(in.pixels.size(), in.frameWidth % 512);
    std::ofstream(qzapi::OffsetFilePath(ScratchFolder()), std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(in.pixels.data()), static_cast<std::streamsize>(n));
    impl->workingDirectory = ScratchFolder();
    qzapi::ReconstructionImpl::offsetFileFound = true;
  }

  int32_t colourW = qzapi::kColourGridWidth, colourH = qzapi::kColourGridHeight;
  if (in.operations & 4) {
    colourW = fuzz::SizeFromCode(in.width);
    colourH = fuzz::SizeFromCode(in.height);
  }
  const size_t colourPixels =
      colourW >= 1 && colourH >= 1 && colourW <= 4096 && colourH <= 4096 ? size_t(colourW) * colourH : 1;
  const std::vector<uint16_t> yuyv = fuzz::Samples(in.pixels, colourPixels);  // 2 bytes per pixel

  const size_t depthPixels = size_t(qzapi::kAlignDepthWidth) * qzapi::kAlignDepthHeight;
  const std::vector<uint16_t> samples = fuzz::Samples(in.pixels, depthPixels);
  uint16_t* depth = new uint16_t[depthPixels];
  std::copy(samples.begin(), samples.end(), depth);
  uint8_t* colour = nullptr;
  int32_t w = -1, h = -1;
  impl->AlignDepthToColour(&colour, &depth, reinterpret_cast<const uint8_t*>(yuyv.data()), colourW, colourH, &w, &h);
  if (colour && (in.operations & 8)) {
    std::vector<float> xyz(3 * size_t(w) * h);
    impl->DepthToPoints(depth, xyz.data(), w, h);
  }
  delete[] colour;
  delete[] depth;
  qzapi::Intrinsics depthModel, colourModel;
  impl->GetIntrinsics(&depthModel, &colourModel, in.block);
  qzapi::ReconstructionImpl::offsetFileFound = false;
  return 0;
}
