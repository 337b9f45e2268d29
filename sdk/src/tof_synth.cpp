#include "tof_synth.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <mutex>
#include <random>

#include <opencv2/core.hpp>

namespace pvx3::detail {
namespace {

using k = tof_sensor_constants;
constexpr double kPi = 3.14159265358979323846;
constexpr size_t kNoiseTable = 1 << 16;
constexpr double kInverseStep = 0.25;  // mm

uint64_t splitmix64(uint64_t& state)
{
    uint64_t z = (state += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
}

double wrap(double d, double range)
{
    d = std::fmod(d, range);
    return d < 0 ? d + range : d;
}

// One raw row: level + sign * signal + sigma * noise, rounded and clipped to
// the 10-bit range (1023 = saturated). Clipping in integers keeps the loop
// free of branches, so it vectorises.
void emit_row(const float* level, const float* signal, float sign, const float* sigma,
              const float* noise, int n, uint16_t* out)
{
    for (int s = 0; s < n; ++s) {
        int v = static_cast<int>(level[s] + sign * signal[s] + sigma[s] * noise[s] + 0.5f);
        v = v < 0 ? 0 : v;
        v = v > k::kSaturation ? k::kSaturation : v;
        out[s] = static_cast<uint16_t>(v);
    }
}

}  // namespace

void write_temperature_words(double temperature_c, uint16_t* raw)
{
    const double t = std::min(std::max(temperature_c, 0.0), 255.0 + 255.0 / 256.0);
    const int whole = static_cast<int>(t);
    const int fraction = std::min(255, static_cast<int>((t - whole) * 256.0 + 0.5));
    raw[k::kTemperatureWord] = static_cast<uint16_t>(whole << 2);
    raw[k::kTemperatureFractionWord] = static_cast<uint16_t>(fraction << 2);
}

struct tof_statics {
    std::vector<float> rays;   // unit rays, 3 floats per pixel
    std::vector<float> range;  // distance to the static scene, mm
    std::vector<tof_synthesiser::pixel_model> model;
    // Per channel: the measured distance whose corrected value is the table
    // position (mm, sampled every kInverseStep mm over one range).
    std::vector<float> inverse_wiggle[2];
};

namespace {

double measured_distance(const tof_statics& s, int ch, double corrected)
{
    const std::vector<float>& table = s.inverse_wiggle[ch];
    const double t = corrected / kInverseStep;
    const int e = std::min(int(t), int(table.size()) - 2);
    const double f = t - e;
    return (1 - f) * table[e] + f * table[e + 1];
}

}  // namespace

tof_synthesiser::tof_synthesiser(std::shared_ptr<const scene> world, const factory_calibration& cal,
                                 int width, int height, uint64_t seed)
    : world_(std::move(world)), cal_(cal), width_(width), height_(height),
      grid_step_(std::max(1, cal.depth.width / std::max(1, width)))
{
    static std::mutex cache_mutex;
    static auto* cache = new std::map<std::pair<int, int>, std::shared_ptr<const tof_statics>>();
    {
        std::lock_guard<std::mutex> lock(cache_mutex);
        auto& slot = (*cache)[{width, height}];
        if (!slot)
            slot = build_statics();
        statics_ = slot;
    }
    model_ = statics_->model;

    std::mt19937_64 gen(seed ^ 0x5DEECE66DULL);
    std::normal_distribution<float> normal(0.0f, 1.0f);
    noise_.resize(kNoiseTable + size_t(2) * width_);
    for (float& v : noise_)
        v = normal(gen);
}

std::shared_ptr<const tof_statics> tof_synthesiser::build_statics() const
{
    auto s = std::make_shared<tof_statics>();
    // The cyclic error varies slowly (|slope| < 1), so y - wiggle(y) is
    // monotonic and fixed-point steps converge; tabulate its inverse once.
    for (int ch = 0; ch < 2; ++ch) {
        const double range = cal_.tof.range_mm(ch);
        const int entries = int(range / kInverseStep) + 2;
        s->inverse_wiggle[ch].resize(entries);
        for (int e = 0; e < entries; ++e) {
            const double corrected = e * kInverseStep;
            double y = corrected;
            for (int it = 0; it < 8; ++it)
                y = corrected + cal_.tof.wiggle(ch, y);
            s->inverse_wiggle[ch][e] = float(y);
        }
    }
    const size_t n = size_t(width_) * height_;
    s->rays.resize(n * 3);
    for (int i = 0; i < height_; ++i)
        for (int j = 0; j < width_; ++j) {
            double x, y;
            cal_.depth.pixel_to_ray(j * grid_step_, i * grid_step_, x, y);
            const vec3 d = normalised({x, y, 1.0});
            float* r = &s->rays[(size_t(i) * width_ + j) * 3];
            r[0] = float(d.x);
            r[1] = float(d.y);
            r[2] = float(d.z);
        }
    s->range.resize(n);
    s->model.resize(n);
    for (size_t p = 0; p < n; ++p) {
        const float* r = &s->rays[3 * p];
        const hit h = world_->trace_static({0, 0, 0}, {r[0], r[1], r[2]});
        s->range[p] = float(h.t);
        s->model[p] = model_of(*s, int(p), h);
    }
    return s;
}

vec3 tof_synthesiser::ray(int row, int column) const
{
    const float* r = &statics_->rays[(size_t(row) * width_ + column) * 3];
    return {r[0], r[1], r[2]};
}

tof_synthesiser::pixel_model tof_synthesiser::model_of(const tof_statics& s, int index, const hit& h) const
{
    pixel_model m{};
    if (h.object == kNoObject)
        return m;
    const int row = index / width_, column = index % width_;
    const float* r = &s.rays[size_t(index) * 3];
    const vec3 d = {r[0], r[1], r[2]};
    const surface_look look = world_->look(h);
    const double cos_incidence = std::abs(dot(h.normal, d));
    const double r_m = h.t / 1000.0;
    const double amplitude = k::kAmplitudeAt1m * look.ir_reflectivity * cos_incidence / (r_m * r_m);
    m.level = float(amplitude / k::kModulationContrast + k::kAmbient * look.ir_reflectivity);

    const tof_error_model& e = cal_.tof;
    // The library projects radial distance onto the axis and then adds the
    // depth offset, so the sensor reads the radial distance less that offset
    // taken back along the ray.
    const double target = h.t - e.depth_offset_mm / d.z;
    for (int ch = 0; ch < 2; ++ch) {
        const double range = e.range_mm(ch);
        const double fitting = e.fitting_offset(ch, column * grid_step_, row * grid_step_);
        // Measured distance y satisfies y - wiggle(y) + fitting = target (mod range).
        const double y = measured_distance(s, ch, wrap(target - fitting, range));
        const double mm_per_radian = range / (2 * kPi);
        const double phase = (y - e.global_offset_mm[ch]) / mm_per_radian;
        m.i0[ch] = float(amplitude * std::cos(phase));
        m.q0[ch] = float(amplitude * std::sin(phase));
    }
    return m;
}

bool tof_synthesiser::moving_bounds(double time_s, int& x0, int& y0, int& x1, int& y1) const
{
    const vec3 c = world_->moving_centre(time_s);
    const double r = world_->moving_radius();
    double u_lo = 1e9, v_lo = 1e9, u_hi = -1e9, v_hi = -1e9;
    for (int corner = 0; corner < 8; ++corner) {
        const double X = c.x + ((corner & 1) ? r : -r);
        const double Y = c.y + ((corner & 2) ? r : -r);
        const double Z = c.z + ((corner & 4) ? r : -r);
        double u, v;
        if (!cal_.depth.project(X, Y, Z, u, v)) {
            u_lo = v_lo = -1e9;
            u_hi = v_hi = 1e9;
            break;
        }
        u_lo = std::min(u_lo, u);
        u_hi = std::max(u_hi, u);
        v_lo = std::min(v_lo, v);
        v_hi = std::max(v_hi, v);
    }
    const int margin = 4;
    x0 = std::max(0, int(std::floor(u_lo / grid_step_)) - margin);
    y0 = std::max(0, int(std::floor(v_lo / grid_step_)) - margin);
    x1 = std::min(width_ - 1, int(std::ceil(u_hi / grid_step_)) + margin);
    y1 = std::min(height_ - 1, int(std::ceil(v_hi / grid_step_)) + margin);
    return x0 <= x1 && y0 <= y1;
}

void tof_synthesiser::refresh_moving(double time_s)
{
    int x0, y0, x1, y1;
    const bool now = moving_bounds(time_s, x0, y0, x1, y1);
    // Pixels the object covered last time get the static scene back.
    if (have_moving_)
        for (int i = my0_; i <= my1_; ++i)
            std::copy(statics_->model.begin() + size_t(i) * width_ + mx0_,
                      statics_->model.begin() + size_t(i) * width_ + mx1_ + 1,
                      model_.begin() + size_t(i) * width_ + mx0_);
    have_moving_ = now;
    if (!now)
        return;
    mx0_ = x0, my0_ = y0, mx1_ = x1, my1_ = y1;
    for (int i = y0; i <= y1; ++i)
        for (int j = x0; j <= x1; ++j) {
            const size_t p = size_t(i) * width_ + j;
            const hit h = world_->trace_moving({0, 0, 0}, ray(i, j), time_s);
            if (h.object != kNoObject && h.t < statics_->range[p])
                model_[p] = model_of(*statics_, int(p), h);
        }
}

void tof_synthesiser::write_samples(const tof_frame_request& req, uint16_t* raw) const
{
    const int w2 = 2 * width_;
    const size_t sub = size_t(4) * width_ * height_;
    const float scale = float(req.integration_us / k::kReferenceIntegrationUs);
    // Temperature drift lengthens the measured distance: a phase rotation
    // shared by all pixels of a channel.
    float cos_d[2], sin_d[2];
    for (int ch = 0; ch < 2; ++ch) {
        const double range = cal_.tof.range_mm(ch);
        const double delta = cal_.tof.temperature_drift(ch, req.temperature_c) * 2 * kPi / range;
        cos_d[ch] = float(std::cos(delta));
        sin_d[ch] = float(std::sin(delta));
    }
    std::vector<float> level(w2), sigma(w2), even(w2), odd(w2);
    uint64_t rng = req.noise_seed * 0x2545F4914F6CDD1DULL + 0x1234567ULL;
    // Sub-frames of a channel: {first, second}; 80 MHz in 2 and 3, 100 MHz in 0 and 1.
    const int first_sub[2] = {2, 0};
    for (int i = 0; i < height_; ++i) {
        const pixel_model* m = &model_[size_t(i) * width_];
        for (int j = 0; j < width_; ++j) {
            const float l = float(k::kDarkLevel) + scale * m[j].level;
            const float s = std::sqrt(l / float(k::kElectronsPerLsb) + float(k::kReadNoise * k::kReadNoise));
            level[2 * j] = level[2 * j + 1] = l;
            sigma[2 * j] = sigma[2 * j + 1] = s;
        }
        for (int ch = 0; ch < 2; ++ch) {
            const float c = cos_d[ch] * scale, sn = sin_d[ch] * scale;
            for (int j = 0; j < width_; ++j) {
                const float I = m[j].i0[ch] * c - m[j].q0[ch] * sn;
                const float Q = m[j].i0[ch] * sn + m[j].q0[ch] * c;
                even[2 * j] = I;
                even[2 * j + 1] = -Q;
                odd[2 * j] = Q;
                odd[2 * j + 1] = -I;
            }
            uint16_t* a = raw + size_t(first_sub[ch]) * sub + size_t(2 * i) * w2;
            uint16_t* b = a + sub;
            const float* n0 = &noise_[splitmix64(rng) & (kNoiseTable - 1)];
            const float* n1 = &noise_[splitmix64(rng) & (kNoiseTable - 1)];
            const float* n2 = &noise_[splitmix64(rng) & (kNoiseTable - 1)];
            const float* n3 = &noise_[splitmix64(rng) & (kNoiseTable - 1)];
            emit_row(level.data(), even.data(), 1.0f, sigma.data(), n0, w2, a);
            emit_row(level.data(), odd.data(), 1.0f, sigma.data(), n1, w2, a + w2);
            emit_row(level.data(), even.data(), -1.0f, sigma.data(), n2, w2, b);
            emit_row(level.data(), odd.data(), -1.0f, sigma.data(), n3, w2, b + w2);
        }
    }
}

void tof_synthesiser::synthesise(const tof_frame_request& req, uint16_t* raw)
{
    refresh_moving(req.time_s);
    write_samples(req, raw);
    if (req.flip_vertical || req.flip_horizontal) {
        const int code = req.flip_vertical && req.flip_horizontal ? -1 : req.flip_vertical ? 0
                                                                                           : 1;
        const size_t sub = size_t(4) * width_ * height_;
        for (int s = 0; s < 4; ++s) {
            cv::Mat m(2 * height_, 2 * width_, CV_16UC1, raw + s * sub);
            cv::flip(m, m, code);
        }
    }
    write_temperature_words(req.temperature_c, raw);
}

void tof_synthesiser::amplitude(const uint16_t* raw, uint16_t* ir) const
{
    const int w2 = 2 * width_;
    const uint16_t* a = raw + size_t(2) * 4 * width_ * height_;
    for (int i = 0; i < height_; ++i) {
        const uint16_t* r0 = a + size_t(2 * i) * w2;
        const uint16_t* r1 = r0 + w2;
        uint16_t* out = ir + size_t(i) * width_;
        for (int j = 0; j < width_; ++j) {
            const int s00 = r0[2 * j], s01 = r0[2 * j + 1], s10 = r1[2 * j], s11 = r1[2 * j + 1];
            if (s00 == k::kSaturation || s01 == k::kSaturation || s10 == k::kSaturation
                || s11 == k::kSaturation) {
                out[j] = k::kSaturation;
                continue;
            }
            const float dx = float(s00 - s11), dy = float(s10 - s01);
            out[j] = static_cast<uint16_t>(std::sqrt(dx * dx + dy * dy) + 0.5f);
        }
    }
    // Row 0 carries the sensor's header words; repeat row 1 there.
    if (height_ > 1)
        std::copy(ir + width_, ir + 2 * width_, ir);
}

}  // namespace pvx3::detail
