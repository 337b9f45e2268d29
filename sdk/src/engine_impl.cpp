#include "engine_impl.h"

#include <opencv2/core.hpp>

#include "colour_render.h"
#include "device_impl.h"
#include "reconstruction_loader.h"
#include "status.h"

namespace pvx3::detail {
namespace {

// Mirror flags as an OpenCV flip code, or 2 for none.
int flip_code(bool vertical, bool horizontal)
{
    if (vertical && horizontal)
        return -1;
    if (vertical)
        return 0;
    return horizontal ? 1 : 2;
}

}  // namespace

frame* engine_impl::depth_to_point_cloud(frame* depth, pvx3_error* error)
{
    const frame_impl* d = as_impl(depth);
    if (!d || d->info().stream != PVX3_STREAM_DEPTH) {
        report(error, PVX3_ERROR_INVALID_ARGUMENT, "depth_to_point_cloud needs a depth frame of this SDK");
        return nullptr;
    }
    if (!dev_) {
        report(error, PVX3_ERROR_NO_DEVICE, "no camera");
        return nullptr;
    }
    std::string reason;
    reconstruction_engine* lib = reconstruction_engine::load(dev_->settings().reconstruction_path, reason);
    if (!lib) {
        report(error, PVX3_ERROR_LIBRARY, reason.c_str());
        return nullptr;
    }
    const frame_info& info = d->info();
    // Points come from the unmirrored image (the rays belong to sensor
    // pixels); they are then laid out and mirrored like the depth frame.
    const int code = flip_code(info.flip_vertical, info.flip_horizontal);
    const cv::Mat image(info.height, info.width, CV_16UC1, const_cast<uint16_t*>(d->pixels16()));
    cv::Mat upright = image;
    if (code != 2) {
        upright = cv::Mat();
        cv::flip(image, upright, code);
    }
    // The previous cloud is valid only until this call: its storage is
    // reused (the points of a stream keep their size from frame to frame).
    std::vector<float> xyz;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (cloud_)
            xyz = cloud_->take_points();
        cloud_.reset();
    }
    if (!lib->depth_to_points(dev_->calibration(), upright.ptr<uint16_t>(), info.width, info.height, xyz, reason)) {
        report(error, PVX3_ERROR_LIBRARY, reason.c_str());
        return nullptr;
    }
    if (code != 2) {
        cv::Mat points(info.height, info.width, CV_32FC3, xyz.data());
        cv::flip(points.clone(), points, code);
        for (size_t i = 0; i < xyz.size(); i += 3) {
            if (info.flip_horizontal)
                xyz[i] = -xyz[i];
            if (info.flip_vertical)
                xyz[i + 1] = -xyz[i + 1];
        }
    }
    frame_info out = info;
    out.stream = PVX3_STREAM_POINT_CLOUD;
    out.bytes_per_pixel = 0;
    std::lock_guard<std::mutex> lock(mutex_);
    cloud_ = std::make_unique<frame_impl>(out, std::move(xyz));
    report_ok(error);
    return cloud_.get();
}

frameset* engine_impl::depth_to_rgb(frame* depth, frame* rgb, pvx3_error* error)
{
    const frame_impl* d = as_impl(depth);
    const frame_impl* c = as_impl(rgb);
    if (!d || d->info().stream != PVX3_STREAM_DEPTH || d->info().registered || !c
        || c->info().stream != PVX3_STREAM_RGB || c->info().registered) {
        report(error, PVX3_ERROR_INVALID_ARGUMENT, "depth_to_rgb needs a streamed depth frame and colour frame");
        return nullptr;
    }
    if (!dev_) {
        report(error, PVX3_ERROR_NO_DEVICE, "no camera");
        return nullptr;
    }
    const factory_calibration& cal = dev_->calibration();
    const frame_info& di = d->info();
    const frame_info& ci = c->info();
    if (di.width != cal.depth.width || di.height != cal.depth.height || ci.width != cal.colour.width
        || ci.height != cal.colour.height) {
        report(error, PVX3_ERROR_UNSUPPORTED, "registration needs 640 x 480 depth and 1920 x 1080 colour");
        return nullptr;
    }
    std::string reason;
    reconstruction_engine* lib = reconstruction_engine::load(dev_->settings().reconstruction_path, reason);
    if (!lib) {
        report(error, PVX3_ERROR_LIBRARY, reason.c_str());
        return nullptr;
    }
    // The library registers unmirrored images; mirror its results back.
    const int dcode = flip_code(di.flip_vertical, di.flip_horizontal);
    const int ccode = flip_code(ci.flip_vertical, ci.flip_horizontal);
    const cv::Mat depth_frame(di.height, di.width, CV_16UC1, const_cast<uint16_t*>(d->pixels16()));
    cv::Mat depth_img = depth_frame;
    if (dcode != 2) {
        depth_img = cv::Mat();
        cv::flip(depth_frame, depth_img, dcode);
    }
    pixel_buffer yuyv;
    const uint8_t* colour = c->bytes();
    if (ccode != 2) {
        yuyv.resize(size_t(ci.width) * ci.height * 2);
        flip_yuyv(c->bytes(), ci.width, ci.height, ci.flip_vertical, ci.flip_horizontal, yuyv.data());
        colour = yuyv.data();
    }
    pixel_buffer reg_depth, bgr;
    if (!lib->align(cal, depth_img.ptr<uint16_t>(), colour, ci.width, ci.height, reg_depth, bgr, reason)) {
        report(error, PVX3_ERROR_LIBRARY, reason.c_str());
        return nullptr;
    }
    if (ccode != 2) {
        cv::Mat dm(ci.height, ci.width, CV_16UC1, reg_depth.data());
        cv::flip(dm.clone(), dm, ccode);
        cv::Mat cm(ci.height, ci.width, CV_8UC3, bgr.data());
        cv::flip(cm.clone(), cm, ccode);
    }
    frame_info dinfo = di;
    dinfo.width = ci.width;
    dinfo.height = ci.height;
    dinfo.registered = true;
    const lens_model& l = cal.colour;
    const double pinhole[9] = {l.fx, l.fy, l.cx, l.cy, 0, 0, 0, 0, 0};
    std::copy(pinhole, pinhole + 9, dinfo.lens);
    frame_info cinfo = ci;
    cinfo.registered = true;
    cinfo.bytes_per_pixel = 3;
    std::copy(pinhole, pinhole + 9, cinfo.lens);
    frame_bundle bundle;
    bundle.depth = std::make_shared<frame_impl>(dinfo, std::move(reg_depth));
    bundle.rgb = std::make_shared<frame_impl>(cinfo, std::move(bgr));
    report_ok(error);
    return new frameset_impl(std::move(bundle));
}

}  // namespace pvx3::detail
