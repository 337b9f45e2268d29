// The virtual camera's world: a room with a few objects, one of them moving.
// Coordinates are those of the depth camera (x right, y down, z forward, mm);
// the camera does not move.
#pragma once

#include <cstdint>
#include <vector>

namespace pvx3::detail {

struct vec3 {
    double x = 0, y = 0, z = 0;
};
inline vec3 operator+(vec3 a, vec3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
inline vec3 operator-(vec3 a, vec3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
inline vec3 operator*(vec3 a, double s) { return {a.x * s, a.y * s, a.z * s}; }
inline double dot(vec3 a, vec3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
vec3 normalised(vec3 a);

enum object_id : int16_t {
    kNoObject = 0,
    kBackWall = 1,
    kLeftWall = 2,
    kRightWall = 3,
    kFloor = 4,
    kCeiling = 5,
    kPosterBox = 6,
    kCheckerBoard = 7,
    kWhiteSphere = 8,
    kDarkCylinder = 9,
    kMovingSphere = 10,
    kNearPanel = 11,
    kObjectCount = 12,
};

struct hit {
    double t = 0;  // distance along the unit ray, mm
    int16_t object = kNoObject;
    vec3 normal;  // unit, facing the ray origin
    vec3 point;
};

struct surface_look {
    float ir_reflectivity = 0;  // at the illumination wavelength, 0..1
    float b = 0, g = 0, r = 0;  // visible albedo, 0..1
};

class scene {
public:
    scene();

    // Nearest hit of the ray origin + t dir (dir unit length), t > 0.
    hit trace(vec3 origin, vec3 dir, double time_s) const;
    // Nearest hit among the static objects only.
    hit trace_static(vec3 origin, vec3 dir) const;
    // Hit of the moving object alone; t = 0 when missed.
    hit trace_moving(vec3 origin, vec3 dir, double time_s) const;
    // Reflectivity and colour of a hit (textures included).
    surface_look look(const hit& h) const;

    // Moving object: a sphere swinging left and right.
    vec3 moving_centre(double time_s) const;
    double moving_radius() const { return moving_radius_; }

private:
    struct box {
        vec3 lo, hi;
        int16_t id;
    };
    struct sphere {
        vec3 c;
        double r;
        int16_t id;
    };
    struct cylinder {  // vertical axis
        double x, z, r, y_lo, y_hi;
        int16_t id;
    };
    struct rect {  // centre, unit axes, half sizes
        vec3 c, ax, ay, n;
        double hx, hy;
        int16_t id;
    };

    std::vector<box> boxes_;
    std::vector<sphere> spheres_;
    std::vector<cylinder> cylinders_;
    std::vector<rect> rects_;
    vec3 room_lo_, room_hi_;
    double moving_radius_ = 0;
};

}  // namespace pvx3::detail
