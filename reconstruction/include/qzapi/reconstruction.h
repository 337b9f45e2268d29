// qzreconstruction: raw time-of-flight phase frames to corrected depth,
// filtered depth, points, colour-coded depth and depth aligned to the colour
// camera. The camera SDK loads this library and drives the single instance
// returned by qzapi::Reconstruction::CreateInstance().
//
// Conventions for every operation below
// - Images are row-major and tightly packed (no row padding), native byte
//   order. Depth is unsigned 16-bit millimetres along the optical axis;
//   0 = invalid pixel, 1 = saturated pixel.
// - Buffers passed in stay owned by the caller. Buffers the library hands out
//   (through a `T**` out-parameter) are allocated with array new; the caller
//   frees them with delete[]. A null handed-out pointer means "no image".
// - Nothing is thrown across this interface. Operations that return int32_t
//   report 0 (or the documented value) on success and a negative Status on
//   refusal; void operations report nothing and leave their outputs empty or
//   zeroed as documented.
// - Before initialisation (InitDefault, Init or InitWithSize) there are no
//   per-pixel tables: ComputeDepth hands out an all-invalid (zero) image,
//   DepthToPoints and Undistort (depth model) zero their outputs,
//   ComputeDepthSingle and AlignDepthToColour hand out nothing, ApplyFilter
//   leaves the image alone (see each operation).
// - One process-wide mutex serialises every operation that reads or writes
//   instance state (initialisation, depth, filters, settings), so a host may
//   call them from different threads.
#pragma once

#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>

#include "qzapi/qzreconstruction_export.h"

namespace qzapi {

// Negative results of the int32_t operations.
enum Status : int32_t {
  StatusOk = 0,
  StatusNotInitialised = -1,   // no per-pixel tables yet: initialise first
  StatusInvalidArgument = -2,  // null pointer, size that does not fit the tables
  StatusOutOfMemory = -3,      // a per-pixel table could not be allocated
  StatusNoBuiltIn = -4,        // InitDefault: no built-in block for the device type
};

// Camera calibration record exchanged with the host: 4448 bytes, laid out as
// below (offsets checked at compile time). Four-byte values F[0..1099] start
// at byte 48; the comments give each field's F index.
// Table counts beyond a table's capacity are clamped on load (256 entries;
// wiggling tables 128, since each channel stores its table twice); negative
// counts count as 0.
struct CalibrationBlock {
  int32_t frequency1 = 0;     // first modulation frequency, Hz
  int32_t frequency2 = 0;     // second modulation frequency, Hz
  std::string serialNumber;   // camera serial number
  int32_t reserved0[2] = {};  // not interpreted

