// tessivue-cli reprocess: depth recomputed from a recording's raw phase
// frames with qzreconstruction and the recorded calibration.
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <map>

#include "arguments.h"
#include "cli.h"
#include "depth_compare.h"
#include "recording/pvx3_capture.h"
#include "recording/reader.h"
#include "recording/reprocessor.h"
#include "recording/writer.h"

#ifndef TESSIVUE_VERSION
#define TESSIVUE_VERSION "0"
#endif

namespace cli {
namespace {

constexpr const char* kCommand = "reprocess";

constexpr const char* kHelp = R"(Usage: tessivue-cli reprocess IN.bag [--out OUT.bag] [OPTIONS]

Recomputes depth from the raw phase frames of a recording with
qzreconstruction (found as the camera SDK finds it) and the recorded
calibration. With the recorded settings the depth is the recorded depth, bit
for bit; the options change the filtering, so one recording can be compared
with the filters on, off and in the noise-aware mode. OUT.bag holds the
recomputed depth with the recording's IR, colour and raw phase frames, on the
same time line.

Options:
  --out OUT.bag                  the recording to write
  --filter on|off|noise-aware    the depth filters (default: as recorded):
                                 on: median and block deviation; off: none;
                                 noise-aware: the library's noise-aware depth
                                 (per-pixel noise, edge-preserving smoothing)
  --filter-param CODE=V[:V2],... filter parameters by the library's filter
                                 codes, e.g. 4=100 (block deviation) or 1=5:2
                                 (5 x 5 median, 2 passes); may be repeated
  --compare                      print, per frame set and overall, the valid
                                 share of the recorded and the recomputed depth
                                 and the median and 95th percentile of their
                                 |difference| in mm
  --compression lz4|none|bz2     chunk compression of OUT.bag (default lz4)
  --raw-compression lz4|none|bz2 chunk compression of OUT.bag's raw phase
                                 frames (default none)
  --overwrite                    replace OUT.bag when it exists
  --help                         this text

Filter codes: 1 median (window 3 or 5, passes), 2 amplitude threshold,
4 block deviation, 8 small regions (size, step), 16 spikes, 32 flying pixels,
64 Gaussian (window, passes).
)";

bool parse_filter_params(const std::string& text, std::map<int, std::vector<float>>& out, std::string& error)
{
    const std::vector<int>& codes = recording::filter_codes();
    for (const std::string& item : split(text, ',')) {
        const size_t eq = item.find('=');
        long long code = 0;
        if (eq == std::string::npos || !parse_int(item.substr(0, eq), 1, 256, code)
            || std::find(codes.begin(), codes.end(), int(code)) == codes.end()) {
            error = "--filter-param needs CODE=VALUE with a filter code (1, 2, 4, 8, 16, 32, 64, 128, 256), not \""
                    + item + "\"";
            return false;
        }
        std::vector<float> values;
        for (const std::string& v : split(item.substr(eq + 1), ':')) {
            double d = 0;
            if (!parse_double(v, -1e6, 1e6, d)) {
                error = "--filter-param " + item + ": \"" + v + "\" is not a number";
                return false;
            }
            values.push_back(static_cast<float>(d));
        }
        if (values.empty() || values.size() > 2) {
            error = "--filter-param " + item + ": one or two values (V or V:V2)";
            return false;
        }
        out[int(code)] = values;
    }
    return true;
}

std::string percent(double share)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%7.2f %%", share * 100.0);
    return buf;
}

void print_comparison(const std::string& label, const depth_comparison& c)
{
    std::printf("%-12s %s %s %10u %10u\n", label.c_str(), percent(c.valid_share_recorded()).c_str(),
                percent(c.valid_share_recomputed()).c_str(), c.percentile(0.5), c.percentile(0.95));
}

}  // namespace

