#include "frame_convert.h"

#include <opencv2/imgproc.hpp>
#include <tessivue/parallel_for.h>

#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

cv::Mat make_color_bar(const uint8_t* table, int count)
{
    if (table == nullptr || count <= 0)
        return cv::Mat();
    cv::Mat bar(count, 1, CV_8UC3);
    for (int i = 0; i < count; ++i) {
        cv::Vec3b& px = bar.at<cv::Vec3b>(count - 1 - i, 0);
        px[0] = table[3 * i];
        px[1] = table[3 * i + 1];
        px[2] = table[3 * i + 2];
    }
    return bar;
}

cv::Mat ir_to_gray(const cv::Mat& raw)
{
    cv::Mat gray;
    cv::convertScaleAbs(raw, gray, 0.5, 0);
    return gray;
}

cv::Mat yuyv_to_rgb(const uint8_t* data, int width, int height)
{
    const cv::Mat yuyv(height, width, CV_8UC2, const_cast<uint8_t*>(data));
    cv::Mat rgb;
    cv::cvtColor(yuyv, rgb, cv::COLOR_YUV2RGB_YUY2);
    return rgb;
}

void fill_point_cloud(pcl::PointCloud<pcl::PointXYZRGB>& cloud, const float* xyz,
                      const uint8_t* colours, colour_order order, int width, int height)
{
    const size_t n = static_cast<size_t>(width) * static_cast<size_t>(height);
    const int r_at = order == colour_order::rgb ? 0 : 2;
    const int b_at = 2 - r_at;
    cloud.points.resize(n);
    for (size_t i = 0; i < n; ++i) {
        pcl::PointXYZRGB& p = cloud.points[i];
        p.x = xyz[3 * i];
        p.y = xyz[3 * i + 1];
        p.z = xyz[3 * i + 2];
        p.r = colours[3 * i + r_at];
        p.g = colours[3 * i + 1];
        p.b = colours[3 * i + b_at];
        p.a = 255;
    }
    cloud.width = static_cast<uint32_t>(width);
    cloud.height = static_cast<uint32_t>(height);
    cloud.is_dense = false;
}

void clear_unmeasured_points(pcl::PointCloud<pcl::PointXYZRGB>& cloud, const uint16_t* depth)
{
    const size_t n = cloud.points.size();
    for (size_t i = 0; i < n; ++i) {
        if (depth[i] <= 1) {
            pcl::PointXYZRGB& p = cloud.points[i];
            p.x = 0.0f;
            p.y = 0.0f;
            p.z = 0.0f;
        }
    }
}

void fill_measured_point_cloud(pcl::PointCloud<pcl::PointXYZRGB>& cloud, const float* xyz,
                               const uint8_t* colours, colour_order order, const uint16_t* depth,
                               int width, int height)
{
    static_assert(sizeof(pcl::PointXYZRGB) == 32, "a point is x, y, z, 1 and B, G, R, A with padding");
    const size_t n = static_cast<size_t>(width) * static_cast<size_t>(height);
    const int r_at = order == colour_order::rgb ? 0 : 2;
    const int b_at = 2 - r_at;
    cloud.points.resize(n);
    pcl::PointXYZRGB* const points = cloud.points.data();
    const auto fill = [&](size_t begin, size_t end) {
        for (size_t i = begin; i < end; ++i) {
            const bool measured = depth == nullptr || depth[i] > 1;
            const float* const p = xyz + 3 * i;
            const uint8_t* const c = colours + 3 * i;
            const float x = measured ? p[0] : 0.0f;
            const float y = measured ? p[1] : 0.0f;
            const float z = measured ? p[2] : 0.0f;
            const uint32_t bgra = static_cast<uint32_t>(c[b_at]) | static_cast<uint32_t>(c[1]) << 8
                                  | static_cast<uint32_t>(c[r_at]) << 16 | 0xff000000u;
            float* const out = points[i].data;
#if defined(__SSE2__)
            // Points are 16-byte aligned (Eigen's allocator), so both halves are.
            _mm_store_ps(out, _mm_set_ps(1.0f, z, y, x));
            _mm_store_si128(reinterpret_cast<__m128i*>(out + 4), _mm_cvtsi32_si128(static_cast<int>(bgra)));
#else
            const float position[4] = {x, y, z, 1.0f};
            const uint32_t colour[4] = {bgra, 0, 0, 0};
            std::memcpy(out, position, sizeof position);
            std::memcpy(out + 4, colour, sizeof colour);
#endif
        }
    };
    // Large clouds in two halves on two threads: the points do not depend
    // on each other.
    constexpr size_t kSplitFrom = 1 << 20;
    if (n < kSplitFrom)
        fill(0, n);
    else
        tessivue::parallel_for(
            cv::Range(0, 2),
            [&](const cv::Range& halves) {
                for (int h = halves.start; h < halves.end; ++h)
                    fill(n * static_cast<size_t>(h) / 2, n * static_cast<size_t>(h + 1) / 2);
            },
            2);
    cloud.width = static_cast<uint32_t>(width);
    cloud.height = static_cast<uint32_t>(height);
    cloud.is_dense = false;
}
