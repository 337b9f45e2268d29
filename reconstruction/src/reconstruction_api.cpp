// The factory and the small configuration operations.
#include <mutex>
#include <new>

#include "calibration_dump.h"
#include "depth_colour.h"
#include "filter_parameters.h"
#include "reconstruction_impl.h"

namespace qzapi {

Reconstruction* Reconstruction::m_instance = nullptr;

Reconstruction* Reconstruction::CreateInstance() {
  // A lock of its own, so two first calls from different threads cannot
  // both create an instance.
  static std::mutex creation;
  std::lock_guard<std::mutex> lock(creation);
  if (m_instance == nullptr) {
    try {
      m_instance = new (std::nothrow) ReconstructionImpl();
    } catch (...) {
      m_instance = nullptr;
    }
  }
  return m_instance;
}

void ReconstructionImpl::GetVersion(std::string& out) {
  try {
    out = "v0.1.6.4_202211071202";
  } catch (...) {
  }
}

void ReconstructionImpl::GetIntrinsics(Intrinsics* depthOut, Intrinsics* colourOut, CalibrationBlock b) {
  std::lock_guard<std::mutex> lock(LibraryMutex());
  if (depthOut) {
    *depthOut = Intrinsics{};
    std::copy(b.distCoeffs, b.distCoeffs + 5, depthOut->distCoeffs);
    depthOut->fx = b.depthIntrinsics[0];
    depthOut->fy = b.depthIntrinsics[1];
    depthOut->cx = b.depthIntrinsics[2];
    depthOut->cy = b.depthIntrinsics[3];
    depthOut->width = depthWidth;
    depthOut->height = depthHeight;
  }
  if (colourOut) {
    *colourOut = Intrinsics{};
    std::copy(b.colourDistCoeffs, b.colourDistCoeffs + 5, colourOut->distCoeffs);
    colourOut->fx = b.colourIntrinsics[0];
    colourOut->fy = b.colourIntrinsics[1];
    colourOut->cx = b.colourIntrinsics[2];
    colourOut->cy = b.colourIntrinsics[3];
    colourOut->width = b.colourWidth;
    colourOut->height = b.colourHeight;
  }
}

void ReconstructionImpl::GetDistanceRange(int32_t* nearOut, int32_t* farOut) {
  std::lock_guard<std::mutex> lock(LibraryMutex());
  if (nearOut) *nearOut = nearLimit;
  if (farOut) *farOut = farLimit;
}

void ReconstructionImpl::SetDistanceRange(int32_t near, int32_t far) {
  std::lock_guard<std::mutex> lock(LibraryMutex());
  nearLimit = near;
  farLimit = far;
}

void ReconstructionImpl::GetDistanceLimits(int32_t* minOut, int32_t* maxOut) {
  if (minOut) *minOut = 0;
  if (maxOut) *maxOut = 7500;
}

void ReconstructionImpl::GetColourTable(uint8_t** table, int32_t* count) {
  if (table) {
    *table = new (std::nothrow) uint8_t[3 * kColourTableCount];
    if (*table) FillColourTable(*table);
  }
  if (count) *count = (table && *table) ? kColourTableCount : 0;
}

void ReconstructionImpl::SetOrientation(int32_t value) {
  std::lock_guard<std::mutex> lock(LibraryMutex());
  orientation = value;
}

void ReconstructionImpl::GetFilterEnabled(uint8_t* out) {
  std::lock_guard<std::mutex> lock(LibraryMutex());
  if (out) *out = filterEnabled;
}

void ReconstructionImpl::SetFilterEnabled(int32_t enabled) {
  std::lock_guard<std::mutex> lock(LibraryMutex());
  filterEnabled = static_cast<uint8_t>(enabled & 0xFF);
}

int32_t ReconstructionImpl::SetFilterParameter(int32_t filter, float* values, int32_t count) {
  std::lock_guard<std::mutex> lock(LibraryMutex());
  return StoreFilterParameter(*filterSettings, filter, values, count);
}

void ReconstructionImpl::GetFilterParameter(int32_t filter, float* values, int32_t* count) {
  std::lock_guard<std::mutex> lock(LibraryMutex());
  LoadFilterParameter(*filterSettings, filter, values, count);
}

int32_t ReconstructionImpl::GetSupportedFilters(int32_t* codes, int32_t* count, uint8_t* flag) {
  if (codes) {
    codes[0] = FilterSmallRegion;
    codes[1] = FilterSpike;
    codes[2] = FilterFlyingPixel;
  }
  if (count) *count = 3;
  if (flag) *flag = 0;
  return 8;
}

void ReconstructionImpl::DumpCalibration(std::stringstream& out, CalibrationBlock calibration) {
  try {
    WriteCalibrationText(out, calibration);
  } catch (...) {
    // A stream that throws on failure must not take the host down.
  }
}

}  // namespace qzapi
