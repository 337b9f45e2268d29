#include "frame_files.h"

#include "recording/depth_colours.h"

#include <sys/stat.h>

#include <cmath>
#include <cstdio>
#include <cstring>

#include <nlohmann/json.hpp>
#include <opencv2/calib3d.hpp>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <pcl/point_cloud.h>
#include <pcl/point_types.h>

#include "pointcloud_io/pcd_ascii_writer.h"

namespace cli {
namespace {

using json = nlohmann::json;
using recording::image;
using recording::stream;

const std::vector<int> kPngFast = {cv::IMWRITE_PNG_COMPRESSION, 0};

bool write_png(const std::string& path, const cv::Mat& m)
{
    try {
        return cv::imwrite(path, m, kPngFast);
    } catch (const cv::Exception&) {
        return false;
    }
}

bool write_text(const std::string& path, const std::string& text)
{
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        return false;
    const bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
    return std::fclose(f) == 0 && ok;
}

// The camera model as the SDK's dump states it: of the unmirrored sensor
// image (the recording stores the model of the mirrored one).
json sdk_intrinsics(const recording::lens_model& stored, int w, int h, bool flip_v, bool flip_h)
{
    recording::lens_model l = stored;
    if (flip_h) {
        l.cx = (w - 1) - l.cx;
        l.p2 = -l.p2;
    }
    if (flip_v) {
        l.cy = (h - 1) - l.cy;
        l.p1 = -l.p1;
    }
    return json{{"fx", l.fx}, {"fy", l.fy}, {"cx", l.cx}, {"cy", l.cy}, {"k1", l.k1}, {"k2", l.k2}, {"p1", l.p1}, {"p2", l.p2}, {"k3", l.k3}};
}

cv::Mat mat16(const image& img) { return cv::Mat(img.height, img.width, CV_16UC1, const_cast<uint8_t*>(img.data.data()), img.step); }

// Back-projection through the recorded camera model, for recordings without
// a calibration the library can use: the undistorted ray (x, y) of every
// pixel, computed once per camera model.
void lens_rays(const recording::lens_model& l, int w, int h, std::vector<float>& rays)
{
    std::vector<cv::Point2f> pixels;
    pixels.reserve(size_t(w) * h);
    for (int r = 0; r < h; ++r)
        for (int c = 0; c < w; ++c)
            pixels.emplace_back(float(c), float(r));
    const cv::Matx33d k(l.fx, 0, l.cx, 0, l.fy, l.cy, 0, 0, 1);
    const cv::Vec<double, 5> d(l.k1, l.k2, l.p1, l.p2, l.k3);
    std::vector<cv::Point2f> undistorted;
    cv::undistortPoints(pixels, undistorted, k, d);
    rays.resize(undistorted.size() * 2);
    for (size_t i = 0; i < undistorted.size(); ++i) {
        rays[2 * i] = undistorted[i].x;
        rays[2 * i + 1] = undistorted[i].y;
    }
}

void points_from_rays(const image& depth, const std::vector<float>& rays, std::vector<float>& xyz)
{
    const int w = depth.width, h = depth.height;
    xyz.assign(size_t(w) * h * 3, 0.0f);
    if (rays.size() != size_t(w) * h * 2)
        return;
    const uint16_t* z = depth.pixels16();
    for (size_t i = 0; i < size_t(w) * h; ++i) {
        const float mm = z[(i / size_t(w)) * (depth.step / 2) + i % size_t(w)];
        if (mm <= 1)
            continue;
        xyz[3 * i] = rays[2 * i] * mm;
        xyz[3 * i + 1] = rays[2 * i + 1] * mm;
        xyz[3 * i + 2] = mm;
    }
}

// Binary PLY of the valid points: x, y, z (float, mm) and red, green, blue.
bool write_ply(const std::string& path, const std::vector<pcl::PointXYZRGB, Eigen::aligned_allocator<pcl::PointXYZRGB>>& points)
{
    std::string header = "ply\nformat binary_little_endian 1.0\ncomment written by tessivue-cli export\nelement vertex "
                         + std::to_string(points.size())
                         + "\nproperty float x\nproperty float y\nproperty float z\nproperty uchar red\n"
                           "property uchar green\nproperty uchar blue\nend_header\n";
    std::string body;
    body.resize(points.size() * 15);
    char* o = body.data();
    for (const pcl::PointXYZRGB& p : points) {
        const float v[3] = {p.x, p.y, p.z};
        std::memcpy(o, v, sizeof v);
        o[12] = static_cast<char>(p.r);
        o[13] = static_cast<char>(p.g);
        o[14] = static_cast<char>(p.b);
        o += 15;
    }
    return write_text(path, header + body);
}

}  // namespace

std::optional<double> raw_temperature(const image& raw, int device_type)
{
    const size_t words = raw.data.size() / 2;
    const uint16_t* r = raw.pixels16();
    if (device_type == 4 && words > 28)
        return (r[26] >> 2) + (r[28] >> 2) * 0.00390625;
    if ((device_type == 1 || device_type == 2) && words > 190) {
        const float code = float((r[188] >> 2) * 16 * 16 + (r[190] >> 2));
        return 25.0 + (static_cast<uint16_t>(code) - 296) / 5.4;
    }
    return std::nullopt;
}

frame_exporter::frame_exporter(std::string folder, std::string recording_name, recording::device_info device,
                               recording::reprocessor* points)
    : folder_(std::move(folder)), recording_name_(std::move(recording_name)), device_(std::move(device)),
      points_(points)
{
    colour_table_ = recording::sdk_colour_table();
}

bool frame_exporter::write(const recording::frame_set& f, const recording::camera_settings& settings,
                           const std::optional<recording::calibration>& cal, const export_kinds& kinds,
                           const std::string& subfolder, std::vector<std::string>& written, std::string& error)
{
    std::string folder = folder_;
    if (!subfolder.empty()) {
        folder += "/" + subfolder;
        ::mkdir(folder.c_str(), 0777);
    }
    const std::string n = std::to_string(f.frame_number);
    const auto name = [&](const char* stem, const char* ext) { return std::string(stem) + "[" + n + "]." + ext; };
    bool ok = true;
    const auto failed = [&](const std::string& path, const std::string& why = "cannot be written") {
        if (ok)
            error = path + " " + why;
        ok = false;
    };
    const auto done = [&](const std::string& path) { written.push_back(path); };
    std::optional<double> temperature;
    if (f[stream::raw_phase] && cal)
        temperature = raw_temperature(*f[stream::raw_phase], cal->device_type);

    // The SDK's dump: 16-bit PNG and its JSON sidecar.
    const auto dump = [&](const image& img, const char* stem, const char* stream_name, const char* unit) {
        const std::string png = folder + "/" + name(stem, "png");
        if (write_png(png, mat16(img)))
            done(png);
        else
            failed(png);
        json j{{"format", "parvolux3-frame-dump"},
               {"sdk_version", device_.sdk_version},
               {"stream", stream_name},
               {"image", name(stem, "png")},
               {"unit", unit},
               {"width", img.width},
               {"height", img.height},
               {"frame_number", f.frame_number},
               {"timestamp_us", f.timestamp_us},
               {"integration_time_us", settings.integration_time_us},
               {"temperature_c", temperature ? json(*temperature) : json(nullptr)},
               {"flip_vertical", settings.flip_vertical},
               {"flip_horizontal", settings.flip_horizontal},
               {"registered_to_colour", false},
               {"intrinsics", sdk_intrinsics(img.lens, img.width, img.height, settings.flip_vertical,
                                             settings.flip_horizontal)},
               {"recording", recording_name_},
               {"recording_stamp_ns", f.stamp_ns}};
        const std::string sidecar = folder + "/" + name(stem, "json");
        if (write_text(sidecar, j.dump(2, ' ', false, json::error_handler_t::replace) + "\n"))
            done(sidecar);
        else
            failed(sidecar);
    };

    const std::optional<image>& depth = f[stream::depth];
    std::vector<uint8_t> colours;  // the depth's colours, R, G, B
    if (depth && (kinds.depth || kinds.cloud)) {
        colours.resize(size_t(depth->width) * depth->height * 3);
        cv::Mat packed = mat16(*depth).clone();  // tightly packed
        recording::colourise_depth(packed.ptr<uint16_t>(), size_t(depth->width) * depth->height, settings.near_mm,
                                   settings.far_mm, colour_table_, colours.data());
    }
    if (depth && kinds.depth) {
        dump(*depth, "Depth", "depth", "millimetre");
        cv::Mat bgr;
        cv::cvtColor(cv::Mat(depth->height, depth->width, CV_8UC3, colours.data()), bgr, cv::COLOR_RGB2BGR);
        const std::string png = folder + "/" + name("depth", "png");
        if (write_png(png, bgr))
            done(png);
        else
            failed(png);
    }
    const std::optional<image>& ir = f[stream::ir];
    if (ir && kinds.ir) {
        dump(*ir, "IR", "ir", "amplitude");
        cv::Mat grey;
        cv::convertScaleAbs(mat16(*ir), grey, 0.5, 0);
        const std::string png = folder + "/" + name("ir", "png");
        if (write_png(png, grey))
            done(png);
        else
            failed(png);
    }
    const std::optional<image>& colour = f[stream::colour];
    if (colour && kinds.colour) {
        cv::Mat bgr;
        if (colour->encoding == recording::encoding::kYuyv)
            cv::cvtColor(cv::Mat(colour->height, colour->width, CV_8UC2, const_cast<uint8_t*>(colour->data.data()),
                                 colour->step),
                         bgr, cv::COLOR_YUV2BGR_YUY2);
        else if (colour->encoding == recording::encoding::kBgr8)
            bgr = cv::Mat(colour->height, colour->width, CV_8UC3, const_cast<uint8_t*>(colour->data.data()),
                          colour->step);
        const std::string png = folder + "/" + name("rgb", "png");
        if (!bgr.empty() && write_png(png, bgr))
            done(png);
        else
            failed(png, bgr.empty() ? "has an unknown colour encoding" : "cannot be written");
    }
    if (depth && kinds.cloud) {
        std::vector<float> xyz;
        std::string why;
        if (!(points_ && cal
              && points_->points(*cal, *depth, settings.flip_vertical, settings.flip_horizontal, xyz, why))) {
            if (!depth->lens.known()) {
                rays_.clear();
            } else if (!(rays_lens_ == depth->lens) || rays_width_ != depth->width || rays_height_ != depth->height) {
                lens_rays(depth->lens, depth->width, depth->height, rays_);
                rays_lens_ = depth->lens;
                rays_width_ = depth->width;
                rays_height_ = depth->height;
            }
            points_from_rays(*depth, rays_, xyz);
        }
        pcl::PointCloud<pcl::PointXYZRGB> cloud, dense;  // organised (as the viewer saves), valid points
        cloud.width = static_cast<uint32_t>(depth->width);
        cloud.height = static_cast<uint32_t>(depth->height);
        cloud.is_dense = false;
        cloud.points.resize(size_t(depth->width) * depth->height);
        for (size_t i = 0; i < cloud.points.size(); ++i) {
            pcl::PointXYZRGB& p = cloud.points[i];
            p.x = xyz[3 * i];
            p.y = xyz[3 * i + 1];
            p.z = xyz[3 * i + 2];
            p.r = colours[3 * i];
            p.g = colours[3 * i + 1];
            p.b = colours[3 * i + 2];
            p.a = 255;
            if (p.z != 0.0f)
                dense.points.push_back(p);
        }
        const std::string pcd = folder + "/" + name("PointCloud", "pcd");
        const std::string ply = folder + "/" + name("PointCloud", "ply");
        if (pcd_ascii::write(pcd, cloud))
            done(pcd);
        else
            failed(pcd);
        if (write_ply(ply, dense.points))
            done(ply);
        else
            failed(ply);
    }
    return ok;
}

}  // namespace cli