  float distCoeffs[5] = {};           // F0-4: depth lens k1, k2, p1, p2, k3
  float depthIntrinsics[4] = {};      // F5-8: depth fx, fy, cx, cy (pixels)
  int32_t depthGridWidth = 0;         // F9: grid the depth intrinsics refer to
  int32_t depthGridHeight = 0;        // F10
  int32_t reserved1[2] = {};          // F11-12: not interpreted
  float colourDistCoeffs[5] = {};     // F13-17: colour lens k1, k2, p1, p2, k3
  float colourIntrinsics[4] = {};     // F18-21: colour fx, fy, cx, cy (pixels)
  int32_t colourWidth = 0;            // F22
  int32_t colourHeight = 0;           // F23
  float globalOffset80 = 0.0f;        // F24: metres if |value| < 100, else mm
  float globalOffset100 = 0.0f;       // F25: likewise, second frequency
  int32_t reserved2 = 0;              // F26: not interpreted
  int32_t wigglingError80Count = 0;   // F27: used entries (at most 128 used)
  float wigglingError80[256] = {};    // F28-283: cyclic error, mm
  int32_t wigglingError100Count = 0;  // F284
  float wigglingError100[256] = {};   // F285-540
  float fitting80[6] = {};            // F541-546: per-pixel offset polynomial
  float fitting100[6] = {};           // F547-552
  float tempOffset80[4] = {};         // F553-556: temperature drift polynomial
  float tempOffset100[4] = {};        // F557-560
  int32_t depthOffset = 0;            // F561: mm added to dual-frequency depth
  float fittingOffset80[6] = {};      // F562-567: carried and printed only
  float fittingOffset100[6] = {};     // F568-573: carried and printed only
  float otherOffset2[9] = {};         // F574-582: colour-to-depth rotation, row-major
  float otherOffset3[3] = {};         // F583-585: colour-to-depth translation, mm
  int32_t otherOffset4Count = 0;      // F586: at most 256
  float otherOffset4[256] = {};       // F587-842: rotation tweaks, parallax values
  int32_t otherOffset5Count = 0;      // F843: at most 256
  float otherOffset5[256] = {};       // F844-1099: MHz, MHz, gain, gain
};

// The layout follows the host's standard library (64-bit, one 32-byte
// std::string); a build that cannot match it must not exchange blocks.
static_assert(sizeof(std::string) == 32, "CalibrationBlock needs a 32-byte std::string");
static_assert(sizeof(CalibrationBlock) == 4448, "CalibrationBlock must be 4448 bytes");
static_assert(offsetof(CalibrationBlock, serialNumber) == 8, "layout");
static_assert(offsetof(CalibrationBlock, reserved0) == 40, "layout");
static_assert(offsetof(CalibrationBlock, distCoeffs) == 48 + 4 * 0, "layout");
static_assert(offsetof(CalibrationBlock, depthIntrinsics) == 48 + 4 * 5, "layout");
static_assert(offsetof(CalibrationBlock, depthGridWidth) == 48 + 4 * 9, "layout");
static_assert(offsetof(CalibrationBlock, colourDistCoeffs) == 48 + 4 * 13, "layout");
static_assert(offsetof(CalibrationBlock, colourIntrinsics) == 48 + 4 * 18, "layout");
static_assert(offsetof(CalibrationBlock, colourWidth) == 48 + 4 * 22, "layout");
static_assert(offsetof(CalibrationBlock, globalOffset80) == 48 + 4 * 24, "layout");
static_assert(offsetof(CalibrationBlock, wigglingError80Count) == 48 + 4 * 27, "layout");
static_assert(offsetof(CalibrationBlock, wigglingError80) == 48 + 4 * 28, "layout");
static_assert(offsetof(CalibrationBlock, wigglingError100Count) == 48 + 4 * 284, "layout");
static_assert(offsetof(CalibrationBlock, wigglingError100) == 48 + 4 * 285, "layout");
static_assert(offsetof(CalibrationBlock, fitting80) == 48 + 4 * 541, "layout");
static_assert(offsetof(CalibrationBlock, fitting100) == 48 + 4 * 547, "layout");
static_assert(offsetof(CalibrationBlock, tempOffset80) == 48 + 4 * 553, "layout");
static_assert(offsetof(CalibrationBlock, tempOffset100) == 48 + 4 * 557, "layout");
static_assert(offsetof(CalibrationBlock, depthOffset) == 48 + 4 * 561, "layout");
static_assert(offsetof(CalibrationBlock, fittingOffset80) == 48 + 4 * 562, "layout");
static_assert(offsetof(CalibrationBlock, fittingOffset100) == 48 + 4 * 568, "layout");
static_assert(offsetof(CalibrationBlock, otherOffset2) == 48 + 4 * 574, "layout");
static_assert(offsetof(CalibrationBlock, otherOffset3) == 48 + 4 * 583, "layout");
static_assert(offsetof(CalibrationBlock, otherOffset4Count) == 48 + 4 * 586, "layout");
static_assert(offsetof(CalibrationBlock, otherOffset4) == 48 + 4 * 587, "layout");
static_assert(offsetof(CalibrationBlock, otherOffset5Count) == 48 + 4 * 843, "layout");
static_assert(offsetof(CalibrationBlock, otherOffset5) == 48 + 4 * 844, "layout");

// Working parameters of one modulation frequency, derived from a block.
struct FrequencyChannel {
  int32_t frequency = 0;                  // Hz
  int32_t range = 0;                      // unambiguous range, mm
  float temperatureCoefficients[4] = {};  // copy of tempOffset80/100
  float globalOffset = 0.0f;              // mm
  float fitting[6] = {};                  // copy of fitting80/100
  float tableStep = 0.0f;                 // table entries per mm (0.01 or 0.02)
  int32_t tableCount = 0;                 // entries of the wiggling table
  float wiggling[256] = {};               // the table written twice (wraps)
  float millimetresPerRadian = 0.0f;
  std::string serial;
  float gain = 1.0f;  // reciprocal of the channel's scale
};

// Depth filter codes of ApplyFilter / SetFilterParameter / GetFilterParameter.
enum FilterCode : int32_t {
  FilterMedian = 1,
  FilterAmplitude = 2,  // a setting of the depth computation only
  FilterBlockDeviation = 4,
  FilterSmallRegion = 8,
  FilterSpike = 16,
  FilterFlyingPixel = 32,
  FilterGaussian = 64,
  FilterReserved128 = 128,  // accepted, no effect
  FilterReserved256 = 256,  // accepted, no effect
};

// Values of SetFilterEnabled / GetFilterEnabled: what ComputeDepth does
// after computing depth. Hosts can show these as a choice; a value the host
// does not know (3 to 255) acts as FilterModeStandard.
enum FilterMode : int32_t {
  FilterModeOff = 0,       // depth as computed, unfiltered
  FilterModeStandard = 1,  // median and block-deviation filters (the default)
  // Noise-aware depth: each pixel's noise from its own samples, inverse-
  // variance combination of the frequencies, unwrapping by each pixel's
  // noise, edge-preserving smoothing over valid neighbours only, depths
  // rounded to whole millimetres. Validity follows each pixel's noise: the
  // amplitude threshold (code 2) and the other filter parameters do not
  // apply. See docs/depth-pipeline.md.
  FilterModeNoiseAware = 2,
};

// The twelve filter parameters, indexed by FilterSettings::Index.
struct FilterSettings {
  enum Index {
    AmplitudeThreshold = 0,  // code 2, default 6
    FlyingPixelFactor = 1,   // code 32, default 15
    BlockDeviation = 2,      // code 4, default 50
    RegionMaxSize = 3,       // code 8, pixels, default 100
    RegionMaxStep = 4,       // code 8, mm, default 40
    Value128 = 5,            // code 128, default 0
    Value256 = 6,            // code 256, default 0
    SpikeValue = 7,          // code 16, default 30 (stored, unused)
    MedianWindow = 8,        // code 1, 3 or 5, default 3
    MedianPasses = 9,        // code 1, default 1
    GaussianWindow = 10,     // code 64, 3 or 5, default 3
    GaussianPasses = 11,     // code 64, default 1
    Count = 12
  };
  uint16_t values[Count] = {6, 15, 50, 100, 40, 0, 0, 30, 3, 1, 3, 1};
};

// Camera model filled by GetIntrinsics.
struct Intrinsics {
  int32_t reserved[2] = {};                          // always 0
  float distCoeffs[5] = {};                          // k1, k2, p1, p2, k3
  float fx = 0.0f, fy = 0.0f, cx = 0.0f, cy = 0.0f;  // pixels
  int32_t width = 0, height = 0;
};
static_assert(sizeof(Intrinsics) == 52, "Intrinsics must be 52 bytes");

// The exported interface. Slot order of the virtual operations is part of the
// binary contract with the host: never reorder them.
class QZRECONSTRUCTION_EXPORT Reconstruction {
 public:
  // The single process-wide instance, created on first call and never
  // destroyed; null only if allocation fails. Safe to call from any thread.
  static Reconstruction* CreateInstance();
  static Reconstruction* m_instance;

