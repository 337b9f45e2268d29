#pragma once

// ASCII PCD output of a coloured cloud, byte for byte what PCL's
// PCDWriter::writeASCII(path, cloud, 8) writes, formatted in one pass into a
// reused buffer and written with one call. PCL's writer goes through a
// string stream per value and costs several times more.

#include <pcl/point_cloud.h>
#include <pcl/point_types.h>

#include <string>

namespace pcd_ascii {

// Replaces `out` with the file's bytes (PCL's header, then
// one "x y z rgb" line per point; x, y, z with 8 significant digits as
// printf's %.8g, "nan" for NaN; rgb as the packed unsigned integer). False,
// with `out` empty, when the cloud has no points or its size is not
// width x height (PCL's writer refuses such clouds as well).
bool format(const pcl::PointCloud<pcl::PointXYZRGB>& cloud, std::string& out);

// Formats the cloud into a buffer owned by the calling thread and writes it
// to `path` (created or truncated). False when the cloud is refused or the
// file could not be written whole (e.g. a full disk). Never throws.
bool write(const std::string& path, const pcl::PointCloud<pcl::PointXYZRGB>& cloud);

}  // namespace pcd_ascii
