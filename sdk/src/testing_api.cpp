#include "parvolux3/pvx3_testing.h"

#include "calibration.h"
#include "colour_render.h"
#include "frames.h"
#include "scene.h"
#include "settings.h"

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
    return true;
}

truth_image depth_truth(int width, int height, double scene_time_s)
{
    const factory_calibration cal = make_factory_calibration("");
    const scene world;
    truth_image t;
    if (width <= 0 || height <= 0 || cal.depth.width % width != 0)
        return t;
    const int step = cal.depth.width / width;
    t.width = width;
    t.height = height;
    t.depth_mm.resize(size_t(width) * height);
    t.object.resize(size_t(width) * height);
    for (int i = 0; i < height; ++i)
        for (int j = 0; j < width; ++j) {
            double x, y;
            cal.depth.pixel_to_ray(j * step, i * step, x, y);
            const vec3 d = normalised({x, y, 1.0});
            const hit h = world.trace({0, 0, 0}, d, scene_time_s);
            const size_t p = size_t(i) * width + j;
            t.object[p] = h.object;
            t.depth_mm[p] = h.object == detail::kNoObject ? 0.0f : float(h.point.z);
        }
    return t;
}

truth_image colour_truth(double scene_time_s)
{
    const factory_calibration cal = make_factory_calibration("");
    const scene world;
    colour_pose pose;
    std::copy(cal.rotation, cal.rotation + 9, pose.rotation);
    std::copy(cal.translation, cal.translation + 3, pose.translation);
    const vec3 origin = pose.origin();
    const lens_model& l = cal.colour;
    truth_image t;
    t.width = l.width;
    t.height = l.height;
    t.depth_mm.resize(size_t(t.width) * t.height);
    t.object.resize(size_t(t.width) * t.height);
    for (int v = 0; v < t.height; ++v)
        for (int u = 0; u < t.width; ++u) {
            const vec3 dc = normalised({(u - l.cx) / l.fx, (v - l.cy) / l.fy, 1.0});
            const hit h = world.trace(origin, pose.to_world(dc), scene_time_s);
            const size_t p = size_t(v) * t.width + u;
            t.object[p] = h.object;
            t.depth_mm[p] = h.object == detail::kNoObject ? 0.0f : float(h.t * dc.z);
        }
    return t;
}

}  // namespace pvx3::testing