  Reconstruction() = default;
  Reconstruction(const Reconstruction&) = default;
  Reconstruction(Reconstruction&&) = default;
  Reconstruction& operator=(const Reconstruction&) = default;
  Reconstruction& operator=(Reconstruction&&) = default;

  // 0: writes "v0.1.6.4_202211071202" into `out`.
  virtual void GetVersion(std::string& out) = 0;

  // 1: builds the built-in block of device type 1 or 4 (any mode; mode 5 is
  // single frequency) and initialises with it. Returns Init's result, or
  // StatusNoBuiltIn for other device types (nothing changes then).
  virtual int32_t InitDefault(int32_t deviceType, int32_t mode) = 0;

  // 2: initialises from `second` with the device type and mode recorded by
  // the last InitDefault/InitWithSize; `first` is not read. Per-pixel tables
  // are built for 640 x 480 (320 x 240 in mode 5 with device type 1).
  // Returns 0; StatusInvalidArgument when the block's grid cannot be tabled
  // (nothing changes then); StatusOutOfMemory when a table cannot be
  // allocated (the instance is then uninitialised).
  virtual int32_t Init(CalibrationBlock first, CalibrationBlock second) = 0;

  // 3: as Init, with the depth image size width x height (each 1..4096;
  // the calibration grid, twice that size when binning, at most 4096 x 4096).
  // Records deviceType and mode. Returns 0; StatusInvalidArgument for a null
  // block or a size out of range (nothing changes then); StatusOutOfMemory
  // when a table cannot be allocated (the instance is then uninitialised).
  virtual int32_t InitWithSize(int32_t deviceType, int32_t mode, const CalibrationBlock* calibration,
                               int32_t width, int32_t height) = 0;

