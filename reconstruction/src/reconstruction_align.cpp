// AlignDepthToColour: depth re-projected into the undistorted colour image.
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <memory>
#include <new>
#include <thread>

#include <opencv2/highgui.hpp>
#include <opencv2/imgproc.hpp>

#include "calibration_loader.h"
#include "colour_alignment.h"
#include "offset_file.h"
#include "reconstruction_impl.h"

namespace qzapi {
namespace {

bool DisplayAvailable() {
  const char* x11 = std::getenv("DISPLAY");
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  return (x11 && *x11) || (wayland && *wayland);
}

}  // namespace

void ReconstructionImpl::AlignDepthToColour(uint8_t** colourOut, uint16_t** depthInOut, const uint8_t* yuyv,
                                            int32_t colourWidth, int32_t colourHeight, int32_t* widthOut,
                                            int32_t* heightOut) {
  if (colourOut) *colourOut = nullptr;
  if (widthOut) *widthOut = 0;
  if (heightOut) *heightOut = 0;
  if (!colourOut || !depthInOut || !*depthInOut || !yuyv || !widthOut || !heightOut) return;
  // The colour maps cover 1920 x 1080; other frame sizes have no table.
  if (colourWidth != kColourGridWidth || colourHeight != kColourGridHeight) return;
  try {
    std::lock_guard<std::mutex> lock(LibraryMutex());
    const int32_t kb = TableBinning(kAlignDepthWidth, kAlignDepthHeight);
    if (!initialised || colourMapX.empty() || colourMapY.empty() || kb == 0) return;
    depthWidth = kAlignDepthWidth;
    depthHeight = kAlignDepthHeight;
    const uint16_t* depth = *depthInOut;
    const bool verbose = offsetFileFound;

    const std::size_t pixels = static_cast<std::size_t>(colourWidth) * colourHeight;
    // The outputs are allocated first: the fast path writes its results
    // straight into them.
    std::unique_ptr<uint8_t[]> colour(new (std::nothrow) uint8_t[pixels * 3]);
    std::unique_ptr<uint16_t[]> alignedOut(new (std::nothrow) uint16_t[pixels]);
    if (!colour || !alignedOut) return;
    const bool reference = useReferenceKernels;

    const bool window = verbose && diagnosticWindowAllowed && DisplayAvailable();
    const cv::Mat packed(colourHeight, colourWidth, CV_8UC2, const_cast<uint8_t*>(yuyv));
    cv::Mat undistorted(colourHeight, colourWidth, CV_8UC3, colour.get());
    cv::Mat aligned;
    // The colour image and the projected depth do not depend on each other:
    // the fast path converts the colour on a second thread meanwhile.
    std::atomic<bool> colourDone{false};
    std::thread colourThread;
    struct Joiner {
      std::thread& t;
      ~Joiner() {
        if (t.joinable()) t.join();
      }
    } joiner{colourThread};
    if (reference) {
      cv::Mat bgr;
      cv::cvtColor(packed, bgr, cv::COLOR_YUV2BGR_YUY2);
      cv::remap(bgr, undistorted, colourMapX, colourMapY, cv::INTER_NEAREST, cv::BORDER_CONSTANT, cv::Scalar());
      colourDone = true;
      aligned = cv::Mat(colourHeight, colourWidth, CV_16UC1, cv::Scalar(0));
    } else {
      // The float maps are converted once to remap's fixed-point form and
      // from that to a table of source offsets, instead of on every call;
      // the working images stay between frames.
      if (colourMapNearest.empty()) BuildNearestMap(colourMapX, colourMapY, colourMapNearest);
      if (colourSourceOffsets.size() != pixels)
        BuildSourceOffsets(colourMapNearest, cv::Size(colourWidth, colourHeight), colourSourceOffsets);
      if (alignBgrStorage.size() != pixels * 3 + 1) {
        alignBgrStorage.assign(pixels * 3 + 1, 0);
        alignBgr = cv::Mat(colourHeight, colourWidth, CV_8UC3, alignBgrStorage.data());
      }
      auto convert = [this, &packed, &undistorted, &colourDone, pixels] {
        try {
          cv::cvtColor(packed, alignBgr, cv::COLOR_YUV2BGR_YUY2);
          if (alignBgr.data == alignBgrStorage.data())
            RemapNearestBgr(alignBgr.data, colourSourceOffsets.data(), undistorted.data, pixels);
          else  // cvtColor reallocated it: no spare byte after the image
            cv::remap(alignBgr, undistorted, colourMapNearest, cv::noArray(), cv::INTER_NEAREST,
                      cv::BORDER_CONSTANT, cv::Scalar());
          colourDone = true;
        } catch (...) {
        }
      };
      // The diagnostic window samples the colour image while projecting.
      if (window)
        convert();
      else
        colourThread = std::thread(convert);
      alignDepth.create(colourHeight, colourWidth, CV_16UC1);
      alignDepth.setTo(0);
      aligned = alignDepth;
    }

    OffsetTuning tuning;
    if (verbose) tuning = ReadOffsetFile(OffsetFilePath(workingDirectory));

    const CalibrationBlock& b = activeCalibration;
    const cv::Matx33d r0 = AlignmentRotation(b, false);
    const cv::Vec3d t0 = AlignmentTranslation(b, false);
    cv::Vec3d tweak(0, 0, 0);
    if (ClampCount(b.otherOffset4Count, kMaxTableCount) > 2) tweak = {b.otherOffset4[0], b.otherOffset4[1], b.otherOffset4[2]};
    if (tuning.valid) tweak = {tuning.rotation[0], tuning.rotation[1], tuning.rotation[2]};
    const cv::Matx33d rotation = TweakRotation(r0, tweak);
    if (verbose) {
      std::cout << "SN: " << b.serialNumber << "\n"
                << "rotete: " << tweak[0] << "   y:" << tweak[1] << "  z: " << tweak[2] << std::endl;
    }

    ParallaxParameters parallax = ParallaxFromBlock(b);
    const CentreDistance centre = MeasureCentreDistance(depth, depthWidth, depthHeight, parallax.distanceSplit);
    if (tuning.valid) {
      parallax.distanceSplit = tuning.distanceSplit;
      parallax.addPixelGlobal = tuning.addPixelGlobal;
      parallax.distanceToPixel = tuning.distanceToPixel;
    }
    if (verbose) {
      std::cout << "count:" << centre.count << "   d_average:" << centre.value << "\n"
                << "distance_split : " << parallax.distanceSplit << "   add_pixel_global : " << parallax.addPixelGlobal
                << "   distance2pixel : " << parallax.distanceToPixel << std::endl;
    }
    const int32_t shift = HorizontalShift(centre.value, parallax);
    if (verbose) std::cout << "h_offset : " << shift << "   v_offset : " << 0 << std::endl;

    cv::Mat diagnostic;
    if (window) diagnostic = cv::Mat(kAlignDepthHeight, kAlignDepthWidth, CV_8UC3, cv::Scalar::all(0));
    ProjectionSetup setup{depth, depthWidth, depthHeight, rayMapX.data(), rayMapY.data(),
                          kb, rotation, t0, b.colourIntrinsics[0], b.colourIntrinsics[1],
                          b.colourIntrinsics[2], b.colourIntrinsics[3], shift};
    cv::Rect written;
    (reference ? ProjectDepthToColourReference : ProjectDepthToColour)(
        setup, aligned, window ? &undistorted : nullptr, window ? &diagnostic : nullptr, &written);
    if (window) {
      cv::Mat shown;
      cv::remap(diagnostic, shown, colourMapX2, colourMapY2, cv::INTER_LINEAR);
      cv::imshow("color_result", shown);
      cv::waitKey(1);
    }

    cv::Mat filtered(colourHeight, colourWidth, CV_16UC1, alignedOut.get());
    if (reference) {
      cv::medianBlur(aligned, aligned, 5);
      aligned.copyTo(filtered);
    } else {
      // Two row bands, on two threads where OpenCV has them.
      MedianBlur5Sparse(aligned, filtered, written, 2);
    }
    if (colourThread.joinable()) colourThread.join();
    if (!colourDone) return;
    delete[] * depthInOut;
    *depthInOut = alignedOut.release();
    *colourOut = colour.release();
    *widthOut = colourWidth;
    *heightOut = colourHeight;
  } catch (...) {
    // Outputs stay as set above: no image, size 0, depth untouched.
  }
}

}  // namespace qzapi