int run_reprocess(const args_t& args)
{
    arguments a;
    std::string error;
    if (!a.parse(args,
                 {{"out", true}, {"filter", true}, {"filter-param", true}, {"compare", false}, {"compression", true}, {"raw-compression", true}, {"overwrite", false}, {"help", false}},
                 error))
        return usage_error(kCommand, error);
    if (a.has("help")) {
        std::fputs(kHelp, stdout);
        return kExitOk;
    }
    if (a.positional().size() != 1)
        return usage_error(kCommand, a.positional().empty() ? "name the recording: tessivue-cli reprocess IN.bag --out OUT.bag"
                                                            : "give one recording at a time");
    const std::string& in = a.positional().front();
    const std::optional<std::string> out = a.value("out");
    const bool compare = a.has("compare");
    if ((!out || out->empty()) && !compare)
        return usage_error(kCommand, "give --out OUT.bag, --compare, or both");
    std::optional<int> filter;
    if (const auto f = a.value("filter")) {
        int mode = 0;
        if (!parse_filter_mode(*f, mode))
            return usage_error(kCommand, kFilterModeError + *f + "\"");
        filter = mode;
    }
    std::map<int, std::vector<float>> params;
    if (const auto p = a.value("filter-param"))
        if (!parse_filter_params(*p, params, error))
            return usage_error(kCommand, error);
    recording::compression compress = recording::compression::lz4;
    if (const auto c = a.value("compression"))
        if (!recording::compression_from_name(*c, compress))
            return usage_error(kCommand, "--compression takes lz4, none or bz2, not \"" + *c + "\"");
    recording::compression raw_compress = recording::compression::none;
    if (const auto c = a.value("raw-compression"))
        if (!recording::compression_from_name(*c, raw_compress))
            return usage_error(kCommand, "--raw-compression takes lz4, none or bz2, not \"" + *c + "\"");
    struct stat st { };
    if (out && !a.has("overwrite") && ::stat(out->c_str(), &st) == 0) {
        report_error(kCommand, *out + " exists; give --overwrite to replace it");
        return kExitFailure;
    }

    std::unique_ptr<recording::reader> r = recording::reader::open(in, error);
    if (!r) {
        report_error(kCommand, error);
        return kExitFailure;
    }
    using recording::bit;
    using recording::stream;
    if (!(r->streams() & bit(stream::raw_phase))) {
        const std::string why = r->header().raw_phase.empty() ? std::string() : " (raw phase frames: " + r->header().raw_phase + ")";
        report_error(kCommand, in + " holds no raw phase frames" + why + "; there is nothing to recompute depth from");
        return kExitFailure;
    }
    if (r->calibration_count() == 0) {
        report_error(kCommand, in + " holds no calibration record; depth cannot be recomputed");
        return kExitFailure;
    }
    std::unique_ptr<recording::reprocessor> engine = recording::reprocessor::create(error);
    if (!engine) {
        report_error(kCommand, error);
        return kExitFailure;
    }
    std::unique_ptr<recording::writer> writer;
    if (out) {
        recording::writer_options wo;
        wo.compress = compress;
        wo.raw_compress = raw_compress;
        wo.producer = std::string("tessivue-cli ") + TESSIVUE_VERSION + " reprocess of " + in;
        wo.raw_phase = recording::raw_phase_state::recorded;
        wo.wait_for_room = true;
        int64_t start = r->size() ? r->stamp_ns(0) : 0;
        for (const recording::settings_change& c : r->settings_changes())
            start = std::min(start, c.stamp_ns);
        wo.start_ns = std::max<int64_t>(1, start - 1000);
        writer = recording::writer::create(*out, wo, error);
        if (!writer) {
            report_error(kCommand, error);
            return kExitFailure;
        }
        if (r->device())
            writer->set_device_info(*r->device());
    }

    install_stop_handlers();
    progress_line progress;
    depth_comparison overall;
    size_t done = 0, without_raw = 0, damaged = 0;
    std::string first_problem;
    if (compare)
        std::printf("%-12s %9s %9s %10s %10s\n", "frame", "valid rec", "valid new", "median|d|", "p95|d|");
    for (size_t i = 0; i < r->size() && !stop_requested(); ++i) {
        recording::frame_set f;
        if (!r->read(i, f, error)) {
            if (!damaged++)
                first_problem = error;
            continue;
        }
        if (!f[stream::raw_phase]) {
            ++without_raw;  // dropped while recording: nothing to compute from
            continue;
        }
        recording::camera_settings settings = r->settings_at(i);
        const std::optional<recording::calibration> cal = r->calibration_at(i);
        recording::reprocess_options options = recording::options_from(settings);
        if (filter)
            options.filter = *filter;
        for (const auto& [code, values] : params)
            options.filter_parameters[code] = values;
        std::vector<uint16_t> depth;
        int w = 0, h = 0;
        if (!cal || !engine->compute(*cal, *f[stream::raw_phase], options, depth, w, h, error)) {
            if (!damaged++)
                first_problem = cal ? error : "no calibration before frame set " + std::to_string(i);
            continue;
        }
        if (compare && f[stream::depth] && f[stream::depth]->width == w && f[stream::depth]->height == h) {
            depth_comparison c;
            c.add(f[stream::depth]->pixels16(), depth.data(), depth.size());
            print_comparison(std::to_string(f.frame_number), c);
            overall.add(c);
        }
        if (writer) {
            settings.filter = options.filter;
            for (const auto& [code, values] : params)
                settings.filter_parameters[code] = values;
            writer->set_calibration(*cal);
            writer->set_settings(settings);
            recording::frame_set_view view;
            view.frame_number = f.frame_number;
            view.timestamp_us = f.timestamp_us;
            const recording::lens_model depth_lens = f[stream::depth]
                                                         ? f[stream::depth]->lens
                                                         : recording::lenses_for(cal, settings).depth;
            view[stream::depth] = {depth.data(), w, h, recording::encoding::kDepth, depth_lens};
            for (stream s : {stream::ir, stream::colour, stream::raw_phase})
                if (const std::optional<recording::image>& img = f[s])
                    view[s] = {img->data.data(), img->width, img->height, img->encoding, img->lens};
            if (!writer->submit(view, f.stamp_ns)) {
                if (!damaged++)
                    first_problem = writer->status().problem;
                break;
            }
        }
        ++done;
        char line[120];
        std::snprintf(line, sizeof line, "Re-processing frame set %zu of %zu", i + 1, r->size());
        progress.show(line);
    }
    progress.finish();
    if (compare && overall.pixels())
        print_comparison("all", overall);
    int status = kExitOk;
    if (writer) {
        std::string close_error;
        if (!writer->close(close_error)) {
            report_error(kCommand, close_error);
            status = kExitFailure;
        } else {
            std::printf("Re-processed %zu frame sets into %s\n", done, out->c_str());
        }
    }
    if (without_raw)
        report_error(kCommand, std::to_string(without_raw)
                                   + " frame sets have no raw phase frame (dropped while recording) and were left out");
    if (damaged) {
        report_error(kCommand, std::to_string(damaged) + " frame sets could not be re-processed: " + first_problem);
        status = kExitFailure;
    }
    if (stop_requested())
        status = kExitFailure;
    return status;
}

}  // namespace cli