  // 4: back-projects depth to points. `depth`: width x height 16-bit mm.
  // `xyz`: caller's buffer of width x height x 3 floats (x, y, z in mm,
  // camera frame); pixels outside the valid octagon get (0, 0, 0).
  // width x height must be the initialised depth size (or 1920 x 1080 after a
  // device type 4 initialisation with colour intrinsics). Returns 0; before
  // initialisation or for another size, StatusNotInitialised /
  // StatusInvalidArgument with `xyz` zeroed.
  virtual int32_t DepthToPoints(const uint16_t* depth, float* xyz, int32_t width, int32_t height) = 0;

  // 5: 2 x 2 binning. `raw`: (2 width) x (2 height) 16-bit samples; `out`:
  // caller's width x height 16-bit buffer; rows 0 and 1 of `out` are 0.
  // Returns 0, or StatusInvalidArgument for null buffers or sizes below 1.
  virtual int32_t Bin2x2(const uint16_t* raw, uint16_t* out, int32_t width, int32_t height) = 0;

  // 6: depth from one raw frame. `raw`: dual frequency, four sub-frames of
  // (2 width) x (2 height) samples one after another (16 width height samples);
  // mode 5, one sub-frame. `*depthOut` receives a new width x height 16-bit
  // image (caller frees with delete[]); rows 0 and 1 are 0. With the filter
  // flag FilterModeStandard (or any value but 0 and 2) runs the median and
  // block-deviation filters; with FilterModeNoiseAware computes the
  // noise-aware depth instead (see FilterMode). In mode 5 the
  // size becomes the current depth size (used by ApplyFilter).
  // Before initialisation, or when width x height is not the initialised
  // depth size, the image handed out is all 0 (invalid); for sizes outside
  // 1..4096 or a null `raw`, `*depthOut` is set to null.
  virtual void ComputeDepth(const uint16_t* raw, uint16_t** depthOut, int32_t width, int32_t height) = 0;

  // 7: single-frequency depth at the initialised size. `raw`: one sub-frame
  // of (2 W) x (2 H) samples; `unused` is ignored. `*depthOut` receives a new
  // W x H image (delete[]), `*widthOut`/`*heightOut` the size. Returns 0.
  // Before initialisation: StatusNotInitialised, size 0 x 0 and null image.
  virtual int32_t ComputeDepthSingle(const uint16_t* raw, const void* unused, uint16_t** depthOut,
                                     int32_t* widthOut, int32_t* heightOut) = 0;

  // 8: depth colour ramp between the distance range limits. `*rgbOut`
  // receives a new width x height x 3 byte image (delete[]): 0 -> (0,0,0),
  // 1 (saturated) -> (127,0,170). Null image for null depth or sizes < 1.
  virtual void ColouriseDepth(uint8_t** rgbOut, const uint16_t* depth, int32_t width, int32_t height) = 0;

