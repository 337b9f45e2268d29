#include "calibration.h"

#include <cmath>
#include <cstring>

#include "qzapi/reconstruction.h"

namespace pvx3::detail {
namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kLight = 3e8;  // speed of light as the reconstruction library takes it, m/s

// Wiggling tables sample the cyclic error every 50 mm (step 0.02 per mm).
constexpr double kWiggleSpacing = 50.0;
constexpr int kWiggleEntries[2] = {39, 31};

// Rotation from small angles (radians) about x, y, z: Rz * Ry * Rx.
void rotation_from_angles(double ax, double ay, double az, double* r)
{
    const double cx = std::cos(ax), sx = std::sin(ax);
    const double cy = std::cos(ay), sy = std::sin(ay);
    const double cz = std::cos(az), sz = std::sin(az);
    r[0] = cz * cy;
    r[1] = cz * sy * sx - sz * cx;
    r[2] = cz * sy * cx + sz * sx;
    r[3] = sz * cy;
    r[4] = sz * sy * sx + cz * cx;
    r[5] = sz * sy * cx - cz * sx;
    r[6] = -sy;
    r[7] = cy * sx;
    r[8] = cy * cx;
}

}  // namespace

double tof_error_model::range_mm(int ch) const { return std::floor(kLight / (2 * frequency_hz[ch]) * 1000.0); }

double tof_error_model::wiggle(int ch, double d_mm) const
{
    const double w = 2 * kPi * d_mm / range_mm(ch);
    return wiggle_amplitude_mm[ch][0] * std::sin(4 * w + wiggle_phase[ch][0])
           + wiggle_amplitude_mm[ch][1] * std::sin(8 * w + wiggle_phase[ch][1]);
}

double tof_error_model::fitting_offset(int ch, double column, double row) const
{
    const double x = column / 100.0, y = row / 100.0;
    const double* c = fitting[ch];
    return 100.0 * (c[0] + c[1] * x + c[2] * y + c[3] * x * x + c[4] * x * y + c[5] * y * y);
}

double tof_error_model::temperature_drift(int ch, double t_c) const
{
    const double* p = temperature_poly[ch];
    return ((p[0] * t_c + p[1]) * t_c + p[2]) * t_c + p[3];
}

factory_calibration make_factory_calibration(const std::string& serial)
{
    factory_calibration c;
    c.serial = serial;
    c.depth.fx = 372.4;
    c.depth.fy = 371.8;
    c.depth.cx = 319.6;
    c.depth.cy = 241.2;
    c.depth.k1 = -0.12;
    c.depth.k2 = 0.03;
    c.depth.p1 = 0.0004;
    c.depth.p2 = -0.0003;
    c.depth.k3 = 0.0;
    c.depth.width = 640;
    c.depth.height = 480;

    c.colour.fx = 1010.5;
    c.colour.fy = 1008.2;
    c.colour.cx = 962.5;
    c.colour.cy = 541.8;
    c.colour.k1 = -0.09;
    c.colour.k2 = 0.015;
    c.colour.p1 = 0.0008;
    c.colour.p2 = -0.0005;
    c.colour.k3 = 0.002;
    c.colour.width = 1920;
    c.colour.height = 1080;

    rotation_from_angles(0.004, -0.012, 0.003, c.rotation);
    c.translation[0] = -44.5;
    c.translation[1] = 0.6;
    c.translation[2] = -1.8;

    tof_error_model& t = c.tof;
    t.global_offset_mm[0] = -652.0;
    t.global_offset_mm[1] = -741.0;
    t.wiggle_amplitude_mm[0][0] = 8.0;
    t.wiggle_amplitude_mm[0][1] = 2.0;
    t.wiggle_phase[0][0] = 0.7;
    t.wiggle_phase[0][1] = 1.9;
    t.wiggle_amplitude_mm[1][0] = 6.5;
    t.wiggle_amplitude_mm[1][1] = 2.5;
    t.wiggle_phase[1][0] = 2.1;
    t.wiggle_phase[1][1] = -0.4;
    const double fit80[6] = {0.072, -0.0768, -0.0576, 0.012, 0.001, 0.012};
    const double fit100[6] = {0.05, -0.06, -0.05, 0.010, -0.002, 0.011};
    const double temp80[4] = {1.5e-5, 0.012, 1.55, -56.0};
    const double temp100[4] = {1.2e-5, 0.010, 1.30, -46.5};
    for (int i = 0; i < 6; ++i) {
        t.fitting[0][i] = fit80[i];
        t.fitting[1][i] = fit100[i];
    }
    for (int i = 0; i < 4; ++i) {
        t.temperature_poly[0][i] = temp80[i];
        t.temperature_poly[1][i] = temp100[i];
    }
    t.depth_offset_mm = 8;
    return c;
}

