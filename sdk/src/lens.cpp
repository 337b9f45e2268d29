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
    auto residual = [&](double px, double py, double& ex, double& ey) {
        distort(px, py, ex, ey);
        ex -= xd;
        ey -= yd;
        return ex * ex + ey * ey;
    };
    x = xd;
    y = yd;
    double ex, ey;
    double err = residual(x, y, ex, ey);
    // Damped Newton with a numeric Jacobian: a step that does not reduce the
    // residual is halved, so pixels beyond a strong lens's fold (where no
    // exact inverse exists) end at the closest ray instead of diverging.
    for (int it = 0; it < 40 && err > 1e-24; ++it) {
        const double h = 1e-7;
        double ax, ay, bx, by;
        distort(x + h, y, ax, ay);
        distort(x, y + h, bx, by);
        const double j11 = (ax - xd - ex) / h, j21 = (ay - yd - ey) / h;
        const double j12 = (bx - xd - ex) / h, j22 = (by - yd - ey) / h;
        const double det = j11 * j22 - j12 * j21;
        if (std::abs(det) < 1e-12)
            break;
        const double sx = (j22 * ex - j12 * ey) / det;
        const double sy = (-j21 * ex + j11 * ey) / det;
        double step = 1.0;
        bool improved = false;
        for (int half = 0; half < 30; ++half, step *= 0.5) {
            double nx, ny;
            const double e = residual(x - step * sx, y - step * sy, nx, ny);
            if (e < err) {
                x -= step * sx;
                y -= step * sy;
                err = e;
                ex = nx;
                ey = ny;
                improved = true;
                break;
            }
        }
        if (!improved)
            break;
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