  // 9: aligns a 640 x 480 depth image to the colour camera. `yuyv`:
  // colourWidth x colourHeight YUYV (2 bytes per pixel, Y0 U Y1 V).
  // `*depthInOut` must point to a 640 x 480 image allocated by this library;
  // it is freed and replaced by a new colourWidth x colourHeight depth image
  // aligned to the colour image. `*colourOut` receives a new undistorted
  // colour image, colourWidth x colourHeight x 3 bytes in B, G, R order.
  // Needs a device type 4 initialisation whose block has colour intrinsics
  // and a 1920 x 1080 colour frame: otherwise `*colourOut` is set to null,
  // `*widthOut` and `*heightOut` to 0, and `*depthInOut` is left untouched
  // (still owned by the caller).
  virtual void AlignDepthToColour(uint8_t** colourOut, uint16_t** depthInOut, const uint8_t* yuyv,
                                  int32_t colourWidth, int32_t colourHeight, int32_t* widthOut,
                                  int32_t* heightOut) = 0;

  // 10: depth camera model (block's depth intrinsics, current depth size)
  // and colour camera model (block's colour intrinsics and size).
  virtual void GetIntrinsics(Intrinsics* depthOut, Intrinsics* colourOut, CalibrationBlock calibration) = 0;

  // 11-13: colour ramp limits in mm. SetDistanceRange stores them unchecked;
  // GetDistanceLimits always reports 0 and 7500.
  virtual void GetDistanceRange(int32_t* nearOut, int32_t* farOut) = 0;
  virtual void SetDistanceRange(int32_t near, int32_t far) = 0;
  virtual void GetDistanceLimits(int32_t* minOut, int32_t* maxOut) = 0;

  // 14: `*table` receives a new 1080-byte buffer (delete[]) of 360 RGB
  // triples, `*count` = 360.
  virtual void GetColourTable(uint8_t** table, int32_t* count) = 0;

  // 15: 0 normal, 1 rows reversed, 2 columns reversed, 3 both.
  virtual void SetOrientation(int32_t orientation) = 0;

  // 16-17: the filter flag: what ComputeDepth does after computing depth, a
  // FilterMode value (the low byte of `enabled` is stored).
  virtual void GetFilterEnabled(uint8_t* out) = 0;
  virtual void SetFilterEnabled(int32_t enabled) = 0;

  // 18: applies filter `filter` (FilterCode) in place to a caller's depth
  // image of the current depth size (W x H 16-bit mm). Unknown codes, 2, 128
  // and 256 leave it unchanged; nothing happens before initialisation.
  virtual void ApplyFilter(uint16_t* depth, int32_t filter) = 0;

  // 19: sets filter parameters; `values` holds `count` floats, clamped values
  // are written back into it. Returns the value stored, or 0 when nothing was
  // stored.
  virtual int32_t SetFilterParameter(int32_t filter, float* values, int32_t count) = 0;

  // 20: `values` must hold 2 floats; `*count` receives 1 or 2.
  virtual void GetFilterParameter(int32_t filter, float* values, int32_t* count) = 0;

  // 21: writes codes 8, 16, 32 into `codes` (3 int32), count 3, flag 0;
  // returns 8.
  virtual int32_t GetSupportedFilters(int32_t* codes, int32_t* count, uint8_t* flag) = 0;

  // 22: writes the block as nineteen text lines. The parameter type is part
  // of the binary contract: hosts pass a std::stringstream through this slot.
  virtual void DumpCalibration(std::stringstream& out, CalibrationBlock calibration) = 0;

  // 23: lens undistortion by inverse mapping. `src`, `dst`: width x height
  // pixels of one 16-bit element (singleChannel low byte non-zero, depth
  // camera model) or three 16-bit elements (colour camera model). `dst` is
  // the caller's; pixels mapped from outside the image are 0. A model with a
  // zero focal length (the depth model before initialisation) zeroes `dst`.
  // Colour model: the block's colour intrinsics halved, or built-in values
  // when the block has none.
  virtual void Undistort(const uint16_t* src, int32_t width, int32_t height, uint16_t* dst,
                         int32_t singleChannel) = 0;

 protected:
  // Not virtual and not public: the instance lives for the whole process and
  // hosts never delete it.
  ~Reconstruction() = default;
};

}  // namespace qzapi
