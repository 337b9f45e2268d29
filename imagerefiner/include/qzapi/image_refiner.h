// Exported interface of the imagerefiner library: depth colouring,
// texture-enhanced refinement, brightness, undistortion maps, back-projection
// and the 3D view's camera pose.
//
// Conventions for every operation below:
// - Status codes: 0 success; -1 unsupported frame size (SetIntrinsics);
//   -2 internal failure (memory exhausted while working); -3 invalid argument
//   (null pointer, size out of range, or point cloud requested before the
//   undistortion maps exist). Nothing is thrown to the caller and nothing is
//   logged. When an operation fails, its output buffers are left untouched.
// - Image buffers are row-major and tightly packed: `width` pixels per row,
//   `height` rows, pixel (row, col) at index row * width + col.
// - Depth pixels are unsigned 16-bit millimetres; 0 marks an invalid pixel and
//   1 a saturated one. Infrared pixels are raw unsigned 16-bit intensities.
// - Colour buffers hold three bytes per pixel. The refinement operations
//   write R, G, B.
// - Every buffer belongs to the caller: the library neither keeps nor frees a
//   pointer after the call returns, so callers may reuse buffers at once.
// - width * height * 3 must fit in a signed 32-bit int; larger images are
//   refused with -3.
#pragma once

#include <cstdint>
#include <string>

#include "qzapi/imagerefiner_export.h"

namespace qzapi {

// One back-projected depth pixel.
struct RefinedPoint {
  float x;  // depth unit (millimetres for the viewer's depth); grows with the column
  float y;  // depth unit; grows with the row
  float z;  // depth unit; the depth value itself
  // Byte 0 (lowest) = first colour byte of the pixel, byte 1 = second,
  // byte 2 = third. The highest byte is never written by the library;
  // callers must not rely on it.
  std::uint32_t colour;
};
static_assert(sizeof(RefinedPoint) == 16, "RefinedPoint must stay 16 bytes");

// Lens distortion of the depth camera, in the usual calibration order;
// dimensionless, acting on normalised image coordinates ((u - cx) / fx, ...).
struct DistortionCoefficients {
  float k1;  // radial, r^2 term
  float k2;  // radial, r^4 term
  float p1;  // tangential
  float p2;  // tangential
  float k3;  // radial, r^6 term
};
static_assert(sizeof(DistortionCoefficients) == 5 * sizeof(float),
              "DistortionCoefficients must be five consecutive floats");

class IMAGEREFINER_EXPORT ImageRefiner {
 public:
  // Defined in the library, so they and the table of virtual operations are
  // exported from it. There is no data to copy.
  ImageRefiner();
  ImageRefiner(const ImageRefiner&);
  ImageRefiner(ImageRefiner&&) noexcept;
  ImageRefiner& operator=(const ImageRefiner&);
  ImageRefiner& operator=(ImageRefiner&&) noexcept;

  // Camera pose for the 3D view: position (0, 0, -distance), focal point
  // (0, 0, 1), view-up (0, -1, 0), i.e. on the optical axis behind the sensor,
  // looking along +z with image rows growing downwards. Each pointer points to
  // three doubles the caller owns. Returns -3 if any pointer is null.
  virtual std::int32_t GetViewCamera(double* position, double* focalPoint, double* viewUp,
                                     std::int32_t distance) = 0;

  // Colour-codes depth and overlays a texture pattern that makes surfaces
  // readable. The texture is an 8-neighbour local binary pattern of the
  // sharpened ramp colours and of the depth stretched over its own range.
  // Its outermost rows and columns use mirrored neighbours (reflect-101, as
  // the filters do), so they carry texture like the interior. A constant depth
  // image has no range to stretch: its grey image is all 0, which adds no
  // texture (every pixel's pattern is 255, as for any flat image).
  // rgbOut: width * height * 3 bytes, R, G, B, written by the call.
  // depth: width * height pixels (millimetres, 0 invalid, 1 saturated).
  // nearLimit, farLimit: millimetres mapped to the start and end of the colour
  //   ramp (blue through green and yellow to red); depth outside them is
  //   clamped to the ends. Invalid pixels start black, saturated ones purple.
  // Returns -3 on a null pointer or width, height or farLimit below 1. Safe to
  // call concurrently with itself, RefineDepthWithIr and AdjustBrightness.
  // Each calling thread keeps its working images (about 6 MB at 640 x 480)
  // for reuse by its next call; they are freed when the thread ends.
  virtual std::int32_t RefineDepth(std::uint8_t* rgbOut, const std::uint16_t* depth,
                                   std::int32_t width, std::int32_t height,
                                   std::int32_t nearLimit, std::int32_t farLimit) = 0;

