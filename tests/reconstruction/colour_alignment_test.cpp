// Depth-to-colour alignment: parallax shift, offset.txt, projection, the operation.
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "colour_alignment.h"
#include "forward_model.h"
#include "offset_file.h"
#include "reconstruction_impl.h"

namespace {

using qzapi::CalibrationBlock;
using qzapi::ReconstructionImpl;

TEST(ParallaxShift, NearAndFarExamples) {
  struct Row {
    uint16_t centre;
    int32_t shift;
    double addPixelGlobal;
  };
  for (const Row& r : {Row{500, -51, -14.0}, Row{2500, 10, 10.0}, Row{2000, 10, 10.0}, Row{1000, -15, 10.0},
                       Row{10, -39, 10.0}, Row{0, -40, 10.0}}) {
    qzapi::ParallaxParameters p;
    EXPECT_EQ(qzapi::HorizontalShift(r.centre, p), r.shift) << r.centre;
    EXPECT_NEAR(p.addPixelGlobal, r.addPixelGlobal, 1e-9) << r.centre;
  }
  qzapi::ParallaxParameters hostile;
  hostile.distanceToPixel = 1e300;
  EXPECT_EQ(qzapi::HorizontalShift(500, hostile), -1000000);
}

TEST(ParallaxShift, BlockEntriesReplaceDefaults) {
  CalibrationBlock b;
  b.otherOffset4Count = 6;
  b.otherOffset4[3] = 1500.0f;
  b.otherOffset4[4] = 3.0f;
  b.otherOffset4[5] = 0.05f;
  const qzapi::ParallaxParameters p = qzapi::ParallaxFromBlock(b);
  EXPECT_DOUBLE_EQ(p.distanceSplit, 1500.0);
  EXPECT_DOUBLE_EQ(p.addPixelGlobal, 3.0);
  EXPECT_NEAR(p.distanceToPixel, 0.05, 1e-7);
  b.otherOffset4Count = 5;
  EXPECT_DOUBLE_EQ(qzapi::ParallaxFromBlock(b).distanceSplit, 2000.0);
}

TEST(CentreDistance, MeanOfValidCentrePixels) {
  std::vector<uint16_t> depth(9 * 7, 0);
  EXPECT_EQ(qzapi::MeasureCentreDistance(depth.data(), 9, 7, 2000.0).value, 2000);
  depth[3 * 9 + 4] = 900, depth[2 * 9 + 3] = 1000, depth[4 * 9 + 5] = 1101, depth[3 * 9 + 3] = 10;  // 10 is too small
  const qzapi::CentreDistance c = qzapi::MeasureCentreDistance(depth.data(), 9, 7, 2000.0);
  EXPECT_EQ(c.count, 3);
  EXPECT_EQ(c.value, 1000);
}

struct OffsetCase {
  std::string name;
  std::string text;
  bool valid;
  double distanceSplit;
};

class OffsetFileParsing : public ::testing::TestWithParam<OffsetCase> {};

TEST_P(OffsetFileParsing, LastOffsetLineWinsWhenSeventhValueIsOne) {
  const OffsetCase& c = GetParam();
  std::istringstream in(c.text);
  const qzapi::OffsetTuning t = qzapi::TuningFromValues(qzapi::ParseOffsetValues(in));
  EXPECT_EQ(t.valid, c.valid);
  if (c.valid) {
    EXPECT_DOUBLE_EQ(t.distanceSplit, c.distanceSplit);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Files, OffsetFileParsing,
    ::testing::Values(
        OffsetCase{"Valid", "offset = {0.01,0.02,0.03,1800,5,0.03,1}\n", true, 1800},
        OffsetCase{"SixValuesIgnored", "offset = {0.01,0.02,0.03,1800,5,0.03}\n", false, 0},
        OffsetCase{"SeventhNotOne", "offset = {0,0,0,1800,5,0.03,2}\n", false, 0},
        OffsetCase{"LastLineWins", "offset = {0,0,0,1800,5,0.03,1}\nnote\noffset = {0,0,0,1200,5,0.03,1}\n", true, 1200},
        OffsetCase{"LinesWithoutTheWordIgnored", "x = {0,0,0,1,5,0.03,1}\n", false, 0},
        OffsetCase{"LastBracesOfTheLine", "offset {1} = {0,0,0,900,5,0.03,1}\n", true, 900},
        OffsetCase{"MalformedPiecesAreZero", "offset = {a,b,c,d,e,f,1}\n", true, 0},
        OffsetCase{"ReversedBracesNoCrash", "offset } 1,2,3 {\n", false, 0},
        OffsetCase{"NoBracesNoCrash", "offset 1,2,3,4,5,6,1\n", false, 0},
        OffsetCase{"EmptyFile", "", false, 0}),
    [](const ::testing::TestParamInfo<OffsetCase>& info) { return info.param.name; });

TEST(OffsetFile, PathUsesThisPlatformsSeparator) {
  EXPECT_EQ(qzapi::OffsetFilePath("/tmp/work"), "/tmp/work/offset.txt");
  EXPECT_FALSE(qzapi::ReadOffsetFile("/nonexistent/offset.txt").valid);
}

TEST(ProjectDepthToColour, LaterPixelWinsAndSplatNeverOverwritesDepth) {
  const uint16_t depth[3] = {1000, 2000, 9};  // the 9 mm pixel is never projected
  const float rays[3] = {0.0f, 0.0f, 0.01f};
  cv::Mat aligned(20, 20, CV_16UC1, cv::Scalar(0));
  qzapi::ProjectionSetup s{depth, 3, 1, rays, rays, 1, cv::Matx33d::eye(), cv::Vec3d(0, 0, 0), 100, 100, 10, 10, 0};
  qzapi::ProjectDepthToColour(s, aligned, nullptr, nullptr);
  EXPECT_EQ(aligned.at<uint16_t>(10, 10), 2000);
  EXPECT_EQ(aligned.at<uint16_t>(10, 9), 1000) << "splat of the first pixel kept";
  EXPECT_EQ(aligned.at<uint16_t>(8, 8), 1000);
  EXPECT_EQ(aligned.at<uint16_t>(11, 11), 1000);
  EXPECT_EQ(aligned.at<uint16_t>(12, 12), 0) << "no splat at (+2, +2)";
  EXPECT_EQ(aligned.at<uint16_t>(10, 11), 1000);
  EXPECT_EQ(cv::countNonZero(aligned), 12);
}

// A type-4 block whose colour camera sits 40 mm to the side of the depth camera.
CalibrationBlock ColourBlock() {
  CalibrationBlock b = qzr_test::PlainBlock(500.0f, 500.0f, 320.0f, 240.0f);
  b.colourIntrinsics[0] = 1000.0f;
  b.colourIntrinsics[1] = 1000.0f;
  b.colourIntrinsics[2] = 960.0f;
  b.colourIntrinsics[3] = 540.0f;
  b.colourWidth = 1920;
  b.colourHeight = 1080;
  b.serialNumber = "QZ-77";
  const float identity[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
  std::copy(identity, identity + 9, b.otherOffset2);
  b.otherOffset3[0] = -40.0f;
  return b;
}

std::vector<uint8_t> GreyYuyv(uint8_t luma) {
  std::vector<uint8_t> yuyv(static_cast<std::size_t>(1920) * 1080 * 2);
  for (std::size_t k = 0; k < yuyv.size(); k += 2) yuyv[k] = luma, yuyv[k + 1] = 128;
  return yuyv;
}

TEST(AlignDepthToColour, PlaneLandsWhereThePinholeModelPutsIt) {
  CalibrationBlock block = ColourBlock();
  ReconstructionImpl impl;
  impl.diagnosticWindowAllowed = false;
  ASSERT_EQ(impl.InitWithSize(4, 0, &block, 640, 480), 0);
  auto* depth = new uint16_t[640 * 480];
  std::fill(depth, depth + 640 * 480, 1000);
  std::vector<uint8_t> yuyv = GreyYuyv(120);
  uint8_t* colour = nullptr;
  int32_t w = 0, h = 0;
  testing::internal::CaptureStdout();
  impl.AlignDepthToColour(&colour, &depth, yuyv.data(), 1920, 1080, &w, &h);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "") << "quiet without offset.txt";
  ASSERT_NE(colour, nullptr);
  EXPECT_EQ(w, 1920);
  EXPECT_EQ(h, 1080);
  // Centre 1000 mm: shift (1000 - 2000) * 0.025 + 10 = -15. Depth pixel
  // (240, 320) is on the axis: P = (-40, 0, 1000), column 920 - 15 = 905.
  EXPECT_EQ(depth[540 * 1920 + 905], 1000);
  // Depth column 0: x = -320 / 500 * 1000 = -640, column (-680 / 1000) * 1000 + 960 - 15 = 265.
  EXPECT_EQ(depth[540 * 1920 + 266], 1000);
  EXPECT_EQ(depth[540 * 1920 + 262], 0);
  EXPECT_EQ(depth[540 * 1920 + 1900], 0) << "right of the projected depth image";
  // Grey in, grey out (B = G = R) where the colour undistortion samples the frame.
  const uint8_t* px = colour + (static_cast<std::size_t>(540) * 1920 + 960) * 3;
  EXPECT_EQ(px[0], px[1]);
  EXPECT_EQ(px[1], px[2]);
  EXPECT_GT(px[0], 90);
  delete[] colour;
  delete[] depth;
}

TEST(AlignDepthToColour, WithoutColourTablesNothingIsHandedOut) {
  struct Case {
    std::string name;
    int32_t deviceType;
    bool colourIntrinsics;
    int32_t colourWidth;
  };
  for (const Case& c : {Case{"uninitialised", -1, false, 1920}, Case{"type1", 1, true, 1920},
                        Case{"type4NoColourIntrinsics", 4, false, 1920}, Case{"wrongColourSize", 4, true, 1280}}) {
    ReconstructionImpl impl;
    impl.diagnosticWindowAllowed = false;
    CalibrationBlock block = c.colourIntrinsics ? ColourBlock() : qzr_test::PlainBlock(500, 500, 320, 240);
    if (c.deviceType >= 0) {
      ASSERT_EQ(impl.InitWithSize(c.deviceType, 0, &block, 640, 480), 0);
    }
    auto* depth = new uint16_t[640 * 480]();
    uint16_t* const original = depth;
    std::vector<uint8_t> yuyv = GreyYuyv(100);
    uint8_t* colour = reinterpret_cast<uint8_t*>(0x1);
    int32_t w = -1, h = -1;
    impl.AlignDepthToColour(&colour, &depth, yuyv.data(), c.colourWidth, 1080, &w, &h);
    EXPECT_EQ(colour, nullptr) << c.name;
    EXPECT_EQ(depth, original) << c.name << ": the caller keeps its buffer";
    EXPECT_EQ(w, 0) << c.name;
    EXPECT_EQ(h, 0) << c.name;
    delete[] depth;
  }
}

class OffsetFileInWorkingFolder : public ::testing::Test {
 protected:
  void SetUp() override {
    previous_ = std::filesystem::current_path();
    folder_ = std::filesystem::temp_directory_path() / ("qzr_offset_" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder_);
    std::ofstream(folder_ / "offset.txt") << "# tuning\noffset = {0,0,0,1500,4,0.02,1}\n";
    std::filesystem::current_path(folder_);
  }
  void TearDown() override {
    std::filesystem::current_path(previous_);
    std::filesystem::remove_all(folder_);
    qzapi::ReconstructionImpl::offsetFileFound = false;
  }
  std::filesystem::path previous_, folder_;
};

TEST_F(OffsetFileInWorkingFolder, InitAnnouncesItAndAlignmentUsesIt) {
  CalibrationBlock block = ColourBlock();
  ReconstructionImpl impl;
  impl.diagnosticWindowAllowed = false;
  testing::internal::CaptureStdout();
  ASSERT_EQ(impl.InitWithSize(4, 0, &block, 640, 480), 0);
  const std::string announced = testing::internal::GetCapturedStdout();
  EXPECT_EQ(announced, "offset path: " + (folder_ / "offset.txt").string() + "\n");
  EXPECT_TRUE(ReconstructionImpl::offsetFileFound);

  auto* depth = new uint16_t[640 * 480];
  std::fill(depth, depth + 640 * 480, 1000);
  std::vector<uint8_t> yuyv = GreyYuyv(120);
  uint8_t* colour = nullptr;
  int32_t w = 0, h = 0;
  testing::internal::CaptureStdout();
  impl.AlignDepthToColour(&colour, &depth, yuyv.data(), 1920, 1080, &w, &h);
  const std::string lines = testing::internal::GetCapturedStdout();
  EXPECT_NE(lines.find("SN: QZ-77\n"), std::string::npos) << lines;
  EXPECT_NE(lines.find("rotete: 0   y:0  z: 0\n"), std::string::npos) << lines;
  EXPECT_NE(lines.find("count:9   d_average:1000\n"), std::string::npos) << lines;
  EXPECT_NE(lines.find("distance_split : 1500   add_pixel_global : 4   distance2pixel : 0.02\n"), std::string::npos)
      << lines;
  // (1000 - 1500) * 0.02 + 4 = -6
  EXPECT_NE(lines.find("h_offset : -6   v_offset : 0\n"), std::string::npos) << lines;
  EXPECT_EQ(depth[540 * 1920 + 914], 1000);
  delete[] colour;
  delete[] depth;
}

}  // namespace
