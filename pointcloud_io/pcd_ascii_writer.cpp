#include "pointcloud_io/pcd_ascii_writer.h"

#include <pcl/io/pcd_io.h>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <exception>

namespace pcd_ascii {
namespace {

// Longest "%.8g" of a float ("-1.2345678e-38") plus the separator.
constexpr std::size_t kFloatChars = 16;
// Three floats, a 10-digit integer, separators and the newline.
constexpr std::size_t kLineChars = 3 * kFloatChars + 12;

char* put_float(char* p, float v)
{
    if (std::isnan(v)) {
        std::memcpy(p, "nan", 3);
        return p + 3;
    }
    // The float overload prints the float's exact value, which is what the
    // stream does after promoting it to double.
    return std::to_chars(p, p + kFloatChars, v, std::chars_format::general, 8).ptr;
}

char* put_uint(char* p, std::uint32_t v)
{
    return std::to_chars(p, p + 11, v).ptr;
}

}  // namespace

bool format(const pcl::PointCloud<pcl::PointXYZRGB>& cloud, std::string& out)
{
    out.clear();
    const std::size_t n = cloud.points.size();
    if (n == 0 || n != static_cast<std::size_t>(cloud.width) * cloud.height)
        return false;
    const std::string header = pcl::PCDWriter::generateHeader<pcl::PointXYZRGB>(cloud) + "DATA ascii\n";
    // Sized for the longest lines, trimmed once at the end; the capacity of
    // a reused buffer stays for the next cloud.
    out.resize(header.size() + n * kLineChars);
    char* p = out.data();
    std::memcpy(p, header.data(), header.size());
    p += header.size();
    for (const pcl::PointXYZRGB& pt : cloud.points) {
        p = put_float(p, pt.x);
        *p++ = ' ';
        p = put_float(p, pt.y);
        *p++ = ' ';
        p = put_float(p, pt.z);
        *p++ = ' ';
        p = put_uint(p, pt.rgba);
        *p++ = '\n';
    }
    out.resize(static_cast<std::size_t>(p - out.data()));
    return true;
}

bool write(const std::string& path, const pcl::PointCloud<pcl::PointXYZRGB>& cloud)
{
    try {
        thread_local std::string buffer;
        if (!format(cloud, buffer))
            return false;
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
        if (fd < 0)
            return false;
        const char* p = buffer.data();
        std::size_t left = buffer.size();
        bool ok = true;
        // One call in practice; the kernel caps a single write near 2 GiB.
        while (left > 0) {
            const ssize_t done = ::write(fd, p, left);
            if (done < 0 && errno == EINTR)
                continue;
            if (done <= 0) {
                ok = false;
                break;
            }
            p += done;
            left -= static_cast<std::size_t>(done);
        }
        if (::close(fd) != 0)
            ok = false;
        // A big buffer is not kept for a thread that saved one RGBD cloud.
        if (buffer.capacity() > (std::size_t(128) << 20))
            std::string().swap(buffer);
        return ok;
    } catch (const std::exception&) {
        return false;
    }
}

}  // namespace pcd_ascii
