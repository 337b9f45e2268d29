// The exported contract, through the shared library only.
#include <cstring>
#include <sstream>
#include <string>
#include <type_traits>
#include <vector>

#include <gtest/gtest.h>

#include "qzapi/reconstruction.h"

namespace {

qzapi::Reconstruction* Instance() { return qzapi::Reconstruction::CreateInstance(); }

TEST(ReconstructionApi, SingleInstance) {
  qzapi::Reconstruction* first = Instance();
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(Instance(), first);
  EXPECT_EQ(qzapi::Reconstruction::m_instance, first);
}

TEST(ReconstructionApi, VersionLimitsFiltersAndColourTable) {
  qzapi::Reconstruction* r = Instance();
  std::string version;
  r->GetVersion(version);
  EXPECT_EQ(version, "v0.1.6.4_202211071202");

  r->SetDistanceRange(100, 3000);
  int32_t nearValue = 0, farValue = 0;
  r->GetDistanceRange(&nearValue, &farValue);
  EXPECT_EQ(nearValue, 100);
  EXPECT_EQ(farValue, 3000);
  int32_t lo = -1, hi = -1;
  r->GetDistanceLimits(&lo, &hi);
  EXPECT_EQ(lo, 0);
  EXPECT_EQ(hi, 7500);
  r->SetDistanceRange(0, 7500);

  int32_t codes[3] = {};
  int32_t count = 0;
  uint8_t flag = 1;
  EXPECT_EQ(r->GetSupportedFilters(codes, &count, &flag), 8);
  EXPECT_EQ(count, 3);

  uint8_t* table = nullptr;
  r->GetColourTable(&table, &count);
  ASSERT_NE(table, nullptr);
  EXPECT_EQ(count, 360);
  EXPECT_EQ(table[3 * 359 + 2], 143);
  delete[] table;

  r->SetFilterEnabled(0x100);  // only the low byte counts
  uint8_t enabled = 9;
  r->GetFilterEnabled(&enabled);
  EXPECT_EQ(enabled, 0);
  r->SetFilterEnabled(qzapi::FilterModeNoiseAware);
  r->GetFilterEnabled(&enabled);
  EXPECT_EQ(enabled, 2);
  r->SetFilterEnabled(1);
}

TEST(ReconstructionApi, InitDefaultThenDepthFromAFlatFrameIsInvalid) {
  qzapi::Reconstruction* r = Instance();
  ASSERT_EQ(r->InitDefault(4, 0), 0);
  ASSERT_EQ(r->InitDefault(4, 0), 0) << "second initialisation rebuilds";
  std::vector<uint16_t> raw(static_cast<std::size_t>(16) * 640 * 480, 400);
  uint16_t* depth = nullptr;
  r->ComputeDepth(raw.data(), &depth, 640, 480);
  ASSERT_NE(depth, nullptr);
  EXPECT_EQ(depth[240 * 640 + 320], 0);
  std::vector<float> xyz(static_cast<std::size_t>(3) * 640 * 480);
  EXPECT_EQ(r->DepthToPoints(depth, xyz.data(), 640, 480), 0);
  delete[] depth;
}

TEST(ReconstructionApi, DumpOfAHostBlock) {
  qzapi::CalibrationBlock block;
  block.depthIntrinsics[0] = 556.5451f;
  block.depthIntrinsics[1] = 558.2062f;
  block.depthIntrinsics[2] = 315.4468f;
  block.depthIntrinsics[3] = 238.530472f;
  std::stringstream out;
  Instance()->DumpCalibration(out, block);
  EXPECT_EQ(out.str().substr(0, out.str().find('\n')),
            "cameraMatrix = { 556.545105,0,315.446808,0,558.206177,238.530472,0,0,1}");
}

// A host compiled against the header hands its std::stringstream through
// slot 22 and reads the text back from the same stream; a different parameter
// type in the library would make the slot receive something else.
TEST(ReconstructionApi, DumpCalibrationTakesTheHostsStringStream) {
  using Slot = void (qzapi::Reconstruction::*)(std::stringstream&, qzapi::CalibrationBlock);
  static_assert(std::is_same_v<decltype(&qzapi::Reconstruction::DumpCalibration), Slot>,
                "DumpCalibration must take std::stringstream&");
  const Slot slot = &qzapi::Reconstruction::DumpCalibration;
  qzapi::CalibrationBlock block;
  block.serialNumber = "SN-22";
  block.depthOffset = 7;
  std::stringstream io;
  io << "host: ";
  (Instance()->*slot)(io, block);
  std::vector<std::string> lines;
  for (std::string line; std::getline(io, line);) lines.push_back(line);
  ASSERT_EQ(lines.size(), 19u);
  EXPECT_EQ(lines[0].rfind("host: cameraMatrix = { 0.000000,0,", 0), 0u) << lines[0];
  EXPECT_EQ(lines[10], "serialNumber = { SN-22 }");
  EXPECT_EQ(lines[11], "depthOffset = { 7 }");
}

// The layout the host relies on, byte by byte.
TEST(ReconstructionApi, CalibrationBlockLayout) {
  qzapi::CalibrationBlock block;
  std::vector<float> f(1100);
  for (int k = 0; k < 1100; ++k) f[k] = static_cast<float>(k);
  std::memcpy(reinterpret_cast<char*>(&block) + 48, f.data(), 4400);
  EXPECT_EQ(block.distCoeffs[0], 0.0f);
  EXPECT_EQ(block.depthIntrinsics[0], 5.0f);
  EXPECT_EQ(block.globalOffset80, 24.0f);
  EXPECT_EQ(block.wigglingError80[0], 28.0f);
  EXPECT_EQ(block.wigglingError100[255], 540.0f);
  EXPECT_EQ(block.fitting80[0], 541.0f);
  EXPECT_EQ(block.otherOffset2[0], 574.0f);
  EXPECT_EQ(block.otherOffset5[255], 1099.0f);
  std::memset(reinterpret_cast<char*>(&block) + 48, 0, 4400);  // keep the string intact for its destructor
}

}  // namespace
