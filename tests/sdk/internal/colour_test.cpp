// Colour helpers: the depth colour table and colouring, YUYV packing checked
// against OpenCV's decoder, and YUYV mirroring.
#include <gtest/gtest.h>

#include <opencv2/imgproc.hpp>

#include "colormap.h"
#include "colour_render.h"

namespace {

using namespace pvx3::detail;

TEST(Colormap, PassesThroughItsAnchors)
{
    const auto& t = colormap_table();
    struct anchor {
        int index;
        int r, g, b;
    };
    for (const anchor a : {anchor{0, 128, 0, 0}, anchor{44, 255, 0, 0}, anchor{120, 255, 207, 0},
                           anchor{140, 248, 255, 7}, anchor{200, 80, 255, 175}, anchor{240, 0, 223, 255},
                           anchor{320, 0, 0, 255}, anchor{359, 0, 0, 143}}) {
        EXPECT_EQ(t[3 * a.index], a.r) << a.index;
        EXPECT_EQ(t[3 * a.index + 1], a.g) << a.index;
        EXPECT_EQ(t[3 * a.index + 2], a.b) << a.index;
    }
    // Half way between anchors 0 and 44: (128 + 255) / 2 rounded.
    EXPECT_EQ(t[3 * 22], 192);
}

TEST(Colormap, ColouringOverTheDistanceRange)
{
    const auto& t = colormap_table();
    //                       invalid saturated below near  far  beyond middle
    const uint16_t depth[] = {0, 1, 999, 1000, 5000, 5001, 3000};
    uint8_t rgb[3 * 7];
    colourise_depth(depth, 7, 1000, 5000, rgb);
    auto at = [&](int i) { return std::vector<int>{rgb[3 * i], rgb[3 * i + 1], rgb[3 * i + 2]}; };
    auto entry = [&](int i) { return std::vector<int>{t[3 * i], t[3 * i + 1], t[3 * i + 2]}; };
    EXPECT_EQ(at(0), (std::vector<int>{0, 0, 0}));
    EXPECT_EQ(at(1), (std::vector<int>{127, 0, 170}));
    EXPECT_EQ(at(2), (std::vector<int>{0, 0, 0}));
    EXPECT_EQ(at(3), entry(0));
    EXPECT_EQ(at(4), entry(359));
    EXPECT_EQ(at(5), (std::vector<int>{0, 0, 0}));
    EXPECT_EQ(at(6), entry(180));  // 2000 / 4000 * 359 = 179.5, rounded up
}

TEST(Yuyv, PairsDecodeBackWithOpenCv)
{
    // Flat pairs (no chroma loss) over a spread of colours.
    std::vector<uint8_t> bgr, yuyv;
    for (int b = 0; b < 256; b += 51)
        for (int g = 0; g < 256; g += 51)
            for (int r = 0; r < 256; r += 51)
                for (int k = 0; k < 2; ++k) {
                    bgr.push_back(uint8_t(b));
                    bgr.push_back(uint8_t(g));
                    bgr.push_back(uint8_t(r));
                }
    const int pixels = int(bgr.size() / 3);
    yuyv.resize(size_t(pixels) * 2);
    for (int p = 0; p < pixels; p += 2)
        bgr_pair_to_yuyv(&bgr[3 * p], &yuyv[2 * p]);
    cv::Mat packed(1, pixels, CV_8UC2, yuyv.data()), decoded;
    cv::cvtColor(packed, decoded, cv::COLOR_YUV2BGR_YUY2);
    int worst = 0;
    for (int i = 0; i < pixels * 3; ++i)
        worst = std::max(worst, std::abs(int(decoded.data[i]) - int(bgr[i])));
    EXPECT_LE(worst, 3) << "largest channel error";
}

TEST(Yuyv, MirroringSwapsLumasAndKeepsChroma)
{
    // 4 x 2 image: two pairs per row, rows A and B.
    const uint8_t src[] = {10, 20, 11, 30, 12, 40, 13, 50,    // row 0
                           60, 70, 61, 80, 62, 90, 63, 100};  // row 1
    uint8_t out[16];
    flip_yuyv(src, 4, 2, false, true, out);
    const uint8_t horizontal[] = {13, 40, 12, 50, 11, 20, 10, 30, 63, 90, 62, 100, 61, 70, 60, 80};
    EXPECT_TRUE(std::equal(out, out + 16, horizontal));
    flip_yuyv(src, 4, 2, true, false, out);
    EXPECT_TRUE(std::equal(out, out + 8, src + 8));
    EXPECT_TRUE(std::equal(out + 8, out + 16, src));
    uint8_t twice[16];
    flip_yuyv(src, 4, 2, true, true, out);
    flip_yuyv(out, 4, 2, true, true, twice);
    EXPECT_TRUE(std::equal(twice, twice + 16, src));
}

}  // namespace
