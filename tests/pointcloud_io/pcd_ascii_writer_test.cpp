// The ASCII PCD writer: byte for byte what PCL's writer produces, and read
// back to the same values by PCL's reader and by Open3D.
#include "pointcloud_io/pcd_ascii_writer.h"

#include <gtest/gtest.h>
#include <pcl/io/pcd_io.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <limits>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace {

using Cloud = pcl::PointCloud<pcl::PointXYZRGB>;

class temp_dir {
public:
    temp_dir()
    {
        char name[] = "/tmp/pcd_ascii_XXXXXX";
        path_ = mkdtemp(name);
    }
    ~temp_dir() { std::system(("rm -rf '" + path_ + "'").c_str()); }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

std::string read_all(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

pcl::PointXYZRGB point(float x, float y, float z, uint8_t r, uint8_t g, uint8_t b)
{
    pcl::PointXYZRGB p;
    p.x = x;
    p.y = y;
    p.z = z;
    p.r = r;
    p.g = g;
    p.b = b;
    p.a = 255;
    return p;
}

Cloud organised(int w, int h, const std::vector<pcl::PointXYZRGB>& points)
{
    Cloud c;
    c.points.assign(points.begin(), points.end());
    c.width = static_cast<uint32_t>(w);
    c.height = static_cast<uint32_t>(h);
    c.is_dense = false;
    return c;
}

// Values whose text takes every branch of %.8g: exponents both ways, eight
// digits that round up, negative zero, the float limits, NaN and infinity.
Cloud edge_values()
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    const std::vector<pcl::PointXYZRGB> p = {
        point(0.f, -0.f, 1.f, 0, 0, 0),
        point(1e-5f, 1e-4f, 123456.78f, 255, 255, 255),
        point(12345678.f, 123456789.f, 99999999.f, 1, 2, 3),
        point(0.1f, -0.3f, 1.0f / 3.0f, 10, 20, 30),
        point(std::numeric_limits<float>::max(), std::numeric_limits<float>::lowest(),
              std::numeric_limits<float>::denorm_min(), 200, 100, 50),
        point(std::numeric_limits<float>::min(), 9.99999995e-1f, 2999.9999f, 7, 8, 9),
        point(nan, nan, nan, 0, 0, 0),
        point(inf, -inf, 4.5f, 128, 64, 32),
    };
    return organised(4, 2, p);
}

// Seeded random points spread over forty decades, some of them NaN.
Cloud random_values(int w, int h, unsigned seed)
{
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> mantissa(-10.f, 10.f);
    std::uniform_int_distribution<int> exponent(-20, 20);
    std::vector<pcl::PointXYZRGB> p;
    for (int i = 0; i < w * h; ++i) {
        auto v = [&] { return mantissa(rng) * std::pow(10.f, static_cast<float>(exponent(rng))); };
        p.push_back(point(v(), v(), v(), static_cast<uint8_t>(rng()), static_cast<uint8_t>(rng()),
                          static_cast<uint8_t>(rng())));
        if (rng() % 17 == 0)
            p.back().x = p.back().y = p.back().z = std::numeric_limits<float>::quiet_NaN();
    }
    return organised(w, h, p);
}

// What the camera gives: millimetres with fractions, a fixed alpha, and
// unmeasured pixels at (0, 0, 0).
Cloud camera_like(int w, int h)
{
    std::mt19937 rng(11);
    std::vector<pcl::PointXYZRGB> p;
    for (int r = 0; r < h; ++r) {
        for (int c = 0; c < w; ++c) {
            const float z = 300.f + static_cast<float>(rng() % 400000) / 100.f;
            p.push_back(point((c - w / 2.f) * z / 520.f, (r - h / 2.f) * z / 520.f, z,
                              static_cast<uint8_t>(rng()), static_cast<uint8_t>(rng()),
                              static_cast<uint8_t>(rng())));
            if (rng() % 9 == 0)
                p.back().x = p.back().y = p.back().z = 0.f;
        }
    }
    return organised(w, h, p);
}

struct cloud_case {
    const char* name;
    Cloud cloud;
};

std::vector<cloud_case> cases()
{
    return {
        {"one_point", organised(1, 1, {point(-1.5f, 2.25f, 1000.f, 9, 99, 199)})},
        {"edge_values", edge_values()},
        {"random_7x5", random_values(7, 5, 1)},
        {"random_unorganised", random_values(333, 1, 2)},
        {"camera_160x120", camera_like(160, 120)},
    };
}

TEST(PcdAsciiWriter, FilesEqualPclWritersByteForByte)
{
    temp_dir dir;
    for (const cloud_case& c : cases()) {
        SCOPED_TRACE(c.name);
        const std::string ours = dir.file(std::string(c.name) + "_ours.pcd");
        const std::string pcl_file = dir.file(std::string(c.name) + "_pcl.pcd");
        ASSERT_TRUE(pcd_ascii::write(ours, c.cloud));
        pcl::PCDWriter writer;
        ASSERT_EQ(writer.writeASCII(pcl_file, c.cloud, 8), 0);
        const std::string a = read_all(ours);
        const std::string b = read_all(pcl_file);
        ASSERT_FALSE(b.empty());
        if (a != b) {
            size_t i = 0;
            while (i < a.size() && i < b.size() && a[i] == b[i])
                ++i;
            const size_t line = static_cast<size_t>(std::count(b.begin(), b.begin() + static_cast<long>(i), '\n'));
            FAIL() << "first difference at byte " << i << " (line " << line + 1 << "): ours \""
                   << a.substr(i - std::min<size_t>(i, 20), 40) << "\" pcl \"" << b.substr(i - std::min<size_t>(i, 20), 40)
                   << "\"";
        }
    }
}

// PCL's reader gets every value back to the 8 digits written: the
// coordinates within half a unit of the eighth digit, colours exactly.
TEST(PcdAsciiWriter, PclReaderGetsTheValuesBack)
{
    temp_dir dir;
    for (const cloud_case& c : cases()) {
        SCOPED_TRACE(c.name);
        const std::string path = dir.file(std::string(c.name) + ".pcd");
        ASSERT_TRUE(pcd_ascii::write(path, c.cloud));
        Cloud back;
        ASSERT_EQ(pcl::io::loadPCDFile(path, back), 0);
        ASSERT_EQ(back.width, c.cloud.width);
        ASSERT_EQ(back.height, c.cloud.height);
        ASSERT_EQ(back.size(), c.cloud.size());
        for (size_t i = 0; i < back.size(); ++i) {
            const pcl::PointXYZRGB& e = c.cloud.points[i];
            const pcl::PointXYZRGB& g = back.points[i];
            const float ev[3] = {e.x, e.y, e.z};
            const float gv[3] = {g.x, g.y, g.z};
            for (int k = 0; k < 3; ++k) {
                if (std::isnan(ev[k])) {
                    EXPECT_TRUE(std::isnan(gv[k])) << "point " << i;
                } else if (std::isinf(ev[k]) || ev[k] == 0.f) {
                    EXPECT_EQ(gv[k], ev[k]) << "point " << i;
                } else if (std::fabs(ev[k]) >= std::numeric_limits<float>::min()) {
                    // Eight digits keep 5e-8 of the value; the float read
                    // back adds half an ulp.
                    EXPECT_LE(std::fabs(gv[k] - ev[k]), std::fabs(ev[k]) * 1.2e-7) << "point " << i << " axis " << k;
                }
            }
            EXPECT_EQ(g.rgba, e.rgba) << "point " << i;
        }
    }
}

TEST(PcdAsciiWriter, Open3dReadsTheSameValues)
{
    temp_dir dir;
    // Open3D keeps NaN and infinite coordinates when told to; its colours
    // are 0-1 floats.
    for (const cloud_case& c : {cases()[0], cases()[4]}) {
        SCOPED_TRACE(c.name);
        const std::string path = dir.file(std::string(c.name) + ".pcd");
        const std::string expected = dir.file(std::string(c.name) + ".txt");
        ASSERT_TRUE(pcd_ascii::write(path, c.cloud));
        {
            std::ofstream out(expected);
            out.precision(9);
            for (const pcl::PointXYZRGB& p : c.cloud.points)
                out << p.x << ' ' << p.y << ' ' << p.z << ' ' << int(p.r) << ' ' << int(p.g) << ' ' << int(p.b)
                    << '\n';
        }
        const std::string log = dir.file("open3d.log");
        const std::string command = std::string("/usr/bin/python3 '") + OPEN3D_CHECK_SCRIPT + "' '" + path + "' '"
                                    + expected + "' >'" + log + "' 2>&1";
        const int rc = std::system(command.c_str());
        EXPECT_EQ(rc, 0) << read_all(log) << "(python3-open3d is installed by scripts/setup)";
    }
}

TEST(PcdAsciiWriter, RefusesCloudsPclRefusesAndUnwritablePaths)
{
    temp_dir dir;
    Cloud empty;
    EXPECT_FALSE(pcd_ascii::write(dir.file("empty.pcd"), empty));
    Cloud mismatched = random_values(4, 4, 3);
    mismatched.width = 5;
    EXPECT_FALSE(pcd_ascii::write(dir.file("mismatched.pcd"), mismatched));
    std::string text = "left alone";
    EXPECT_FALSE(pcd_ascii::format(mismatched, text));
    EXPECT_TRUE(text.empty());
    EXPECT_FALSE(pcd_ascii::write(dir.file("no/such/folder/cloud.pcd"), random_values(2, 2, 4)));
    struct stat st;
    EXPECT_NE(stat(dir.file("empty.pcd").c_str(), &st), 0);
    EXPECT_NE(stat(dir.file("mismatched.pcd").c_str(), &st), 0);
}

// The reused buffer holds the last cloud only: a smaller cloud after a
// larger one leaves no tail of the larger one behind.
TEST(PcdAsciiWriter, ReusedBufferHoldsOnlyTheLastCloud)
{
    temp_dir dir;
    const Cloud big = camera_like(64, 48);
    const Cloud small = organised(1, 1, {point(1.f, 2.f, 3.f, 4, 5, 6)});
    ASSERT_TRUE(pcd_ascii::write(dir.file("big.pcd"), big));
    ASSERT_TRUE(pcd_ascii::write(dir.file("small.pcd"), small));
    pcl::PCDWriter writer;
    ASSERT_EQ(writer.writeASCII(dir.file("small_pcl.pcd"), small, 8), 0);
    EXPECT_EQ(read_all(dir.file("small.pcd")), read_all(dir.file("small_pcl.pcd")));
}

}  // namespace
