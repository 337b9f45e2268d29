// RefineDepth and RefineDepthWithIr on small synthetic images: size, channel
// order, the texture's influence and argument checks.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "image_refine_impl.h"

namespace {

constexpr int kWidth = 8;
constexpr int kHeight = 6;
constexpr int kNear = 1000;
constexpr int kFar = 2021;  // f = d - 1000

int Blend(int colour, double texture) {
  return static_cast<int>(
      std::clamp(std::round(0.8 * colour + 0.2 * texture - 80.0), 0.0, 255.0));
}

// Depth growing by 4 mm per column, inside the ramp's blue-to-cyan band
// (B = 255, G = f - 128, R = 0), so both the depth and its colours rise
// strictly to the right and are constant down each column.
std::vector<std::uint16_t> ColumnRamp() {
  std::vector<std::uint16_t> depth(kWidth * kHeight);
  for (int r = 0; r < kHeight; ++r) {
    for (int c = 0; c < kWidth; ++c) {
      depth[r * kWidth + c] = static_cast<std::uint16_t>(1129 + 4 * c);
    }
  }
  return depth;
}

std::vector<std::uint8_t> Output(std::size_t guard = 0) {
  return std::vector<std::uint8_t>(kWidth * kHeight * 3 + guard, 77);
}

TEST(RefineDepth, FlatDepthAddsUniformTexture) {
  const std::vector<std::uint16_t> depth(kWidth * kHeight, 1200);  // f = 200: B 255, G 72
  auto rgb = Output();
  qzapi::ImageRefineImpl refiner;
  ASSERT_EQ(refiner.RefineDepth(rgb.data(), depth.data(), kWidth, kHeight, kNear, kFar), 0);
  for (int i = 0; i < kWidth * kHeight; ++i) {
    ASSERT_EQ(rgb[3 * i + 0], Blend(0, 255)) << i;
    ASSERT_EQ(rgb[3 * i + 1], Blend(72, 255)) << i;
    ASSERT_EQ(rgb[3 * i + 2], Blend(255, 255)) << i;
  }
}

// Left-to-right rise: neighbours above, below and to the right are >= the
// centre, those to the left are not: 2 + 4 + 16 + 64 + 128 = 214, in both
// the depth's pattern and the (sharpened) colours' pattern.
TEST(RefineDepth, RampDepthCarriesItsPatternIntoTheColours) {
  const auto depth = ColumnRamp();
  auto rgb = Output();
  qzapi::ImageRefineImpl refiner;
  ASSERT_EQ(refiner.RefineDepth(rgb.data(), depth.data(), kWidth, kHeight, kNear, kFar), 0);
  for (int r = 0; r < kHeight; ++r) {
    for (int c = 1; c + 1 < kWidth; ++c) {
      const int i = r * kWidth + c;
      const int green = depth[i] - 1000 - 128;
      ASSERT_EQ(rgb[3 * i + 0], Blend(0, 214)) << r << "," << c;
      ASSERT_EQ(rgb[3 * i + 1], Blend(green, 214)) << r << "," << c;
      ASSERT_EQ(rgb[3 * i + 2], Blend(255, 214)) << r << "," << c;
    }
  }
  // Column 0 mirrors column 1 onto its left side: all bits set, no texture.
  EXPECT_EQ(rgb[1], Blend(1, 255));
}

TEST(RefineDepth, WritesExactlyTheImage) {
  const auto depth = ColumnRamp();
  auto rgb = Output(16);
  qzapi::ImageRefineImpl refiner;
  ASSERT_EQ(refiner.RefineDepth(rgb.data(), depth.data(), kWidth, kHeight, kNear, kFar), 0);
  EXPECT_TRUE(std::all_of(rgb.end() - 16, rgb.end(), [](std::uint8_t v) { return v == 77; }));
}

TEST(RefineDepth, ConcurrentCallsAgree) {
  const auto depth = ColumnRamp();
  qzapi::ImageRefineImpl refiner;
  auto expected = Output();
  ASSERT_EQ(refiner.RefineDepth(expected.data(), depth.data(), kWidth, kHeight, kNear, kFar), 0);
  std::vector<std::vector<std::uint8_t>> results(4, Output());
  std::vector<std::thread> threads;
  for (auto& out : results) {
    threads.emplace_back([&refiner, &depth, &out] {
      for (int k = 0; k < 20; ++k) {
        refiner.RefineDepth(out.data(), depth.data(), kWidth, kHeight, kNear, kFar);
      }
    });
  }
  for (auto& t : threads) {
    t.join();
  }
  for (const auto& out : results) {
    EXPECT_EQ(out, expected);
  }
}

// With no infrared signal the texture is flat (255), brightened to
// 255 * 0.5 + 80 = 207.5, which rounds to the even 208.
TEST(RefineDepthWithIr, DarkInfraredGivesFlatTextureInRgbOrder) {
  const auto depth = ColumnRamp();
  const std::vector<std::uint16_t> ir(kWidth * kHeight, 0);
  auto rgb = Output(16);
  qzapi::ImageRefineImpl refiner;
  ASSERT_EQ(refiner.RefineDepthWithIr(rgb.data(), ir.data(), depth.data(), kWidth, kHeight,
                                      kNear, kFar),
            0);
  for (int i = 0; i < kWidth * kHeight; ++i) {
    const int green = depth[i] - 1000 - 128;
    ASSERT_EQ(rgb[3 * i + 0], Blend(0, 208)) << i;
    ASSERT_EQ(rgb[3 * i + 1], Blend(green, 208)) << i;
    ASSERT_EQ(rgb[3 * i + 2], Blend(255, 208)) << i;
  }
  EXPECT_TRUE(std::all_of(rgb.end() - 16, rgb.end(), [](std::uint8_t v) { return v == 77; }));
}

// An infrared edge textures the pixels beside it; far from it (and in the
// frame the block filter clears) the infrared is flat and adds no texture.
TEST(RefineDepthWithIr, InfraredEdgeTexturesOnlyItsSurroundings) {
  constexpr int kW = 16;
  constexpr int kH = 12;
  const std::vector<std::uint16_t> depth(kW * kH, 1200);
  std::vector<std::uint16_t> ir(kW * kH, 1000);
  for (int r = 0; r < kH; ++r) {
    for (int c = kW / 2; c < kW; ++c) {
      ir[r * kW + c] = 3000;
    }
  }
  const std::vector<std::uint16_t> dark(kW * kH, 0);
  std::vector<std::uint8_t> withEdge(kW * kH * 3);
  std::vector<std::uint8_t> flat(kW * kH * 3);
  qzapi::ImageRefineImpl refiner;
  ASSERT_EQ(refiner.RefineDepthWithIr(withEdge.data(), ir.data(), depth.data(), kW, kH, kNear,
                                      kFar),
            0);
  ASSERT_EQ(refiner.RefineDepthWithIr(flat.data(), dark.data(), depth.data(), kW, kH, kNear,
                                      kFar),
            0);
  auto pixel = [kW](const std::vector<std::uint8_t>& img, int r, int c) {
    return std::vector<std::uint8_t>(img.begin() + 3 * (r * kW + c),
                                     img.begin() + 3 * (r * kW + c) + 3);
  };
  EXPECT_NE(pixel(withEdge, 6, kW / 2 - 1), pixel(flat, 6, kW / 2 - 1)) << "beside the edge";
  EXPECT_EQ(pixel(withEdge, 6, 2), pixel(flat, 6, 2)) << "far left of the edge";
}

struct BadRefine {
  const char* name;
  bool nullOut;
  bool nullIr;
  bool nullDepth;
  int width;
  int height;
  int farLimit;
};

const BadRefine kBadRefines[] = {
    {"NullOutput", true, false, false, kWidth, kHeight, kFar},
    {"NullInfrared", false, true, false, kWidth, kHeight, kFar},
    {"NullDepth", false, false, true, kWidth, kHeight, kFar},
    {"ZeroWidth", false, false, false, 0, kHeight, kFar},
    {"ZeroHeight", false, false, false, kWidth, 0, kFar},
    {"FarLimitZero", false, false, false, kWidth, kHeight, 0},
    {"FarLimitNegative", false, false, false, kWidth, kHeight, -5},
    {"ByteCountOverflows", false, false, false, 40000, 40000, kFar},
};

class RefineRefused : public testing::TestWithParam<BadRefine> {};

TEST_P(RefineRefused, ReturnsMinusThreeAndLeavesOutputUntouched) {
  const BadRefine& b = GetParam();
  const auto depth = ColumnRamp();
  const std::vector<std::uint16_t> ir(kWidth * kHeight, 500);
  auto rgb = Output();
  qzapi::ImageRefineImpl refiner;
  std::uint8_t* out = b.nullOut ? nullptr : rgb.data();
  const std::uint16_t* d = b.nullDepth ? nullptr : depth.data();
  if (!b.nullIr) {
    EXPECT_EQ(refiner.RefineDepth(out, d, b.width, b.height, kNear, b.farLimit), -3);
  }
  EXPECT_EQ(refiner.RefineDepthWithIr(out, b.nullIr ? nullptr : ir.data(), d, b.width, b.height,
                                      kNear, b.farLimit),
            -3);
  EXPECT_EQ(rgb, Output());
}

INSTANTIATE_TEST_SUITE_P(Arguments, RefineRefused, testing::ValuesIn(kBadRefines),
                         [](const testing::TestParamInfo<BadRefine>& info) {
                           return std::string(info.param.name);
                         });

}  // namespace
