// Rendering of the colour camera's image (packed YUYV 4:2:2) from its own pose
// and lens. The static scene is rendered once; each frame re-renders only the
// region the moving object covers now or covered in the previous frame.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "calibration.h"
#include "scene.h"

namespace pvx3::detail {

// Colour camera pose: points map from the depth camera frame by
// colour = rotation * depth + translation.
struct colour_pose {
    double rotation[9];
    double translation[3];
    vec3 origin() const;                  // camera centre in the depth frame
    vec3 to_world(vec3 direction) const;  // rotates a colour-frame direction
    vec3 to_camera(vec3 point) const;     // depth-frame point to colour frame
};

// BT.601 video-range conversion of two B, G, R pixels to Y0 U Y1 V.
void bgr_pair_to_yuyv(const uint8_t* bgr, uint8_t* yuyv);

// Mirrors a width x height YUYV image: mirrored pixel pairs keep their chroma
// and swap their two lumas.
void flip_yuyv(const uint8_t* src, int width, int height, bool vertical, bool horizontal, uint8_t* dst);

struct colour_statics;

class colour_renderer {
public:
    colour_renderer(std::shared_ptr<const scene> world, const factory_calibration& cal, int width, int height);

    int width() const { return width_; }
    int height() const { return height_; }

    // Writes width x height x 2 bytes of YUYV, mirrored as asked.
    void render(double time_s, bool flip_vertical, bool flip_horizontal, uint8_t* yuyv);

private:
    void shade(const hit& h, uint8_t* bgr) const;
    bool moving_bounds(double time_s, int& x0, int& y0, int& x1, int& y1) const;
    void convert_region(int x0, int y0, int x1, int y1);

    std::shared_ptr<const scene> world_;
    lens_model lens_;
    colour_pose pose_;
    int width_, height_;
    std::shared_ptr<const colour_statics> build_statics() const;

    // The static scene's image and rays, shared by every renderer of this
    // size: the virtual cameras all have one geometry.
    std::shared_ptr<const colour_statics> statics_;
    std::vector<uint8_t> bgr_;   // current image
    std::vector<uint8_t> yuyv_;  // current image, converted
    bool have_moving_ = false;
    int mx0_ = 0, my0_ = 0, mx1_ = -1, my1_ = -1;
};

}  // namespace pvx3::detail
