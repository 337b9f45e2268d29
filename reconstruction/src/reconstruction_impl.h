// The implementation behind qzapi::Reconstruction. Private: carries OpenCV
// types and the per-pixel tables, none of which cross the exported boundary.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <opencv2/core.hpp>

#include "depth_kernel.h"
#include "qzapi/reconstruction.h"

namespace qzapi {

// Upper bound of either side of a per-pixel table grid; keeps hostile sizes
// from asking for gigabytes.
constexpr int32_t kMaxGridSide = 4096;
constexpr int32_t kColourGridWidth = 1920;
constexpr int32_t kColourGridHeight = 1080;
constexpr int32_t kAlignDepthWidth = 640;
constexpr int32_t kAlignDepthHeight = 480;

class ReconstructionImpl : public Reconstruction {
 public:
  ReconstructionImpl();
  ~ReconstructionImpl() = default;
  ReconstructionImpl(const ReconstructionImpl&) = delete;
  ReconstructionImpl& operator=(const ReconstructionImpl&) = delete;

  void GetVersion(std::string& out) override;
  int32_t InitDefault(int32_t deviceType, int32_t mode) override;
  int32_t Init(CalibrationBlock first, CalibrationBlock second) override;
  int32_t InitWithSize(int32_t deviceType, int32_t mode, const CalibrationBlock* calibration, int32_t width,
                       int32_t height) override;
  int32_t DepthToPoints(const uint16_t* depth, float* xyz, int32_t width, int32_t height) override;
  int32_t Bin2x2(const uint16_t* raw, uint16_t* out, int32_t width, int32_t height) override;
  void ComputeDepth(const uint16_t* raw, uint16_t** depthOut, int32_t width, int32_t height) override;
  int32_t ComputeDepthSingle(const uint16_t* raw, const void* unused, uint16_t** depthOut, int32_t* widthOut,
                             int32_t* heightOut) override;
  void ColouriseDepth(uint8_t** rgbOut, const uint16_t* depth, int32_t width, int32_t height) override;
  void AlignDepthToColour(uint8_t** colourOut, uint16_t** depthInOut, const uint8_t* yuyv, int32_t colourWidth,
                          int32_t colourHeight, int32_t* widthOut, int32_t* heightOut) override;
  void GetIntrinsics(Intrinsics* depthOut, Intrinsics* colourOut, CalibrationBlock calibration) override;
  void GetDistanceRange(int32_t* nearOut, int32_t* farOut) override;
  void SetDistanceRange(int32_t near, int32_t far) override;
  void GetDistanceLimits(int32_t* minOut, int32_t* maxOut) override;
  void GetColourTable(uint8_t** table, int32_t* count) override;
  void SetOrientation(int32_t orientation) override;
  void GetFilterEnabled(uint8_t* out) override;
  void SetFilterEnabled(int32_t enabled) override;
  void ApplyFilter(uint16_t* depth, int32_t filter) override;
  int32_t SetFilterParameter(int32_t filter, float* values, int32_t count) override;
  void GetFilterParameter(int32_t filter, float* values, int32_t* count) override;
  int32_t GetSupportedFilters(int32_t* codes, int32_t* count, uint8_t* flag) override;
  void DumpCalibration(std::stringstream& out, CalibrationBlock calibration) override;
  void Undistort(const uint16_t* src, int32_t width, int32_t height, uint16_t* dst, int32_t singleChannel) override;

  // Members in the documented order.
  int32_t farLimit = 7500;
  int32_t nearLimit = 0;
  int32_t depthWidth = 640;
  int32_t depthHeight = 480;
  int32_t binning = 1;
  uint8_t filterEnabled = 1;
  uint8_t initialised = 0;
  int32_t orientation = 0;
  CalibrationBlock defaultCalibration;
  CalibrationBlock builtInCalibration;
  CalibrationBlock activeCalibration;
  int32_t deviceType = 0;
  int32_t mode = 0;
  float colourTransform[4][4] = {};
  cv::Mat colourMapX2, colourMapY2, colourMapX, colourMapY;
  // colourMapX/Y in remap's fixed-point nearest form, and as the byte offset
  // of each pixel's source in a B,G,R colour image; built on first use.
  cv::Mat colourMapNearest;
  std::vector<int32_t> colourSourceOffsets;
  // Working images of AlignDepthToColour (full colour size B,G,R, projected
  // depth), kept between frames; used under the library mutex. The B,G,R
  // image lies in alignBgrStorage, one byte longer than the image: the
  // remap copies a pixel as four bytes.
  std::vector<uint8_t> alignBgrStorage;
  cv::Mat alignBgr, alignDepth;
  std::unique_ptr<FilterSettings> filterSettings;
  std::string workingDirectory;
  FrequencyChannel frequency80;
  FrequencyChannel frequency100;
  std::vector<float> rayMapX, rayMapY;
  std::vector<float> rayMapX1080, rayMapY1080;
  std::vector<float> fittingSurface80, fittingSurface100;
  std::vector<float> radialToAxial;
  std::vector<float> radialToAxial1080;

  // Size of the grid the per-pixel tables above cover (the depth image times
  // the binning it was initialised with); 0 x 0 when there are none.
  int32_t tableWidth = 0;
  int32_t tableHeight = 0;
  // Selects the plain reference kernels instead of the vectorised ones.
  bool useReferenceKernels = false;
  // Lets the fast kernels use AVX2 (tests clear it to check the scalar path).
  bool allowSimdKernels = true;
  // The tuning window of AlignDepthToColour opens only when this is set and a
  // display exists; tests clear it.
  bool diagnosticWindowAllowed = true;
  // Working images of the noise-aware mode (depth, variance, runner-up,
  // confirmed depth, first estimate), kept between frames; used under the
  // library mutex.
  std::vector<float> noiseScratch;
  // The channels' cyclic-error tables read every millimetre (noise-aware
  // mode), built on first use after an initialisation.
  std::vector<float> cyclicTable80, cyclicTable100;

  // Serialises Init, InitWithSize, ComputeDepth and AlignDepthToColour.
  static std::mutex& LibraryMutex();
  // Set once an initialisation found offset.txt.
  static std::atomic<bool> offsetFileFound;

  // Table binning for a depth image of width x height: the factor k with
  // width k = tableWidth and height k = tableHeight, or 0 if none fits.
  int32_t TableBinning(int32_t width, int32_t height) const;

 private:
  int32_t LoadLocked(const CalibrationBlock& block, bool fromInit, int32_t width, int32_t height);
  void DeinitialiseLocked();
  void ApplyFilterSized(uint16_t* depth, int32_t width, int32_t height, int32_t filter);
  // The noise-aware depth of one frame into f.out (FilterModeNoiseAware).
  void ComputeNoiseAwareLocked(const DepthFrame& f, bool single);
  // Kernel parameters for one frame: temperature drift, channels, tables.
  DepthFrame PrepareFrame(const uint16_t* raw, uint16_t* out, int32_t width, int32_t height,
                          int32_t tableBinningFactor, int32_t subFrames) const;
};

}  // namespace qzapi
