#include "scene.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace pvx3::detail {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kEps = 1e-6;
constexpr double kPi = 3.14159265358979323846;

// Swing of the moving sphere: amplitude (mm) and period (s).
constexpr double kSwingAmplitude = 750.0;
constexpr double kSwingPeriod = 12.0;

bool better(double t, const hit& best) { return t > kEps && (best.object == kNoObject || t < best.t); }

}  // namespace

vec3 normalised(vec3 a)
{
    const double n = std::sqrt(dot(a, a));
    return n > 0 ? a * (1.0 / n) : a;
}

scene::scene()
{
    room_lo_ = {-2600, -1500, -500};
    room_hi_ = {2600, 1100, 5000};
    // Poster box standing on the floor, poster on its front face.
    boxes_.push_back({{-1900, 300, 2600}, {-1000, 1100, 3300}, kPosterBox});
    // White ball resting on the floor.
    spheres_.push_back({{-250, 700, 2300}, 400, kWhiteSphere});
    // Dark post.
    cylinders_.push_back({1900, 2800, 250, -300, 1100, kDarkCylinder});
    // Checkerboard turned 20 degrees about the vertical axis.
    {
        const double a = 20.0 * kPi / 180.0;
        rect r;
        r.c = {900, -150, 3400};
        r.ax = {std::cos(a), 0, std::sin(a)};
        r.ay = {0, 1, 0};
        r.n = normalised({-std::sin(a), 0, std::cos(a)});
        r.hx = 600;
        r.hy = 450;
        r.id = kCheckerBoard;
        rects_.push_back(r);
    }
    // Small card just in front of the lens (saturates at long integration times).
    {
        rect r;
        r.c = {-330, 225, 440};
        r.ax = {1, 0, 0};
        r.ay = {0, 1, 0};
        r.n = {0, 0, -1};
        r.hx = 90;
        r.hy = 75;
        r.id = kNearPanel;
        rects_.push_back(r);
    }
    moving_radius_ = 230;
}

vec3 scene::moving_centre(double time_s) const
{
    return {kSwingAmplitude * std::sin(2 * kPi * time_s / kSwingPeriod), -250, 1700};
}

hit scene::trace_static(vec3 o, vec3 d) const
{
    hit best;
    // Room: the ray leaves the room through the nearest wall.
    {
        double tx = d.x > 0 ? (room_hi_.x - o.x) / d.x : d.x < 0 ? (room_lo_.x - o.x) / d.x
                                                                 : kInf;
        double ty = d.y > 0 ? (room_hi_.y - o.y) / d.y : d.y < 0 ? (room_lo_.y - o.y) / d.y
                                                                 : kInf;
        double tz = d.z > 0 ? (room_hi_.z - o.z) / d.z : d.z < 0 ? (room_lo_.z - o.z) / d.z
                                                                 : kInf;
        double t = std::min({tx, ty, tz});
        best.t = t;
        if (t == tx) {
            best.object = d.x > 0 ? kRightWall : kLeftWall;
            best.normal = {d.x > 0 ? -1.0 : 1.0, 0, 0};
        } else if (t == ty) {
            best.object = d.y > 0 ? kFloor : kCeiling;
            best.normal = {0, d.y > 0 ? -1.0 : 1.0, 0};
        } else {
            best.object = kBackWall;
            best.normal = {0, 0, d.z > 0 ? -1.0 : 1.0};
        }
    }
    for (const box& b : boxes_) {
        double tmin = -kInf, tmax = kInf;
        int axis = -1;
        double sign = 0;
        const double os[3] = {o.x, o.y, o.z}, ds[3] = {d.x, d.y, d.z};
        const double lo[3] = {b.lo.x, b.lo.y, b.lo.z}, hi[3] = {b.hi.x, b.hi.y, b.hi.z};
        bool miss = false;
        for (int k = 0; k < 3 && !miss; ++k) {
            if (std::abs(ds[k]) < 1e-12) {
                if (os[k] < lo[k] || os[k] > hi[k])
                    miss = true;
                continue;
            }
            double t1 = (lo[k] - os[k]) / ds[k], t2 = (hi[k] - os[k]) / ds[k];
            double s = -1;
            if (t1 > t2) {
                std::swap(t1, t2);
                s = 1;
            }
            if (t1 > tmin) {
                tmin = t1;
                axis = k;
                sign = s;
            }
            tmax = std::min(tmax, t2);
            if (tmin > tmax)
                miss = true;
        }
        if (!miss && axis >= 0 && better(tmin, best)) {
            best.t = tmin;
            best.object = b.id;
            best.normal = {axis == 0 ? sign : 0, axis == 1 ? sign : 0, axis == 2 ? sign : 0};
        }
    }
    for (const sphere& s : spheres_) {
        const vec3 oc = o - s.c;
        const double bq = dot(oc, d), c = dot(oc, oc) - s.r * s.r;
        const double disc = bq * bq - c;
        if (disc < 0)
            continue;
        const double t = -bq - std::sqrt(disc);
        if (better(t, best)) {
            best.t = t;
            best.object = s.id;
            best.normal = normalised(o + d * t - s.c);
        }
    }
    for (const cylinder& c : cylinders_) {
        const double ox = o.x - c.x, oz = o.z - c.z;
        const double a = d.x * d.x + d.z * d.z;
        if (a > 1e-12) {
            const double bq = ox * d.x + oz * d.z, cq = ox * ox + oz * oz - c.r * c.r;
            const double disc = bq * bq - a * cq;
            if (disc >= 0) {
                const double t = (-bq - std::sqrt(disc)) / a;
                const double y = o.y + d.y * t;
                if (y >= c.y_lo && y <= c.y_hi && better(t, best)) {
                    best.t = t;
                    best.object = c.id;
                    best.normal = normalised({ox + d.x * t, 0, oz + d.z * t});
                }
            }
        }
        if (std::abs(d.y) > 1e-12) {  // top cap
            const double t = (c.y_lo - o.y) / d.y;
            const double px = o.x + d.x * t - c.x, pz = o.z + d.z * t - c.z;
            if (px * px + pz * pz <= c.r * c.r && better(t, best)) {
                best.t = t;
                best.object = c.id;
                best.normal = {0, -1, 0};
            }
        }
    }
    for (const rect& r : rects_) {
        const double dn = dot(d, r.n);
        if (std::abs(dn) < 1e-12)
            continue;
        const double t = dot(r.c - o, r.n) / dn;
        if (!better(t, best))
            continue;
        const vec3 p = o + d * t - r.c;
        if (std::abs(dot(p, r.ax)) <= r.hx && std::abs(dot(p, r.ay)) <= r.hy) {
            best.t = t;
            best.object = r.id;
            best.normal = dn < 0 ? r.n : r.n * -1.0;
        }
    }
    best.point = o + d * best.t;
    return best;
}

