#include "lens.h"

#include <cmath>

namespace pvx3::detail {

void lens_model::distort(double x, double y, double& xd, double& yd) const
{
    const double r2 = x * x + y * y;
    const double k = 1 + r2 * (k1 + r2 * (k2 + r2 * k3));
    xd = x * k + 2 * p1 * x * y + p2 * (r2 + 2 * x * x);
    yd = y * k + 2 * p2 * x * y + p1 * (r2 + 2 * y * y);
}

void lens_model::pixel_to_ray(double u, double v, double& x, double& y) const
{
    const double xd = (u - cx) / fx;
    const double yd = (v - cy) / fy;
    x = xd;
    y = yd;
    // Newton on distort(x, y) = (xd, yd) with a numeric Jacobian.
    for (int it = 0; it < 30; ++it) {
        double ex, ey;
        distort(x, y, ex, ey);
        ex -= xd;
        ey -= yd;
        if (std::abs(ex) < 1e-12 && std::abs(ey) < 1e-12)
            break;
        const double h = 1e-7;
        double ax, ay, bx, by;
        distort(x + h, y, ax, ay);
        distort(x, y + h, bx, by);
        double j11 = (ax - xd - ex) / h, j21 = (ay - yd - ey) / h;
        double j12 = (bx - xd - ex) / h, j22 = (by - yd - ey) / h;
        const double det = j11 * j22 - j12 * j21;
        if (std::abs(det) < 1e-12)
            break;
        x -= (j22 * ex - j12 * ey) / det;
        y -= (-j21 * ex + j11 * ey) / det;
    }
}

bool lens_model::project(double X, double Y, double Z, double& u, double& v) const
{
    if (Z <= 1e-6)
        return false;
    double xd, yd;
    distort(X / Z, Y / Z, xd, yd);
    u = xd * fx + cx;
    v = yd * fy + cy;
    return true;
}

lens_model lens_model::scaled(double s, int new_width, int new_height) const
{
    lens_model l = *this;
    l.fx = fx * s;
    l.fy = fy * s;
    // Pixel centres: u' + 0.5 = s (u + 0.5).
    l.cx = (cx + 0.5) * s - 0.5;
    l.cy = (cy + 0.5) * s - 0.5;
    l.width = new_width;
    l.height = new_height;
    return l;
}

std::vector<float> ray_map(const lens_model& lens)
{
    std::vector<float> rays(size_t(lens.width) * lens.height * 2);
    for (int v = 0; v < lens.height; ++v)
        for (int u = 0; u < lens.width; ++u) {
            double x, y;
            lens.pixel_to_ray(u, v, x, y);
            const size_t i = (size_t(v) * lens.width + u) * 2;
            rays[i] = static_cast<float>(x);
            rays[i + 1] = static_cast<float>(y);
        }
    return rays;
}

}  // namespace pvx3::detail

