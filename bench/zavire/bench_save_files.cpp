// What writing saved files whole costs (temporary name, check, rename) next
// to writing them straight, and the pass that takes unmeasured pixels out of
// a point cloud.
#include "zavire/frame_convert.h"
#include "zavire/whole_file.h"
#include "pointcloud_io/pcd_ascii_writer.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>
#include <opencv2/imgcodecs.hpp>
#include <pcl/io/pcd_io.h>

#include <random>
#include <string>
#include <vector>

namespace {

pcl::PointCloud<pcl::PointXYZRGB> make_cloud(int w, int h)
{
    std::mt19937 rng(3);
    pcl::PointCloud<pcl::PointXYZRGB> cloud;
    cloud.resize(static_cast<size_t>(w) * h);
    for (auto& p : cloud.points) {
        p.x = static_cast<float>(rng() % 4000) - 2000.f;
        p.y = static_cast<float>(rng() % 3000) - 1500.f;
        p.z = static_cast<float>(300 + rng() % 5000);
        p.r = p.g = p.b = static_cast<uint8_t>(rng());
    }
    cloud.width = static_cast<uint32_t>(w);
    cloud.height = static_cast<uint32_t>(h);
    return cloud;
}

// Arg 0: PCL's writer straight to the file; 1: PCL's writer through
// write_file_whole with the completeness check; 2: the dedicated ASCII
// writer straight to the file; 3: the dedicated writer through
// write_file_whole, as a save task writes it. Range 1: 0 a 640 x 480 cloud,
// 1 a 1920 x 1080 (RGBD) cloud.
void BM_WritePcd(benchmark::State& state)
{
    QTemporaryDir tmp;
    const bool colour_size = state.range(1) != 0;
    const auto cloud = colour_size ? make_cloud(1920, 1080) : make_cloud(640, 480);
    const QString path = tmp.filePath(QStringLiteral("PointCloud[1].pcd"));
    const int variant = static_cast<int>(state.range(0));
    pcl::PCDWriter writer;
    auto write = [&](const QString& target) {
        return variant < 2 ? writer.writeASCII(target.toStdString(), cloud, 8) == 0
                           : pcd_ascii::write(target.toStdString(), cloud);
    };
    for (auto _ : state) {
        bool ok = false;
        if (variant == 0 || variant == 2)
            ok = write(path);
        else
            ok = write_file_whole(path, write, pcd_file_complete);
        benchmark::DoNotOptimize(ok);
    }
    state.counters["MB"] = static_cast<double>(QFileInfo(path).size()) / 1e6;
}
BENCHMARK(BM_WritePcd)
    ->ArgNames({"writer", "rgbd"})
    ->Args({0, 0})
    ->Args({1, 0})
    ->Args({2, 0})
    ->Args({3, 0})
    ->Args({1, 1})
    ->Args({3, 1})
    ->Unit(benchmark::kMillisecond);

// Formatting alone into the reused buffer (no file system).
void BM_FormatPcd(benchmark::State& state)
{
    const auto cloud = make_cloud(640, 480);
    std::string buffer;
    for (auto _ : state) {
        pcd_ascii::format(cloud, buffer);
        benchmark::DoNotOptimize(buffer.data());
    }
}
BENCHMARK(BM_FormatPcd)->Unit(benchmark::kMillisecond);

// Arg 0: cv::imwrite; 1: write_png_whole (encode, write, rename).
void BM_WritePng(benchmark::State& state)
{
    QTemporaryDir tmp;
    cv::Mat image(480, 640, CV_8UC3);
    cv::randu(image, 0, 255);
    const QString path = tmp.filePath(QStringLiteral("depth[1].png"));
    for (auto _ : state) {
        bool ok = state.range(0) == 0
                      ? cv::imwrite(path.toStdString(), image, {cv::IMWRITE_PNG_COMPRESSION, 0})
                      : write_png_whole(path, image);
        benchmark::DoNotOptimize(ok);
    }
}
BENCHMARK(BM_WritePng)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_ClearUnmeasuredPoints(benchmark::State& state)
{
    const int w = static_cast<int>(state.range(0));
    const int h = static_cast<int>(state.range(1));
    auto cloud = make_cloud(w, h);
    std::vector<uint16_t> depth(static_cast<size_t>(w) * h);
    std::mt19937 rng(5);
    for (auto& d : depth)
        d = static_cast<uint16_t>(rng() % 20 == 0 ? rng() % 2 : 500 + rng() % 4000);
    for (auto _ : state) {
        clear_unmeasured_points(cloud, depth.data());
        benchmark::DoNotOptimize(cloud.points.data());
    }
}
BENCHMARK(BM_ClearUnmeasuredPoints)->Args({640, 480})->Args({1920, 1080})->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
