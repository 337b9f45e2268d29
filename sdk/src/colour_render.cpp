#include "colour_render.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <mutex>

namespace pvx3::detail {
namespace {

uint8_t clamp_byte(double v) { return static_cast<uint8_t>(std::min(255.0, std::max(0.0, v + 0.5))); }

// Lamp near the ceiling, a little behind the cameras.
constexpr vec3 kLamp = {300, -1300, 600};

}  // namespace

vec3 colour_pose::origin() const
{
    // c = R p + t = 0  =>  p = -R^T t
    const double* r = rotation;
    const double* t = translation;
    return {-(r[0] * t[0] + r[3] * t[1] + r[6] * t[2]), -(r[1] * t[0] + r[4] * t[1] + r[7] * t[2]),
            -(r[2] * t[0] + r[5] * t[1] + r[8] * t[2])};
}

vec3 colour_pose::to_world(vec3 d) const
{
    const double* r = rotation;
    return {r[0] * d.x + r[3] * d.y + r[6] * d.z, r[1] * d.x + r[4] * d.y + r[7] * d.z,
            r[2] * d.x + r[5] * d.y + r[8] * d.z};
}

vec3 colour_pose::to_camera(vec3 p) const
{
    const double* r = rotation;
    const double* t = translation;
    return {r[0] * p.x + r[1] * p.y + r[2] * p.z + t[0], r[3] * p.x + r[4] * p.y + r[5] * p.z + t[1],
            r[6] * p.x + r[7] * p.y + r[8] * p.z + t[2]};
}

void bgr_pair_to_yuyv(const uint8_t* bgr, uint8_t* yuyv)
{
    // BT.601 video range in 16.16 fixed point (coefficients x 65536).
    const int b0 = bgr[0], g0 = bgr[1], r0 = bgr[2], b1 = bgr[3], g1 = bgr[4], r1 = bgr[5];
    const int y0 = (16829 * r0 + 33039 * g0 + 6416 * b0 + (16 << 16) + 32768) >> 16;
    const int y1 = (16829 * r1 + 33039 * g1 + 6416 * b1 + (16 << 16) + 32768) >> 16;
    const int r = r0 + r1, g = g0 + g1, b = b0 + b1;  // chroma of the pair's mean
    const int u = (-9714 * r - 19071 * g + 28784 * b + (256 << 16) + 65536) >> 17;
    const int v = (28784 * r - 24103 * g - 4681 * b + (256 << 16) + 65536) >> 17;
    yuyv[0] = static_cast<uint8_t>(std::min(255, std::max(0, y0)));
    yuyv[1] = static_cast<uint8_t>(std::min(255, std::max(0, u)));
    yuyv[2] = static_cast<uint8_t>(std::min(255, std::max(0, y1)));
    yuyv[3] = static_cast<uint8_t>(std::min(255, std::max(0, v)));
}

struct colour_statics {
    std::vector<float> rays;   // world directions, 3 floats per pixel
    std::vector<float> range;  // distance to the static scene along each ray
    std::vector<uint8_t> bgr;
    std::vector<uint8_t> yuyv;
};

colour_renderer::colour_renderer(std::shared_ptr<const scene> world, const factory_calibration& cal,
                                 int width, int height)
    : world_(std::move(world)), width_(width), height_(height)
{
    lens_ = cal.colour.width == width ? cal.colour : cal.colour.scaled(double(width) / cal.colour.width, width, height);
    std::copy(cal.rotation, cal.rotation + 9, pose_.rotation);
    std::copy(cal.translation, cal.translation + 3, pose_.translation);
    static std::mutex cache_mutex;
    static auto* cache = new std::map<std::pair<int, int>, std::shared_ptr<const colour_statics>>();
    {
        std::lock_guard<std::mutex> lock(cache_mutex);
        auto& slot = (*cache)[{width, height}];
        if (!slot)
            slot = build_statics();
        statics_ = slot;
    }
    bgr_ = statics_->bgr;
    yuyv_ = statics_->yuyv;
}

std::shared_ptr<const colour_statics> colour_renderer::build_statics() const
{
    auto s = std::make_shared<colour_statics>();
    const size_t n = size_t(width_) * height_;
    s->rays.resize(3 * n);
    s->range.resize(n);
    s->bgr.resize(3 * n);
    s->yuyv.resize(2 * n);
    const vec3 o = pose_.origin();
    for (int v = 0; v < height_; ++v)
        for (int u = 0; u < width_; ++u) {
            double x, y;
            lens_.pixel_to_ray(u, v, x, y);
            const vec3 d = normalised(pose_.to_world({x, y, 1.0}));
            const size_t p = size_t(v) * width_ + u;
            s->rays[3 * p] = float(d.x);
            s->rays[3 * p + 1] = float(d.y);
            s->rays[3 * p + 2] = float(d.z);
            const hit h = world_->trace_static(o, d);
            s->range[p] = float(h.t);
            shade(h, &s->bgr[3 * p]);
        }
    for (size_t p = 0; p + 1 < n; p += 2)
        bgr_pair_to_yuyv(&s->bgr[3 * p], &s->yuyv[2 * p]);
    return s;
}

void colour_renderer::shade(const hit& h, uint8_t* bgr) const
{
    const surface_look s = world_->look(h);
    const vec3 to_lamp = normalised(kLamp - h.point);
    const double diffuse = std::max(0.0, dot(h.normal, to_lamp));
    const double light = 0.35 + 0.65 * diffuse;
    bgr[0] = clamp_byte(255.0 * s.b * light);
    bgr[1] = clamp_byte(255.0 * s.g * light);
    bgr[2] = clamp_byte(255.0 * s.r * light);
}

bool colour_renderer::moving_bounds(double time_s, int& x0, int& y0, int& x1, int& y1) const
{
    const vec3 c = world_->moving_centre(time_s);
    const double r = world_->moving_radius();
    double u_lo = 1e9, v_lo = 1e9, u_hi = -1e9, v_hi = -1e9;
    for (int corner = 0; corner < 8; ++corner) {
        const vec3 p = pose_.to_camera({c.x + ((corner & 1) ? r : -r), c.y + ((corner & 2) ? r : -r),
                                        c.z + ((corner & 4) ? r : -r)});
        double u, v;
        if (!lens_.project(p.x, p.y, p.z, u, v)) {
            u_lo = v_lo = -1e9;
            u_hi = v_hi = 1e9;
            break;
        }
        u_lo = std::min(u_lo, u);
        u_hi = std::max(u_hi, u);
        v_lo = std::min(v_lo, v);
        v_hi = std::max(v_hi, v);
    }
    const int margin = 6;
    x0 = std::max(0, int(std::floor(u_lo)) - margin);
    y0 = std::max(0, int(std::floor(v_lo)) - margin);
    x1 = std::min(width_ - 1, int(std::ceil(u_hi)) + margin);
    y1 = std::min(height_ - 1, int(std::ceil(v_hi)) + margin);
    return x0 <= x1 && y0 <= y1;
}

void colour_renderer::convert_region(int x0, int y0, int x1, int y1)
{
    x0 &= ~1;
    x1 = std::min(width_ - 1, x1 | 1);
    for (int v = y0; v <= y1; ++v)
        for (int u = x0; u < x1; u += 2) {
            const size_t p = size_t(v) * width_ + u;
            bgr_pair_to_yuyv(&bgr_[3 * p], &yuyv_[2 * p]);
        }
}

void colour_renderer::render(double time_s, bool flip_vertical, bool flip_horizontal, uint8_t* out)
{
    int x0, y0, x1, y1;
    const bool now = moving_bounds(time_s, x0, y0, x1, y1);
    if (have_moving_)
        for (int v = my0_; v <= my1_; ++v)
            std::copy(statics_->bgr.begin() + 3 * (size_t(v) * width_ + mx0_),
                      statics_->bgr.begin() + 3 * (size_t(v) * width_ + mx1_ + 1),
                      bgr_.begin() + 3 * (size_t(v) * width_ + mx0_));
    if (now) {
        const vec3 o = pose_.origin();
        for (int v = y0; v <= y1; ++v)
            for (int u = x0; u <= x1; ++u) {
                const size_t p = size_t(v) * width_ + u;
                const float* r = &statics_->rays[3 * p];
                const vec3 d = {r[0], r[1], r[2]};
                const hit h = world_->trace_moving(o, d, time_s);
                if (h.object != kNoObject && h.t < statics_->range[p])
                    shade(h, &bgr_[3 * p]);
            }
    }
    if (have_moving_)
        convert_region(mx0_, my0_, mx1_, my1_);
    if (now)
        convert_region(x0, y0, x1, y1);
    have_moving_ = now;
    mx0_ = x0, my0_ = y0, mx1_ = x1, my1_ = y1;

    flip_yuyv(yuyv_.data(), width_, height_, flip_vertical, flip_horizontal, out);
}

void flip_yuyv(const uint8_t* src_image, int width, int height, bool vertical, bool horizontal, uint8_t* dst_image)
{
    const size_t row_bytes = size_t(2) * width;
    for (int v = 0; v < height; ++v) {
        const uint8_t* src = src_image + size_t(vertical ? height - 1 - v : v) * row_bytes;
        uint8_t* dst = dst_image + size_t(v) * row_bytes;
        if (!horizontal) {
            std::copy(src, src + row_bytes, dst);
            continue;
        }
        const int pairs = width / 2;
        for (int k = 0; k < pairs; ++k) {
            const uint8_t* s = src + 4 * k;
            uint8_t* d = dst + 4 * (pairs - 1 - k);
            d[0] = s[2];
            d[1] = s[1];
            d[2] = s[0];
            d[3] = s[3];
        }
    }
}

}  // namespace pvx3::detail