hit scene::trace_moving(vec3 o, vec3 d, double time_s) const
{
    hit h;
    const vec3 c = moving_centre(time_s);
    const vec3 oc = o - c;
    const double bq = dot(oc, d), cq = dot(oc, oc) - moving_radius_ * moving_radius_;
    const double disc = bq * bq - cq;
    if (disc < 0)
        return h;
    const double t = -bq - std::sqrt(disc);
    if (t <= kEps)
        return h;
    h.t = t;
    h.object = kMovingSphere;
    h.point = o + d * t;
    h.normal = normalised(h.point - c);
    return h;
}

hit scene::trace(vec3 o, vec3 d, double time_s) const
{
    hit s = trace_static(o, d);
    hit m = trace_moving(o, d, time_s);
    return (m.object != kNoObject && m.t < s.t) ? m : s;
}

surface_look scene::look(const hit& h) const
{
    surface_look s;
    const vec3 p = h.point;
    auto set = [&s](float ir, float r, float g, float b) {
        s.ir_reflectivity = ir;
        s.r = r;
        s.g = g;
        s.b = b;
    };
    switch (h.object) {
    case kBackWall:
        set(0.85f, 0.86f, 0.82f, 0.72f);
        break;
    case kLeftWall:
    case kRightWall:
        set(0.80f, 0.66f, 0.74f, 0.82f);
        break;
    case kCeiling:
        set(0.85f, 0.92f, 0.92f, 0.90f);
        break;
    case kFloor: {
        // Floor tiles of 500 mm.
        const bool odd = (int(std::floor(p.x / 500)) + int(std::floor(p.z / 500))) & 1;
        set(0.55f, odd ? 0.55f : 0.45f, odd ? 0.40f : 0.33f, odd ? 0.26f : 0.20f);
        break;
    }
    case kPosterBox: {
        set(0.60f, 0.62f, 0.52f, 0.38f);
        if (std::abs(h.normal.z + 1) < 1e-9) {
            // Poster on the front face: rings over diagonal stripes, framed.
            const double u = (p.x + 1900) / 900.0, v = (p.y - 300) / 800.0;
            if (u < 0.05 || u > 0.95 || v < 0.05 || v > 0.95) {
                set(0.30f, 0.08f, 0.08f, 0.10f);
            } else {
                const double ring = std::hypot(u - 0.5, (v - 0.45) * 0.9);
                const bool stripe = int(std::floor((u + v) * 10)) & 1;
                if (ring < 0.3) {
                    const int band = int(ring / 0.06);
                    const float c[5][3] = {{0.95f, 0.85f, 0.1f}, {0.9f, 0.2f, 0.15f}, {0.15f, 0.5f, 0.9f}, {0.1f, 0.7f, 0.3f}, {0.9f, 0.9f, 0.9f}};
                    set(0.7f, c[band][0], c[band][1], c[band][2]);
                } else {
                    set(0.65f, stripe ? 0.95f : 0.2f, stripe ? 0.6f : 0.25f, stripe ? 0.2f : 0.6f);
                }
            }
        }
        break;
    }
    case kCheckerBoard: {
        const rect& r = rects_[0];
        const vec3 q = p - r.c;
        const double u = dot(q, r.ax) + r.hx, v = dot(q, r.ay) + r.hy;  // 0..1200, 0..900
        const double border = 75;
        if (u < border || v < border || u > 2 * r.hx - border || v > 2 * r.hy - border) {
            set(0.85f, 0.95f, 0.95f, 0.95f);
        } else {
            const int cu = int((u - border) / 131.25), cv = int((v - border) / 125.0);
            const bool black = (cu + cv) & 1;
            if (black)
                set(0.30f, 0.05f, 0.05f, 0.05f);
            else
                set(0.85f, 0.95f, 0.95f, 0.95f);
        }
        break;
    }
    case kWhiteSphere:
        set(0.90f, 0.93f, 0.93f, 0.93f);
        break;
    case kDarkCylinder:
        set(0.15f, 0.45f, 0.08f, 0.08f);
        break;
    case kMovingSphere: {
        // Orange with a dark band around its equator, so its motion shows.
        const vec3 n = h.normal;
        const bool band = std::abs(n.y) < 0.15;
        set(0.70f, band ? 0.15f : 0.95f, band ? 0.15f : 0.55f, band ? 0.20f : 0.10f);
        break;
    }
    case kNearPanel:
        set(0.50f, 0.20f, 0.35f, 0.85f);
        break;
    default:
        break;
    }
    return s;
}

}  // namespace pvx3::detail
