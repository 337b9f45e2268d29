// The exported singleton, the view camera and the version.
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "qzapi/image_refiner.h"

namespace {

TEST(CreateInstance, SamePointerFromConcurrentFirstCalls) {
  std::vector<qzapi::ImageRefiner*> seen(8, nullptr);
  std::vector<std::thread> threads;
  for (auto& slot : seen) {
    threads.emplace_back([&slot] { slot = qzapi::ImageRefiner::CreateInstance(); });
  }
  for (auto& t : threads) {
    t.join();
  }
  ASSERT_NE(seen.front(), nullptr);
  for (auto* p : seen) {
    EXPECT_EQ(p, seen.front());
  }
  EXPECT_EQ(qzapi::ImageRefiner::CreateInstance(), seen.front());
  EXPECT_EQ(qzapi::ImageRefiner::m_instance, seen.front());
}

TEST(GetViewCamera, BehindSensorLookingAlongZWithRowsDown) {
  double position[3] = {9, 9, 9};
  double focalPoint[3] = {9, 9, 9};
  double viewUp[3] = {9, 9, 9};
  auto* refiner = qzapi::ImageRefiner::CreateInstance();
  ASSERT_EQ(refiner->GetViewCamera(position, focalPoint, viewUp, 10000), 0);
  EXPECT_EQ(position[0], 0.0);
  EXPECT_EQ(position[1], 0.0);
  EXPECT_EQ(position[2], -10000.0);
  EXPECT_EQ(focalPoint[0], 0.0);
  EXPECT_EQ(focalPoint[1], 0.0);
  EXPECT_EQ(focalPoint[2], 1.0);
  EXPECT_EQ(viewUp[0], 0.0);
  EXPECT_EQ(viewUp[1], -1.0);
  EXPECT_EQ(viewUp[2], 0.0);
  ASSERT_EQ(refiner->GetViewCamera(position, focalPoint, viewUp, -2147483647 - 1), 0);
  EXPECT_EQ(position[2], 2147483648.0);
}

TEST(GetViewCamera, RefusesNullPointers) {
  double a[3] = {5, 5, 5};
  double b[3] = {5, 5, 5};
  auto* refiner = qzapi::ImageRefiner::CreateInstance();
  EXPECT_EQ(refiner->GetViewCamera(nullptr, a, b, 10000), -3);
  EXPECT_EQ(refiner->GetViewCamera(a, nullptr, b, 10000), -3);
  EXPECT_EQ(refiner->GetViewCamera(a, b, nullptr, 10000), -3);
  EXPECT_EQ(a[2], 5.0);
  EXPECT_EQ(b[1], 5.0);
}

TEST(GetVersion, ReportsLibraryVersion) {
  std::string version = "old";
  qzapi::ImageRefiner::CreateInstance()->GetVersion(version);
  EXPECT_EQ(version, "v1.0.0.4");
}

TEST(RecordLayout, MatchesExportedContract) {
  EXPECT_EQ(sizeof(qzapi::RefinedPoint), 16U);
  EXPECT_EQ(offsetof(qzapi::RefinedPoint, colour), 12U);
  EXPECT_EQ(offsetof(qzapi::DistortionCoefficients, k3), 16U);
}

}  // namespace
