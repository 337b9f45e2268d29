// The noise-aware filter on hand-made depth images with known noise, and its
// fast versions against the reference.
#include <algorithm>
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "noise_filter.h"

namespace {

struct Picture {
  int32_t width, height;
  std::vector<float> depth, variance, alternate;
  Picture(int32_t w, int32_t h, float z, float v)
      : width(w), height(h), depth(static_cast<std::size_t>(w) * h, z), variance(depth.size(), v),
        alternate(depth.size(), 0.0f) {}
  std::size_t At(int32_t r, int32_t c) const { return static_cast<std::size_t>(r) * width + c; }
};

enum class Path { Reference,
                  Scalar,
                  Vectorised };

std::vector<uint16_t> Filter(Picture p, Path path = Path::Reference) {
  const std::size_t n = p.depth.size();
  std::vector<float> confirmed(n), start(n);
  std::vector<uint16_t> out(n, 12345);
  const qzapi::NoisyDepth in{p.depth.data(), p.variance.data(), p.alternate.data()};
  const qzapi::NoiseFilterScratch scratch{confirmed.data(), start.data()};
  if (path == Path::Reference) {
    qzapi::NoiseFilterReference(in, p.width, p.height, scratch, out.data());
    return out;
  }
  // In bands, the way the pipeline drives it.
  const bool simd = path == Path::Vectorised;
  for (int32_t r = 0; r < p.height; r += 5) {
    qzapi::NoiseConfirmRows(in, p.width, p.height, scratch, r, std::min(p.height, r + 5), simd);
  }
  for (int32_t r = 0; r < p.height; r += 3) {
    qzapi::NoiseSmoothRows(in, p.width, p.height, scratch, out.data(), r, std::min(p.height, r + 3), simd);
  }
  return out;
}

double Noise(std::mt19937& rng, double sigma) { return std::normal_distribution<double>(0.0, sigma)(rng); }

TEST(NoiseFilter, StepEdgeStaysAStep) {
  for (const double sigma : {0.0, 10.0}) {
    SCOPED_TRACE(sigma);
    Picture p(40, 20, 0.0f, static_cast<float>(std::max(sigma * sigma, 4.0)));
    std::mt19937 rng(3);
    for (int32_t r = 0; r < p.height; ++r)
      for (int32_t c = 0; c < p.width; ++c) p.depth[p.At(r, c)] = static_cast<float>((c < 20 ? 1000.0 : 1400.0) + Noise(rng, sigma));
    const std::vector<uint16_t> out = Filter(p);
    std::vector<double> columnSum(p.width, 0.0);
    for (int32_t r = 0; r < p.height; ++r) {
      for (int32_t c = 0; c < p.width; ++c) {
        const int level = c < 20 ? 1000 : 1400;
        const uint16_t d = out[p.At(r, c)];
        if (sigma == 0.0) {
          EXPECT_EQ(d, level) << r << ", " << c;
        } else {
          EXPECT_NEAR(d, level, 25) << r << ", " << c << ": no pixel between the two levels";
        }
        columnSum[c] += d - level;
      }
    }
    // The columns either side of the edge are averaged along it, not across.
    EXPECT_NEAR(columnSum[19] / p.height, 0.0, 2.5);
    EXPECT_NEAR(columnSum[20] / p.height, 0.0, 2.5);
  }
}

// A plane in perspective (its reciprocal depth linear across the image)
// with two fifths of its pixels invalid: every valid pixel keeps the plane's
// depth, none is pulled towards 0 or to one side.
TEST(NoiseFilter, InvalidNeighboursDoNotPullAValue) {
  Picture p(48, 32, 0.0f, 4.0f);
  std::mt19937 rng(11);
  std::bernoulli_distribution invalid(0.4);
  auto plane = [](int32_t r, int32_t c) { return 1.0 / (1.0 / 1000.0 - 6e-6 * c + 2e-6 * r); };
  for (int32_t r = 0; r < p.height; ++r)
    for (int32_t c = 0; c < p.width; ++c) p.depth[p.At(r, c)] = invalid(rng) ? 0.0f : static_cast<float>(plane(r, c));
  const std::vector<uint16_t> out = Filter(p);
  long valid = 0, kept = 0;
  for (int32_t r = 0; r < p.height; ++r) {
    for (int32_t c = 0; c < p.width; ++c) {
      const std::size_t at = p.At(r, c);
      if (p.depth[at] == 0.0f) {
        EXPECT_EQ(out[at], 0) << "an invalid pixel stays invalid";
        continue;
      }
      ++valid;
      if (out[at] == 0) continue;  // nothing near to confirm it
      ++kept;
      EXPECT_NEAR(out[at], plane(r, c), 0.55) << r << ", " << c;
    }
  }
  EXPECT_GT(kept, valid * 97 / 100);
}

// A noisy plane: the spread shrinks by the square root of the window's
// effective number of pixels (the spatial weights of the noisiest pixels,
// q^(dr^2 + dc^2) with q = exp(-1/8)), less a little for the range term.
TEST(NoiseFilter, NoisyPlaneSpreadShrinksByTheExpectedFactor) {
  const double sigma = 30.0;
  Picture p(160, 100, 0.0f, static_cast<float>(sigma * sigma));
  std::mt19937 rng(5);
  for (float& z : p.depth) z = static_cast<float>(2000.0 + Noise(rng, sigma));
  double sum = 1.0, sumSquares = 1.0;
  for (int dr = -2; dr <= 2; ++dr) {
    for (int dc = -2; dc <= 2; ++dc) {
      if (dr == 0 && dc == 0) continue;
      const double w = std::exp(-(dr * dr + dc * dc) / 8.0);
      sum += w;
      sumSquares += w * w;
    }
  }
  const double expectedFactor = sum / std::sqrt(sumSquares);  // about 4.8
  for (const Path path : {Path::Reference, Path::Vectorised}) {
    const std::vector<uint16_t> out = Filter(p, path);
    double mean = 0.0, square = 0.0;
    long n = 0;
    for (int32_t r = 2; r < p.height - 2; ++r) {
      for (int32_t c = 2; c < p.width - 2; ++c) {
        const double e = out[p.At(r, c)] - 2000.0;
        mean += e, square += e * e, ++n;
      }
    }
    mean /= n;
    const double factor = sigma / std::sqrt(square / n - mean * mean);
    EXPECT_NEAR(mean, 0.0, 0.25);
    EXPECT_GT(factor, 0.9 * expectedFactor);
    EXPECT_LT(factor, 1.02 * expectedFactor);
  }
}

TEST(NoiseFilter, RunnerUpSettlesAWrongLapAndLoneOutliersGo) {
  Picture p(11, 9, 3000.0f, 25.0f);
  p.depth[p.At(4, 5)] = 3000.0f - 1650.0f;  // wrong lap pair, the runner-up is right
  p.alternate[p.At(4, 5)] = 3001.0f;
  p.depth[p.At(2, 2)] = 3000.0f + 1650.0f;  // wrong lap pair, nothing else agreed
  const std::vector<uint16_t> out = Filter(p);
  EXPECT_NEAR(out[p.At(4, 5)], 3000, 1);
  EXPECT_EQ(out[p.At(2, 2)], 0);
  EXPECT_EQ(out[p.At(2, 3)], 3000) << "and it pulls no neighbour";
  // A lone pixel among invalid ones: nothing confirms it.
  Picture lone(7, 7, 0.0f, 25.0f);
  lone.depth[lone.At(3, 3)] = 2000.0f;
  EXPECT_EQ(Filter(lone)[lone.At(3, 3)], 0);
}

TEST(NoiseFilter, NoiseDecidesValidityAndCodesStay) {
  // Left: a quiet surface with one noisy pixel; right: a surface too noisy
  // for the window to bring below the validity limit.
  Picture p(40, 20, 2500.0f, 9.0f);
  for (int32_t r = 0; r < p.height; ++r)
    for (int32_t c = 20; c < p.width; ++c) p.variance[p.At(r, c)] = 300.0f * 300.0f;
  p.variance[p.At(10, 8)] = 100.0f * 100.0f;
  p.depth[p.At(10, 8)] = 2560.0f;  // 0.6 sigma off
  p.depth[p.At(3, 3)] = -1.0f;     // saturated
  p.depth[p.At(5, 5)] = 0.0f;      // invalid
  const std::vector<uint16_t> out = Filter(p);
  EXPECT_NEAR(out[p.At(10, 8)], 2500, 2) << "a noisy pixel among quiet ones takes their depth";
  EXPECT_EQ(out[p.At(3, 3)], 1);
  EXPECT_EQ(out[p.At(5, 5)], 0);
  for (int32_t r = 0; r < p.height; ++r) {
    EXPECT_EQ(out[p.At(r, 10)], 2500);
    EXPECT_EQ(out[p.At(r, 30)], 0);
  }
}

// The fast versions against the reference on seeded random images of many
// sizes: steps, slopes, invalid and saturated pixels, runner-ups, noise from
// 1 to 400 mm. The arithmetic is the same in the same order, so the images
// agree exactly.
struct SizeCase {
  int32_t width, height;
};

class NoiseFilterEquivalence : public ::testing::TestWithParam<SizeCase> {};

TEST_P(NoiseFilterEquivalence, FastVersionsGiveTheReferenceImage) {
  const SizeCase s = GetParam();
  Picture p(s.width, s.height, 0.0f, 0.0f);
  std::mt19937 rng(static_cast<unsigned>(s.width * 131 + s.height));
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  for (int32_t r = 0; r < p.height; ++r) {
    for (int32_t c = 0; c < p.width; ++c) {
      const std::size_t at = p.At(r, c);
      const double sigma = std::exp(unit(rng) * std::log(400.0));
      const double surface = c < p.width / 3 ? 900.0 + 3.0 * r : 2500.0 + 40.0 * c;
      const double roll = unit(rng);
      p.variance[at] = static_cast<float>(sigma * sigma);
      p.depth[at] = roll < 0.1 ? 0.0f : roll < 0.12 ? -1.0f
                                                    : static_cast<float>(surface + Noise(rng, sigma));
      if (roll > 0.95) p.alternate[at] = static_cast<float>(surface + 1500.0 * unit(rng));
    }
  }
  const std::vector<uint16_t> expected = Filter(p, Path::Reference);
  for (const Path path : {Path::Scalar, Path::Vectorised}) {
    const std::vector<uint16_t> got = Filter(p, path);
    int mismatches = 0, first = -1;
    for (std::size_t k = 0; k < got.size(); ++k) {
      if (got[k] != expected[k] && mismatches++ == 0) first = static_cast<int>(k);
    }
    EXPECT_EQ(mismatches, 0) << (path == Path::Scalar ? "scalar" : "vectorised") << " first at " << first << ": "
                             << (first >= 0 ? got[first] : 0) << " vs " << (first >= 0 ? expected[first] : 0);
  }
}

INSTANTIATE_TEST_SUITE_P(Sizes, NoiseFilterEquivalence,
                         ::testing::Values(SizeCase{1, 1}, SizeCase{2, 2}, SizeCase{3, 5}, SizeCase{13, 7},
                                           SizeCase{21, 6}, SizeCase{64, 48}, SizeCase{641, 37}),
                         [](const ::testing::TestParamInfo<SizeCase>& info) {
                           return std::to_string(info.param.width) + "x" + std::to_string(info.param.height);
                         });

}  // namespace
