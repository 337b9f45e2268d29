// Depth fidelity of the virtual camera against its scene's ground truth, per
// filter mode and per object: the figures behind docs/depth-pipeline.md.
//
//   depth_fidelity [--frames N] [--seed S] [--modes 0,1,2] [--integration US]
//                  [--near MM] [--far MM] [--width W --height H]
//
// Every mode sees the same raw frames (same seed, same frame numbers). Pixels
// count where the truth lies between --near and --far (default 500 to 5500
// mm) on the static scene (the moving sphere is left out) from row 2 on.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <parvolux3/pvx3.h>
#include <parvolux3/pvx3_testing.h>

namespace {

namespace pt = pvx3::testing;

struct Options {
    int frames = 60;
    std::string seed = "4711";  // the tests run on the default seed
    std::vector<int> modes = {0, 1, 2};
    int integration_us = 0;  // 0: the camera's default
    double near_mm = 500, far_mm = 5500;
    int width = 640, height = 480;
};

const char* object_name(int o)
{
    static const char* names[pt::kObjectCount] = {
        "none", "back wall", "left wall", "right wall", "floor", "ceiling", "poster box",
        "checkerboard", "white sphere", "dark cylinder", "moving sphere", "near panel"};
    return o >= 0 && o < pt::kObjectCount ? names[o] : "?";
}

// Error statistics of one set of pixels.
struct Tally {
    long seen = 0, valid = 0, over50 = 0, over1000 = 0;
    double sum = 0;
    std::vector<float> abs_error;

    void add(bool is_valid, double e)
    {
        ++seen;
        if (!is_valid)
            return;
        ++valid;
        sum += e;
        const double a = std::abs(e);
        abs_error.push_back(float(a));
        over50 += a > 50;
        over1000 += a > 1000;
    }
    double median()
    {
        if (abs_error.empty())
            return 0;
        auto mid = abs_error.begin() + abs_error.size() / 2;
        std::nth_element(abs_error.begin(), mid, abs_error.end());
        return *mid;
    }
    double mean() const { return valid ? sum / valid : 0; }
    double share(long n) const { return valid ? 100.0 * n / valid : 0; }
    double valid_share() const { return seen ? 100.0 * valid / seen : 0; }
};

struct Result {
    Tally all;
    std::vector<Tally> objects = std::vector<Tally>(pt::kObjectCount);
};

bool measure(const Options& o, int mode, Result& result)
{
    setenv("PVX3_SEED", o.seed.c_str(), 1);
    setenv("PVX3_PACING", "fast", 1);
    pvx3::context* ctx = pvx3::pvx3_create_context(nullptr);
    ctx->query_devices(nullptr);
    pvx3::device* dev = ctx->get_device(nullptr);
    pvx3::sensor* sensor = dev ? dev->get_sensor(nullptr) : nullptr;
    if (!sensor) {
        std::fprintf(stderr, "no virtual camera\n");
        return false;
    }
    if (sensor->set_option(pvx3::PVX3_OPTION_FILTER, uint16_t(mode), nullptr) != 0) {
        std::fprintf(stderr, "the camera refuses filter mode %d\n", mode);
        return false;
    }
    if (o.integration_us > 0 && sensor->set_option(pvx3::PVX3_OPTION_INTEGRATION_TIME, uint16_t(o.integration_us), nullptr) != 0) {
        std::fprintf(stderr, "the camera refuses integration time %d us\n", o.integration_us);
        return false;
    }
    pvx3::config* cfg = pvx3::pvx3_create_config(ctx, nullptr);
    pvx3::pipeline* pipe = pvx3::pvx3_create_pipeline(ctx, nullptr);
    cfg->enable_stream(pvx3::PVX3_STREAM_DEPTH, o.width, o.height, nullptr);
    if (pipe->start(cfg, nullptr) != 0) {
        std::fprintf(stderr, "the depth stream does not start\n");
        return false;
    }
    const size_t n = size_t(o.width) * o.height;
    for (int f = 0; f < o.frames; ++f) {
        std::unique_ptr<pvx3::frameset> fs(pipe->wait_for_frames(60000, nullptr));
        pvx3::frame* depth = fs ? fs->get_depth_frame(nullptr) : nullptr;
        pt::frame_conditions cond;
        if (!depth || !pt::conditions_of(depth, cond)) {
            std::fprintf(stderr, "no depth frame\n");
            pipe->stop(nullptr);
            return false;
        }
        const pt::truth_image truth = pt::depth_truth(o.width, o.height, cond.scene_time_s);
        const auto* d = static_cast<const uint16_t*>(depth->get_data(nullptr));
        for (size_t p = size_t(2) * o.width; p < n; ++p) {
            const float z = truth.depth_mm[p];
            const int object = truth.object[p];
            if (z < o.near_mm || z > o.far_mm || object == pt::kMovingSphere || object == pt::kNoObject)
                continue;
            const bool valid = d[p] > 1;
            const double e = double(d[p]) - z;
            result.all.add(valid, e);
            result.objects[object].add(valid, e);
        }
    }
    pipe->stop(nullptr);
    return true;
}

void print_row(const char* name, Tally& t)
{
    std::printf("| %-13s | %9ld | %7.2f | %+7.2f | %6.2f | %7.3f | %8.4f |\n", name, t.seen, t.valid_share(), t.mean(),
                t.median(), t.share(t.over50), t.share(t.over1000));
}

bool parse(int argc, char** argv, Options& o)
{
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const char* v = i + 1 < argc ? argv[i + 1] : nullptr;
        if (!v)
            return false;
        ++i;
        if (a == "--frames")
            o.frames = std::atoi(v);
        else if (a == "--seed")
            o.seed = v;
        else if (a == "--integration")
            o.integration_us = std::atoi(v);
        else if (a == "--near")
            o.near_mm = std::atof(v);
        else if (a == "--far")
            o.far_mm = std::atof(v);
        else if (a == "--width")
            o.width = std::atoi(v);
        else if (a == "--height")
            o.height = std::atoi(v);
        else if (a == "--modes") {
            o.modes.clear();
            for (const char* p = v; *p; ++p)
                if (*p >= '0' && *p <= '9')
                    o.modes.push_back(*p - '0');
        } else
            return false;
    }
    return o.frames > 0 && !o.modes.empty();
}

}  // namespace

int main(int argc, char** argv)
{
    Options o;
    const bool help = argc == 2 && std::strcmp(argv[1], "--help") == 0;
    if (help || !parse(argc, argv, o)) {
        std::fprintf(stderr,
                     "usage: %s [--frames N] [--seed S] [--modes 0,1,2] [--integration US] [--near MM] [--far MM]"
                     " [--width W --height H]\n",
                     argv[0]);
        return help ? 0 : 2;
    }
    std::printf("%d x %d, %d frames, seed %s, truth %.0f to %.0f mm, static scene\n", o.width, o.height, o.frames,
                o.seed.c_str(), o.near_mm, o.far_mm);
    for (const int mode : o.modes) {
        Result r;
        if (!measure(o, mode, r))
            return 1;
        std::printf("\nfilter mode %d\n\n", mode);
        std::printf("| object        | pixels    | valid %% | mean mm | median \\|e\\| mm | >50 mm %% | >1 m %% |\n");
        std::printf("|---------------|-----------|---------|---------|--------|---------|----------|\n");
        for (int ob = 1; ob < pt::kObjectCount; ++ob)
            if (r.objects[ob].seen > 0)
                print_row(object_name(ob), r.objects[ob]);
        print_row("all", r.all);
    }
    return 0;
}
