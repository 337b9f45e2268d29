// Initialisation and the per-frame depth operations. Every exported
// operation catches at this boundary: nothing is thrown to the host.
#include "reconstruction_impl.h"

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <new>

#include "builtin_calibration.h"
#include "calibration_loader.h"
#include "colour_alignment.h"
#include "depth_filters.h"
#include "depth_kernel.h"
#include "noise_pipeline.h"
#include "offset_file.h"
#include "pixel_tables.h"
#include "temperature.h"

namespace qzapi {
namespace {

bool ValidSize(int32_t width, int32_t height) {
  return width >= 1 && height >= 1 && width <= kMaxGridSide && height <= kMaxGridSide;
}

uint16_t* NewDepthImage(int32_t width, int32_t height, bool zeroed) {
  const std::size_t n = static_cast<std::size_t>(width) * height;
  uint16_t* image = zeroed ? new (std::nothrow) uint16_t[n]() : new (std::nothrow) uint16_t[n];
  return image;
}

LensModel DepthLens(const CalibrationBlock& b) {
  return {b.depthIntrinsics[0], b.depthIntrinsics[1], b.depthIntrinsics[2], b.depthIntrinsics[3], b.distCoeffs[0],
          b.distCoeffs[1], b.distCoeffs[2], b.distCoeffs[3], b.distCoeffs[4]};
}

LensModel ColourLens(const CalibrationBlock& b) {
  return {b.colourIntrinsics[0],
          b.colourIntrinsics[1],
          b.colourIntrinsics[2],
          b.colourIntrinsics[3],
          b.colourDistCoeffs[0],
          b.colourDistCoeffs[1],
          b.colourDistCoeffs[2],
          b.colourDistCoeffs[3],
          b.colourDistCoeffs[4]};
}

template <typename T>
void Release(std::vector<T>& v) {
  std::vector<T>().swap(v);
}

}  // namespace

std::atomic<bool> ReconstructionImpl::offsetFileFound{false};

std::mutex& ReconstructionImpl::LibraryMutex() {
  static std::mutex mutex;
  return mutex;
}

ReconstructionImpl::ReconstructionImpl() : filterSettings(std::make_unique<FilterSettings>()) {
  ResetChannel(frequency80);
  ResetChannel(frequency100);
}

int32_t ReconstructionImpl::TableBinning(int32_t width, int32_t height) const {
  if (tableWidth <= 0 || tableHeight <= 0 || width <= 0 || height <= 0) return 0;
  for (int32_t k = 1; k <= 2; ++k) {
    if (static_cast<int64_t>(width) * k == tableWidth && static_cast<int64_t>(height) * k == tableHeight) return k;
  }
  return 0;
}

void ReconstructionImpl::DeinitialiseLocked() {
  Release(rayMapX);
  Release(rayMapY);
  Release(rayMapX1080);
  Release(rayMapY1080);
  Release(fittingSurface80);
  Release(fittingSurface100);
  Release(radialToAxial);
  Release(radialToAxial1080);
  Release(cyclicTable80);
  Release(cyclicTable100);
  colourMapX.release();
  colourMapY.release();
  colourMapNearest.release();
  Release(colourSourceOffsets);
  colourMapX2.release();
  colourMapY2.release();
  ResetChannel(frequency80);
  ResetChannel(frequency100);
  tableWidth = tableHeight = 0;
  initialised = 0;
}

int32_t ReconstructionImpl::LoadLocked(const CalibrationBlock& block, bool fromInit, int32_t width, int32_t height) {
  const bool singleType1 = mode == 5 && deviceType == 1;
  if (fromInit) {
    width = singleType1 ? 320 : 640;
    height = singleType1 ? 240 : 480;
  }
  const int32_t newBinning = block.depthGridWidth == 320 ? 2 : 1;
  const int64_t gridW = static_cast<int64_t>(width) * newBinning;
  const int64_t gridH = static_cast<int64_t>(height) * newBinning;
  if (!ValidSize(width, height) || gridW > kMaxGridSide || gridH > kMaxGridSide) return StatusInvalidArgument;

  if (initialised) DeinitialiseLocked();
  try {
    const ChannelPlan plan = PlanChannels(deviceType, mode, fromInit, block);
    activeCalibration = block;
    FillChannel(frequency80, {plan.frequency80, plan.gain80, block.wigglingError80Count, block.wigglingError80,
                              block.globalOffset80, block.fitting80, block.tempOffset80, &block.serialNumber});
    FillChannel(frequency100, {plan.frequency100, plan.gain100, block.wigglingError100Count, block.wigglingError100,
                               block.globalOffset100, block.fitting100, block.tempOffset100, &block.serialNumber});

    depthWidth = width;
    depthHeight = height;
    binning = newBinning;
    if (!singleType1) {
      activeCalibration.depthGridWidth = 640;
      activeCalibration.depthGridHeight = 480;
    }
    tableWidth = static_cast<int32_t>(gridW);
    tableHeight = static_cast<int32_t>(gridH);

    BuildFittingSurface(frequency80.fitting, tableWidth, tableHeight, fittingSurface80);
    BuildFittingSurface(frequency100.fitting, tableWidth, tableHeight, fittingSurface100);

    // The intrinsics describe the calibration grid; the tables cover the
    // grid the depth image indexes, so scale when the two differ.
    LensModel lens = DepthLens(activeCalibration);
    const int32_t calW = activeCalibration.depthGridWidth, calH = activeCalibration.depthGridHeight;
    if (calW > 0 && calH > 0 && (calW != tableWidth || calH != tableHeight)) {
      const float sx = static_cast<float>(tableWidth) / calW, sy = static_cast<float>(tableHeight) / calH;
      lens.fx *= sx, lens.cx *= sx, lens.fy *= sy, lens.cy *= sy;
    }
    BuildRayMaps(lens, tableWidth, tableHeight, RayMapIterations(deviceType), rayMapX, rayMapY);
    BuildRadialToAxial(rayMapX, rayMapY, radialToAxial);

    const float* ck = activeCalibration.colourIntrinsics;
    if (deviceType == 4 && ck[0] != 0.0f && ck[1] != 0.0f && ck[2] != 0.0f && ck[3] != 0.0f) {
      const LensModel colour = ColourLens(activeCalibration);
      BuildPinholeRays(colour.fx, colour.fy, colour.cx, colour.cy, kColourGridWidth, kColourGridHeight, rayMapX1080,
                       rayMapY1080);
      BuildRadialToAxial(rayMapX1080, rayMapY1080, radialToAxial1080);
      BuildUndistortMaps(colour, kColourGridWidth, kColourGridHeight, colourMapX, colourMapY);
      BuildUndistortMaps(DepthLens(activeCalibration), kAlignDepthWidth, kAlignDepthHeight, colourMapX2, colourMapY2);
      cv::Matx33d rotation = AlignmentRotation(activeCalibration, true);
      if (ClampCount(activeCalibration.otherOffset4Count, kMaxTableCount) > 2) {
        const float* t = activeCalibration.otherOffset4;
        rotation = TweakRotation(rotation, cv::Vec3d(t[0], t[1], t[2]));
      }
      BuildColourTransform(DepthLens(activeCalibration), colour, rotation,
                           AlignmentTranslation(activeCalibration, true), colourTransform);
    }
  } catch (const std::bad_alloc&) {
    DeinitialiseLocked();
    return StatusOutOfMemory;
  } catch (...) {
    DeinitialiseLocked();
    return StatusInvalidArgument;
  }

  std::error_code error;
  const std::filesystem::path cwd = std::filesystem::current_path(error);
  workingDirectory = error ? std::string() : cwd.string();
  const std::string offsetPath = OffsetFilePath(workingDirectory);
  const bool found = !workingDirectory.empty() && std::ifstream(offsetPath).good();
  offsetFileFound = found;
  if (found) std::cout << "offset path: " << offsetPath << std::endl;

  initialised = 1;
  return StatusOk;
}

int32_t ReconstructionImpl::InitDefault(int32_t type, int32_t newMode) {
  try {
    CalibrationBlock block;
    if (!BuildBuiltInCalibration(type, newMode, block)) return StatusNoBuiltIn;
    std::lock_guard<std::mutex> lock(LibraryMutex());
    deviceType = type;
    mode = newMode;
    defaultCalibration = block;
    builtInCalibration = block;
    return LoadLocked(block, true, 0, 0);
  } catch (...) {
    return StatusOutOfMemory;
  }
}

int32_t ReconstructionImpl::Init(CalibrationBlock /*first*/, CalibrationBlock second) {
  try {
    std::lock_guard<std::mutex> lock(LibraryMutex());
    return LoadLocked(second, true, 0, 0);
  } catch (...) {
    return StatusOutOfMemory;
  }
}

int32_t ReconstructionImpl::InitWithSize(int32_t type, int32_t newMode, const CalibrationBlock* calibration,
                                         int32_t width, int32_t height) {
  if (calibration == nullptr || !ValidSize(width, height)) return StatusInvalidArgument;
  try {
    std::lock_guard<std::mutex> lock(LibraryMutex());
    const int32_t oldType = deviceType, oldMode = mode;
    deviceType = type;
    mode = newMode;
    const int32_t status = LoadLocked(*calibration, false, width, height);
    if (status == StatusInvalidArgument && initialised) {
      // Refused before anything changed: keep the previous set-up whole.
      deviceType = oldType;
      mode = oldMode;
    }
    return status;
  } catch (...) {
    return StatusOutOfMemory;
  }
}

DepthFrame ReconstructionImpl::PrepareFrame(const uint16_t* raw, uint16_t* out, int32_t width, int32_t height,
                                            int32_t tableBinningFactor, int32_t subFrames) const {
  const std::size_t samples = static_cast<std::size_t>(4) * width * height * subFrames;
  const float temperature = SensorTemperature(deviceType, raw, samples);
  const Drift drift = TemperatureDrift(deviceType, temperature, frequency80, frequency100,
                                       activeCalibration.tempOffset80, activeCalibration.tempOffset100);
  DepthFrame f;
  f.raw = raw;
  f.out = out;
  f.width = width;
  f.height = height;
  f.tableBinning = tableBinningFactor;
  f.orientation = orientation;
  f.allowSimd = allowSimdKernels;
  f.amplitudeThreshold = static_cast<float>(filterSettings->values[FilterSettings::AmplitudeThreshold] / binning);
  f.fitting80 = fittingSurface80.data();
  f.fitting100 = fittingSurface100.data();
  f.radialToAxial = radialToAxial.data();
  auto channel = [](const FrequencyChannel& c, float offset) {
    ChannelParams p;
    p.millimetresPerRadian = c.millimetresPerRadian;
    p.offset = offset;
    p.range = static_cast<float>(c.range);
    p.gain = c.gain;
    p.tableStep = c.tableStep;
    p.wiggling = c.wiggling;
    p.tableCount = c.tableCount;
    return p;
  };
  if (subFrames == 1) {
    // Single frequency measures around the middle of the range.
    f.first = channel(frequency80, frequency80.globalOffset + 0.5f * frequency80.range - drift.d80);
    return f;
  }
  const int32_t f1 = frequency80.frequency, f2 = frequency100.frequency;
  const int64_t diff = static_cast<int64_t>(f1) - f2;  // callers exclude f1 == f2
  f.first = channel(frequency80, frequency80.globalOffset - drift.d80);
  f.second = channel(frequency100, frequency100.globalOffset - drift.d100);
  f.u = static_cast<float>(f1 / diff);
  f.v = static_cast<float>(f2 / diff);
  f.combinedRange = static_cast<float>(static_cast<int64_t>(f1 / (diff < 0 ? -diff : diff)) * frequency80.range);
  f.depthOffset = static_cast<float>(activeCalibration.depthOffset);
  return f;
}

void ReconstructionImpl::ComputeDepth(const uint16_t* raw, uint16_t** depthOut, int32_t width, int32_t height) {
  if (depthOut == nullptr) return;
  *depthOut = nullptr;
  if (raw == nullptr || !ValidSize(width, height)) return;
  try {
    std::lock_guard<std::mutex> lock(LibraryMutex());
    const bool single = mode == 5;
    if (single) {
      depthWidth = width;
      depthHeight = height;
    }
    const int32_t kb = TableBinning(width, height);
    const bool sameFrequency = frequency80.frequency == frequency100.frequency;
    const bool computable = initialised && kb != 0 && (single || !sameFrequency);
    // The kernels write every pixel; only an image they never see needs zeroing.
    uint16_t* out = NewDepthImage(width, height, !computable);
    if (out == nullptr) return;
    *depthOut = out;
    if (!computable) return;  // all invalid

    const DepthFrame f = PrepareFrame(raw, out, width, height, kb, single ? 1 : 4);
    if (filterEnabled == FilterModeNoiseAware) return ComputeNoiseAwareLocked(f, single);
    if (single) {
      useReferenceKernels ? SingleFrequencyReference(f) : SingleFrequencyFast(f);
    } else {
      useReferenceKernels ? DualFrequencyReference(f) : DualFrequencyFast(f);
    }
    if (filterEnabled) {
      ApplyFilterSized(out, width, height, FilterMedian);
      ApplyFilterSized(out, width, height, FilterBlockDeviation);
    }
  } catch (...) {
    // The image handed out (if any) keeps what was computed so far.
  }
}

void ReconstructionImpl::ComputeNoiseAwareLocked(const DepthFrame& frame, bool single) {
  DepthFrame f = frame;
  if (cyclicTable80.empty()) cyclicTable80 = CyclicErrorTable(f.first);
  if (cyclicTable100.empty()) cyclicTable100 = CyclicErrorTable(f.second);
  f.first.cyclic = cyclicTable80.data();
  f.first.cyclicCount = static_cast<int32_t>(cyclicTable80.size() / 2);
  f.second.cyclic = cyclicTable100.data();
  f.second.cyclicCount = static_cast<int32_t>(cyclicTable100.size() / 2);
  const std::size_t n = static_cast<std::size_t>(f.width) * f.height;
  noiseScratch.resize(5 * n);
  float* base = noiseScratch.data();
  const NoiseAwareBuffers buffers{{base, base + n, base + 2 * n}, {base + 3 * n, base + 4 * n}};
  NoiseAwareDepth(f, single, useReferenceKernels, buffers);
}

int32_t ReconstructionImpl::ComputeDepthSingle(const uint16_t* raw, const void* /*unused*/, uint16_t** depthOut,
                                               int32_t* widthOut, int32_t* heightOut) {
  if (depthOut) *depthOut = nullptr;
  if (widthOut) *widthOut = 0;
  if (heightOut) *heightOut = 0;
  try {
    std::lock_guard<std::mutex> lock(LibraryMutex());
    if (!initialised) return StatusNotInitialised;
    if (raw == nullptr || depthOut == nullptr) return StatusInvalidArgument;
    const int32_t width = depthWidth, height = depthHeight;
    if (widthOut) *widthOut = width;
    if (heightOut) *heightOut = height;
    binning = width == 320 ? 2 : 1;
    uint16_t* out = NewDepthImage(width, height, true);
    if (out == nullptr) return StatusOutOfMemory;
    *depthOut = out;
    const int32_t kb = TableBinning(width, height);
    if (kb == 0) return StatusInvalidArgument;

    const DepthFrame f = PrepareFrame(raw, out, width, height, kb, 1);
    useReferenceKernels ? SingleFrequencyReference(f) : SingleFrequencyFast(f);
    return StatusOk;
  } catch (...) {
    return StatusOutOfMemory;
  }
}

int32_t ReconstructionImpl::Bin2x2(const uint16_t* raw, uint16_t* out, int32_t width, int32_t height) {
  if (raw == nullptr || out == nullptr || width < 1 || height < 1) return StatusInvalidArgument;
  const std::size_t w = static_cast<std::size_t>(width);
  std::memset(out, 0, sizeof(uint16_t) * w * std::min(height, 2));
  for (int32_t i = 2; i < height; ++i) {
    const uint16_t* r0 = raw + static_cast<std::size_t>(2 * i) * 2 * w;
    const uint16_t* r1 = r0 + 2 * w;
    uint16_t* o = out + static_cast<std::size_t>(i) * w;
    for (std::size_t j = 0; j < w; ++j) {
      const uint32_t sum = static_cast<uint32_t>(r0[2 * j]) + r1[2 * j] + r1[2 * j + 1] + r0[2 * j + 1];
      o[j] = static_cast<uint16_t>(std::min<uint32_t>(sum >> 1, 65535u));
    }
  }
  return StatusOk;
}

}  // namespace qzapi
