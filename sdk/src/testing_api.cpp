#include "parvolux3/pvx3_testing.h"

#include "calibration.h"
#include "context_impl.h"
#include "colour_render.h"
#include "frames.h"
#include "scene.h"
#include "settings.h"

#include <map>
#include <mutex>

namespace pvx3::testing {

using namespace pvx3::detail;

static_assert(int(kMovingSphere) == int(detail::kMovingSphere) && int(kObjectCount) == int(detail::kObjectCount),
              "test object ids follow the scene's");

bool conditions_of(const frame* f, frame_conditions& out)
{
    const frame_impl* impl = as_impl(f);
    if (!impl)
        return false;
    const frame_info& i = impl->info();
    out.scene_time_s = i.scene_time_s;
    out.temperature_c = i.temperature_c;
    out.integration_us = i.integration_us;
    out.flip_vertical = i.flip_vertical;
    out.flip_horizontal = i.flip_horizontal;
    std::copy(i.lens, i.lens + 9, out.lens);
    return true;
}

bool unplug_camera(context* ctx)
{
    context_impl* c = as_impl(ctx);
    return c != nullptr && c->unplug();
}

bool plug_camera(context* ctx)
{
    context_impl* c = as_impl(ctx);
    return c != nullptr && c->plug();
}

namespace {

// Static part of a truth image with its unit rays, cached per grid.
struct truth_cache {
    truth_image statics;
    std::vector<float> rays;  // 3 per pixel, depth-camera frame
    vec3 origin;
};

void finish_truth(const truth_cache& c, double scene_time_s, const vec3& axis, truth_image& t)
{
    const scene world;
    t = c.statics;
    const size_t n = size_t(t.width) * t.height;
    for (size_t p = 0; p < n; ++p) {
        const vec3 d = {c.rays[3 * p], c.rays[3 * p + 1], c.rays[3 * p + 2]};
        const hit h = world.trace_moving(c.origin, d, scene_time_s);
        if (h.object == detail::kNoObject)
            continue;
        const hit s = world.trace_static(c.origin, d);
        if (h.t < s.t) {
            t.object[p] = h.object;
            t.depth_mm[p] = float(h.t * dot(d, axis));
        }
    }
}

std::mutex cache_mutex;

}  // namespace

truth_image depth_truth(int width, int height, double scene_time_s)
{
    const factory_calibration cal = make_factory_calibration("");
    truth_image t;
    if (width <= 0 || height <= 0 || cal.depth.width % width != 0 || cal.depth.width / width * height != cal.depth.height)
        return t;
    static std::map<int, truth_cache> caches;
    std::lock_guard<std::mutex> lock(cache_mutex);
    truth_cache& c = caches[width];
    if (c.rays.empty()) {
        const scene world;
        const int step = cal.depth.width / width;
        c.statics.width = width;
        c.statics.height = height;
        c.statics.depth_mm.resize(size_t(width) * height);
        c.statics.object.resize(size_t(width) * height);
        c.rays.resize(size_t(width) * height * 3);
        for (int i = 0; i < height; ++i)
            for (int j = 0; j < width; ++j) {
                double x, y;
                cal.depth.pixel_to_ray(j * step, i * step, x, y);
                const vec3 d = normalised({x, y, 1.0});
                const hit h = world.trace_static({0, 0, 0}, d);
                const size_t p = size_t(i) * width + j;
                c.statics.object[p] = h.object;
                c.statics.depth_mm[p] = h.object == detail::kNoObject ? 0.0f : float(h.point.z);
                c.rays[3 * p] = float(d.x);
                c.rays[3 * p + 1] = float(d.y);
                c.rays[3 * p + 2] = float(d.z);
            }
    }
    finish_truth(c, scene_time_s, {0, 0, 1}, t);
    return t;
}

truth_image colour_truth(double scene_time_s)
{
    static truth_cache c;
    static vec3 axis;
    std::lock_guard<std::mutex> lock(cache_mutex);
    if (c.rays.empty()) {
        const factory_calibration cal = make_factory_calibration("");
        const scene world;
        colour_pose pose;
        std::copy(cal.rotation, cal.rotation + 9, pose.rotation);
        std::copy(cal.translation, cal.translation + 3, pose.translation);
        c.origin = pose.origin();
        axis = pose.to_world({0, 0, 1});
        const lens_model& l = cal.colour;
        truth_image& t = c.statics;
        t.width = l.width;
        t.height = l.height;
        t.depth_mm.resize(size_t(t.width) * t.height);
        t.object.resize(size_t(t.width) * t.height);
        c.rays.resize(size_t(t.width) * t.height * 3);
        for (int v = 0; v < t.height; ++v)
            for (int u = 0; u < t.width; ++u) {
                const vec3 d = normalised(pose.to_world({(u - l.cx) / l.fx, (v - l.cy) / l.fy, 1.0}));
                const hit h = world.trace_static(c.origin, d);
                const size_t p = size_t(v) * t.width + u;
                t.object[p] = h.object;
                t.depth_mm[p] = h.object == detail::kNoObject ? 0.0f : float(h.t * dot(d, axis));
                c.rays[3 * p] = float(d.x);
                c.rays[3 * p + 1] = float(d.y);
                c.rays[3 * p + 2] = float(d.z);
            }
    }
    truth_image t;
    finish_truth(c, scene_time_s, axis, t);
    return t;
}

}  // namespace pvx3::testing