  // As RefineDepth, but the texture comes from the infrared image (width *
  // height raw 16-bit intensities) after a block-deviation filter that drops
  // noisy 2 x 2 blocks. Same checks and concurrency as RefineDepth.
  virtual std::int32_t RefineDepthWithIr(std::uint8_t* rgbOut, const std::uint16_t* infrared,
                                         const std::uint16_t* depth, std::int32_t width,
                                         std::int32_t height, std::int32_t nearLimit,
                                         std::int32_t farLimit) = 0;

  // Records the depth stream's pinhole intrinsics in pixels. Accepts 640 x 480
  // (stored as given) and 320 x 240 (cx, cy, fx, fy doubled onto the 640 x 480
  // grid); scaleA and scaleB are stored unchanged and not used. Any other size
  // returns -1 and stores nothing. Takes effect at the next SetDistortion.
  virtual std::int32_t SetIntrinsics(std::int32_t width, std::int32_t height, float cx,
                                     float cy, float fx, float fy, float scaleA,
                                     float scaleB) = 0;

  // Stores the distortion coefficients and builds the 640 x 480 undistortion
  // maps from them and the current intrinsics with 4 * iterationUnits
  // fixed-point passes (0: plain pinhole back-projection; 3 to 5 suit usual
  // lenses). A non-zero halfCornerMargin halves the corner cut of
  // BuildPointCloud. Returns -3 (and changes nothing) if coefficients is null
  // or no successful SetIntrinsics with non-zero focal lengths came first; -2
  // if the maps cannot be allocated (the maps then stay absent).
  virtual std::int32_t SetDistortion(const DistortionCoefficients* coefficients,
                                     std::uint8_t halfCornerMargin,
                                     std::uint8_t iterationUnits) = 0;

  // Back-projects depth into points with the maps of SetDistortion.
  // points: width * height records, written by the call. A pixel with depth 0
  //   leaves its record untouched. A pixel in the 2-pixel frame or in one of
  //   the four corner triangles gets x = y = z = 0 and colour bytes 0..2 = 0.
  //   Every other pixel gets (z * mapX, z * mapY, z) in depth units.
  // colours: width * height * 3 bytes, copied to each record in buffer order.
  // depth: width * height pixels.
  // The size must be 640 x 480 or 320 x 240 (the sizes SetIntrinsics
  // accepts). Returns -3 on a null pointer, another size, or before the first
  // successful SetDistortion. Not safe concurrently with SetIntrinsics or
  // SetDistortion.
  virtual std::int32_t BuildPointCloud(RefinedPoint* points, const std::uint8_t* colours,
                                       const std::uint16_t* depth, std::int32_t height,
                                       std::int32_t width) = 0;

  // In place on width * height * 3 bytes (channel order irrelevant): every
  // byte v becomes v * gain + offset in single precision, rounded to nearest
  // with ties to even and clamped to 0..255. Returns -3 on a null pointer or
  // width or height below 1.
  virtual std::int32_t AdjustBrightness(std::uint8_t* rgb, std::int32_t width,
                                        std::int32_t height, std::int32_t offset,
                                        float gain) = 0;

  // Assigns the library version, "v1.0.0.4".
  virtual void GetVersion(std::string& out) = 0;

  // The single process-wide instance, created on the first call. Thread-safe;
  // always returns the same pointer. Never delete it.
  static ImageRefiner* CreateInstance();

  // The single instance once created, else null.
  static ImageRefiner* m_instance;

 protected:
  // Not virtual and not public: the instance is never deleted through this
  // interface.
  ~ImageRefiner() = default;
};

}  // namespace qzapi
