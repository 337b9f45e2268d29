// Pinhole camera with Brown-Conrady distortion (k1, k2, p1, p2, k3), the model
// of the calibration block. Camera frame: x right, y down, z forward, mm.
#pragma once

#include <vector>

namespace pvx3::detail {

struct lens_model {
    double fx = 0, fy = 0, cx = 0, cy = 0;
    double k1 = 0, k2 = 0, p1 = 0, p2 = 0, k3 = 0;
    int width = 0, height = 0;

    // Normalised undistorted (x, y) to distorted normalised coordinates.
    void distort(double x, double y, double& xd, double& yd) const;
    // Pixel (u, v) of the distorted image to the undistorted normalised ray
    // (x, y, 1), solved to well below a thousandth of a pixel where the lens
    // model can be inverted; beyond a lens's fold, the closest ray.
    void pixel_to_ray(double u, double v, double& x, double& y) const;
    // Camera-frame point to distorted pixel; false behind the camera.
    bool project(double X, double Y, double Z, double& u, double& v) const;
    // The same model for an image scaled by `s` (binned or smaller stream).
    lens_model scaled(double s, int new_width, int new_height) const;
};

// Undistorted normalised rays of every pixel centre, row-major, 2 floats per pixel.
std::vector<float> ray_map(const lens_model& lens);

}  // namespace pvx3::detail