void fill_calibration_block(const factory_calibration& cal, qzapi::CalibrationBlock& b, bool binned)
{
    b = qzapi::CalibrationBlock{};
    b.frequency1 = static_cast<int32_t>(cal.tof.frequency_hz[0]);
    b.frequency2 = static_cast<int32_t>(cal.tof.frequency_hz[1]);
    b.serialNumber = cal.serial;

    const lens_model& d = cal.depth;
    const float depth_dist[5] = {float(d.k1), float(d.k2), float(d.p1), float(d.p2), float(d.k3)};
    const float depth_k[4] = {float(d.fx), float(d.fy), float(d.cx), float(d.cy)};
    const lens_model& c = cal.colour;
    const float colour_dist[5] = {float(c.k1), float(c.k2), float(c.p1), float(c.p2), float(c.k3)};
    const float colour_k[4] = {float(c.fx), float(c.fy), float(c.cx), float(c.cy)};
    for (int i = 0; i < 5; ++i) {
        b.distCoeffs[i] = depth_dist[i];
        b.colourDistCoeffs[i] = colour_dist[i];
    }
    for (int i = 0; i < 4; ++i) {
        b.depthIntrinsics[i] = depth_k[i];
        b.colourIntrinsics[i] = colour_k[i];
    }
    b.depthGridWidth = binned ? d.width / 2 : d.width;
    b.depthGridHeight = binned ? d.height / 2 : d.height;
    b.colourWidth = c.width;
    b.colourHeight = c.height;

    // Offsets are stored in metres, as the factory tool writes them.
    b.globalOffset80 = static_cast<float>(cal.tof.global_offset_mm[0] / 1000.0);
    b.globalOffset100 = static_cast<float>(cal.tof.global_offset_mm[1] / 1000.0);
    b.wigglingError80Count = kWiggleEntries[0];
    b.wigglingError100Count = kWiggleEntries[1];
    for (int i = 0; i < kWiggleEntries[0]; ++i)
        b.wigglingError80[i] = static_cast<float>(cal.tof.wiggle(0, i * kWiggleSpacing));
    for (int i = 0; i < kWiggleEntries[1]; ++i)
        b.wigglingError100[i] = static_cast<float>(cal.tof.wiggle(1, i * kWiggleSpacing));
    for (int i = 0; i < 6; ++i) {
        b.fitting80[i] = static_cast<float>(cal.tof.fitting[0][i]);
        b.fitting100[i] = static_cast<float>(cal.tof.fitting[1][i]);
    }
    for (int i = 0; i < 4; ++i) {
        b.tempOffset80[i] = static_cast<float>(cal.tof.temperature_poly[0][i]);
        b.tempOffset100[i] = static_cast<float>(cal.tof.temperature_poly[1][i]);
    }
    b.depthOffset = cal.tof.depth_offset_mm;

    for (int i = 0; i < 9; ++i)
        b.otherOffset2[i] = static_cast<float>(cal.rotation[i]);
    for (int i = 0; i < 3; ++i)
        b.otherOffset3[i] = static_cast<float>(cal.translation[i]);
    // No rotation tweaks and no near-range parallax shift: the extrinsics are
    // exact for this camera.
    b.otherOffset4Count = 6;
    // Frequencies in MHz and unit channel gains.
    b.otherOffset5Count = 4;
    b.otherOffset5[0] = static_cast<float>(cal.tof.frequency_hz[0] / 1e6);
    b.otherOffset5[1] = static_cast<float>(cal.tof.frequency_hz[1] / 1e6);
    b.otherOffset5[2] = 1.0f;
    b.otherOffset5[3] = 1.0f;
}

void calibration_arguments(const factory_calibration& cal, int width, int height, pvx3_calibration& out)
{
    qzapi::CalibrationBlock block;
    fill_calibration_block(cal, block, width * 2 == cal.depth.width && height * 2 == cal.depth.height);
    out.device_type = kReconstructionDeviceType;
    out.mode = kReconstructionMode;
    out.width = width;
    out.height = height;
    out.frequency1 = block.frequency1;
    out.frequency2 = block.frequency2;
    out.serial_number = block.serialNumber;
    out.words.resize(1100);
    std::memcpy(out.words.data(), &block.distCoeffs[0], out.words.size() * sizeof(uint32_t));
}

}  // namespace pvx3::detail
