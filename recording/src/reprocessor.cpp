#include "recording/reprocessor.h"

#include <cstring>

#include "qzapi/reconstruction.h"
#include "qzhost/reconstruction_host.h"

namespace recording {
namespace {

void block_of(const calibration& cal, qzapi::CalibrationBlock& b)
{
    b = qzapi::CalibrationBlock{};
    b.frequency1 = cal.frequency1;
    b.frequency2 = cal.frequency2;
    b.serialNumber = cal.serial_number;
    std::memcpy(&b.distCoeffs[0], cal.words.data(), kCalibrationWords * sizeof(uint32_t));
}

// What the library is initialised with for a recorded calibration at w x h;
// `block` holds the calibration and must outlive the returned setup.
qzhost::setup setup_of(const calibration& cal, qzapi::CalibrationBlock& block, int w, int h)
{
    block_of(cal, block);
    qzhost::setup s;
    s.device_type = cal.device_type;
    s.mode = cal.mode;
    s.calibration = &block;
    s.width = w;
    s.height = h;
    return s;
}

using parameters = std::map<int, std::vector<float>>;

parameters read_parameters(qzapi::Reconstruction* api)
{
    parameters out;
    for (int code : filter_codes()) {
        float values[2] = {0, 0};
        int32_t count = 0;
        api->GetFilterParameter(code, values, &count);
        if (count >= 1 && count <= 2)
            out[code] = std::vector<float>(values, values + count);
    }
    return out;
}

void write_parameters(qzapi::Reconstruction* api, const parameters& p)
{
    for (const auto& [code, values] : p) {
        if (values.empty() || values.size() > 2)
            continue;
        float v[2] = {values[0], values.size() > 1 ? values[1] : 0.0f};
        api->SetFilterParameter(code, v, static_cast<int32_t>(values.size()));
    }
}

// Rows and columns of a packed image reversed as the flips ask (an
// involution: the same call mirrors back).
template <size_t Bytes>
void mirror(const uint8_t* src, uint8_t* dst, int w, int h, bool vertical, bool horizontal)
{
    const size_t row = size_t(w) * Bytes;
    for (int y = 0; y < h; ++y) {
        const uint8_t* s = src + size_t(vertical ? h - 1 - y : y) * row;
        uint8_t* d = dst + size_t(y) * row;
        if (!horizontal) {
            std::memcpy(d, s, row);
            continue;
        }
        for (int x = 0; x < w; ++x)
            std::memcpy(d + size_t(x) * Bytes, s + size_t(w - 1 - x) * Bytes, Bytes);
    }
}

// YUYV mirrored: pixel pairs reversed and the two lumas of a pair swapped.
void mirror_yuyv(const uint8_t* src, uint8_t* dst, int w, int h, bool vertical, bool horizontal)
{
    const size_t row = size_t(w) * 2;
    const int pairs = w / 2;
    for (int y = 0; y < h; ++y) {
        const uint8_t* s = src + size_t(vertical ? h - 1 - y : y) * row;
        uint8_t* d = dst + size_t(y) * row;
        if (!horizontal) {
            std::memcpy(d, s, row);
            continue;
        }
        for (int k = 0; k < pairs; ++k) {
            const uint8_t* p = s + 4 * size_t(k);
            uint8_t* q = d + 4 * size_t(pairs - 1 - k);
            q[0] = p[2];
            q[1] = p[1];
            q[2] = p[0];
            q[3] = p[3];
        }
    }
}

// A recorded depth image the recorded calibration can back-project.
bool depth_fits_calibration(const calibration& cal, const image& depth, std::string& error)
{
    const int w = depth.width, h = depth.height;
    if (depth.encoding != encoding::kDepth || w <= 0 || h <= 0 || depth.step != uint32_t(w) * 2
        || depth.data.size() < size_t(depth.step) * h) {
        error = "not a 16-bit depth image";
        return false;
    }
    if (cal.words.size() != kCalibrationWords || w != cal.width || h != cal.height) {
        error = "the recorded calibration does not belong to a " + std::to_string(w) + " x " + std::to_string(h)
                + " depth image";
        return false;
    }
    return true;
}

}  // namespace

const std::vector<int>& filter_codes()
{
    static const std::vector<int> codes = {1, 2, 4, 8, 16, 32, 64, 128, 256};
    return codes;
}

reprocess_options options_from(const camera_settings& s)
{
    reprocess_options o;
    o.filter = s.filter;
    o.flip_vertical = s.flip_vertical;
    o.flip_horizontal = s.flip_horizontal;
    o.filter_parameters = s.filter_parameters;
    return o;
}

std::unique_ptr<reprocessor> reprocessor::create(std::string& reason)
{
    qzhost::library* lib = qzhost::library::load(qzhost::sdk_candidates(), reason);
    if (!lib)
        return nullptr;
    return std::unique_ptr<reprocessor>(new reprocessor(lib));
}

bool reprocessor::compute(const calibration& cal, const image& raw, const reprocess_options& options,
                          std::vector<uint16_t>& depth, int& width, int& height, std::string& error)
{
    if (cal.words.size() != kCalibrationWords) {
        error = "the recorded calibration is incomplete";
        return false;
    }
    if (raw.encoding != "mono16" || raw.width % 2 != 0 || raw.height % 8 != 0 || raw.width <= 0
        || raw.step != uint32_t(raw.width) * 2 || raw.data.size() < size_t(raw.step) * raw.height) {
        error = "the raw phase frame is not four stacked mono16 sub-frames";
        return false;
    }
    width = raw.width / 2;
    height = raw.height / 8;
    if (width != cal.width || height != cal.height) {
        error = "the raw phase frame (" + std::to_string(width) + " x " + std::to_string(height)
                + " depth pixels) does not match the recorded calibration (" + std::to_string(cal.width) + " x "
                + std::to_string(cal.height) + ")";
        return false;
    }
    qzapi::CalibrationBlock block;
    const qzhost::setup s = setup_of(cal, block, width, height);

    auto lock = lib_->lock();
    if (!lib_->ensure(s, error))
        return false;
    qzapi::Reconstruction* api = lib_->api();
    const parameters before = read_parameters(api);
    write_parameters(api, options.filter_parameters);
    api->SetOrientation((options.flip_vertical ? 1 : 0) | (options.flip_horizontal ? 2 : 0));
    uint8_t filter_before = 0;
    api->GetFilterEnabled(&filter_before);
    api->SetFilterEnabled(options.filter);
    uint16_t* out = nullptr;
    api->ComputeDepth(raw.pixels16(), &out, width, height);
    api->SetFilterEnabled(filter_before);
    write_parameters(api, before);
    if (!out) {
        error = "the reconstruction library computed no depth image";
        return false;
    }
    depth.assign(out, out + size_t(width) * height);
    delete[] out;
    return true;
}

bool reprocessor::points(const calibration& cal, const image& depth, bool flip_vertical, bool flip_horizontal,
                         std::vector<float>& xyz, std::string& error)
{
    if (!depth_fits_calibration(cal, depth, error))
        return false;
    const int w = depth.width, h = depth.height;
    // The library's rays belong to sensor pixels: back-project the upright
    // image, then lay the points out and mirror them like the image.
    const auto source_of = [&](int row, int col) {
        const int r = flip_vertical ? h - 1 - row : row;
        const int c = flip_horizontal ? w - 1 - col : col;
        return size_t(r) * w + c;
    };
    std::vector<uint16_t> upright(size_t(w) * h);
    const uint16_t* d = depth.pixels16();
    for (int row = 0; row < h; ++row)
        for (int col = 0; col < w; ++col)
            upright[size_t(row) * w + col] = d[source_of(row, col)];
    qzapi::CalibrationBlock block;
    const qzhost::setup s = setup_of(cal, block, w, h);
    std::vector<float> points(size_t(w) * h * 3, 0.0f);
    {
        auto lock = lib_->lock();
        if (!lib_->ensure(s, error))
            return false;
        const int32_t rc = lib_->api()->DepthToPoints(upright.data(), points.data(), w, h);
        if (rc != 0) {
            error = "the reconstruction library could not convert depth to points (code " + std::to_string(rc) + ")";
            return false;
        }
    }
    xyz.assign(size_t(w) * h * 3, 0.0f);
    for (int row = 0; row < h; ++row)
        for (int col = 0; col < w; ++col) {
            const float* p = &points[3 * source_of(row, col)];
            float* q = &xyz[3 * (size_t(row) * w + col)];
            q[0] = flip_horizontal ? -p[0] : p[0];
            q[1] = flip_vertical ? -p[1] : p[1];
            q[2] = p[2];
        }
    return true;
}

bool reprocessor::align(const calibration& cal, const image& depth, const image& yuyv, bool flip_vertical,
                        bool flip_horizontal, std::vector<uint16_t>& registered, std::vector<uint8_t>& bgr,
                        int& width, int& height, std::string& error)
{
    if (!depth_fits_calibration(cal, depth, error))
        return false;
    const int w = depth.width, h = depth.height;
    const int cw = yuyv.width, ch = yuyv.height;
    if (yuyv.encoding != encoding::kYuyv || cw <= 0 || ch <= 0 || cw % 2 != 0 || yuyv.step != uint32_t(cw) * 2
        || yuyv.data.size() < size_t(yuyv.step) * ch) {
        error = "the colour image is not YUYV as streamed";
        return false;
    }
    const bool mirrored = flip_vertical || flip_horizontal;
    // The library registers the sensors' own (unmirrored) images.
    const size_t depth_pixels = size_t(w) * h;
    uint16_t* depth_buffer = new uint16_t[depth_pixels];  // the library frees it
    mirror<2>(depth.data.data(), reinterpret_cast<uint8_t*>(depth_buffer), w, h, flip_vertical, flip_horizontal);
    std::vector<uint8_t> upright_colour;
    const uint8_t* colour = yuyv.data.data();
    if (mirrored) {
        upright_colour.resize(size_t(cw) * ch * 2);
        mirror_yuyv(colour, upright_colour.data(), cw, ch, flip_vertical, flip_horizontal);
        colour = upright_colour.data();
    }
    qzapi::CalibrationBlock block;
    const qzhost::setup s = setup_of(cal, block, w, h);
    uint8_t* colour_out = nullptr;
    int32_t ow = 0, oh = 0;
    {
        auto lock = lib_->lock();
        if (!lib_->ensure(s, error)) {
            delete[] depth_buffer;
            return false;
        }
        lib_->api()->AlignDepthToColour(&colour_out, &depth_buffer, colour, cw, ch, &ow, &oh);
    }
    if (!colour_out || ow != cw || oh != ch) {
        delete[] colour_out;
        delete[] depth_buffer;
        error = "the reconstruction library could not register depth to the colour image (it needs a calibration "
                "with the colour camera and 1920 x 1080 colour)";
        return false;
    }
    const size_t pixels = size_t(cw) * ch;
    registered.resize(pixels);
    bgr.resize(pixels * 3);
    mirror<2>(reinterpret_cast<const uint8_t*>(depth_buffer), reinterpret_cast<uint8_t*>(registered.data()), cw, ch,
              flip_vertical, flip_horizontal);
    mirror<3>(colour_out, bgr.data(), cw, ch, flip_vertical, flip_horizontal);
    delete[] depth_buffer;
    delete[] colour_out;
    width = cw;
    height = ch;
    return true;
}

std::string reprocessor::version() const { return lib_->version(); }
std::string reprocessor::library_path() const { return lib_->path(); }

std::map<int, std::vector<float>> reprocessor::filter_parameters() const
{
    auto lock = lib_->lock();
    return read_parameters(lib_->api());
}

}  // namespace recording
