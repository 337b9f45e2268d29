#include "recording/topics.h"
#include "recording/types.h"

namespace recording {

const char* stream_name(stream s)
{
    switch (s) {
    case stream::depth:
        return "depth";
    case stream::ir:
        return "ir";
    case stream::colour:
        return "color";
    case stream::raw_phase:
        return "raw";
    }
    return "unknown";
}

bool stream_from_name(const std::string& name, stream& out)
{
    for (stream s : kAllStreams)
        if (name == stream_name(s)) {
            out = s;
            return true;
        }
    if (name == "colour" || name == "rgb") {
        out = stream::colour;
        return true;
    }
    if (name == "raw_phase") {
        out = stream::raw_phase;
        return true;
    }
    return false;
}

int bytes_per_pixel(const std::string& e)
{
    if (e == encoding::kDepth || e == encoding::kMono16 || e == encoding::kYuyv)
        return 2;
    if (e == encoding::kBgr8 || e == "rgb8")
        return 3;
    if (e == "mono8" || e == "8UC1")
        return 1;
    return 0;
}

bool camera_settings::operator==(const camera_settings& o) const { return changed_settings(*this, o).empty(); }

std::vector<std::string> changed_settings(const camera_settings& a, const camera_settings& b)
{
    std::vector<std::string> out;
    if (a.integration_time_us != b.integration_time_us)
        out.push_back("integration_time_us");
    if (a.near_mm != b.near_mm || a.far_mm != b.far_mm)
        out.push_back("distance_range");
    if (a.flip_vertical != b.flip_vertical)
        out.push_back("flip_vertical");
    if (a.flip_horizontal != b.flip_horizontal)
        out.push_back("flip_horizontal");
    if (a.filter != b.filter)
        out.push_back("filter");
    if (a.depth_width != b.depth_width || a.depth_height != b.depth_height)
        out.push_back("depth_resolution");
    if (a.colour_width != b.colour_width || a.colour_height != b.colour_height)
        out.push_back("color_resolution");
    if (a.filter_parameters != b.filter_parameters)
        out.push_back("filter_parameters");
    return out;
}

namespace topics {

const char* image_topic(stream s)
{
    switch (s) {
    case stream::depth:
        return kDepthImage;
    case stream::ir:
        return kIrImage;
    case stream::colour:
        return kColourImage;
    case stream::raw_phase:
        return kRawPhase;
    }
    return "";
}

const char* info_topic(stream s)
{
    switch (s) {
    case stream::depth:
        return kDepthInfo;
    case stream::ir:
        return kIrInfo;
    case stream::colour:
        return kColourInfo;
    case stream::raw_phase:
        return nullptr;
    }
    return nullptr;
}

const char* frame_id(stream s)
{
    // IR comes from the depth sensor's own pixels: one optical frame.
    switch (s) {
    case stream::depth:
    case stream::ir:
    case stream::raw_phase:
        return "tessivue_depth_optical_frame";
    case stream::colour:
        return "tessivue_color_optical_frame";
    }
    return "";
}

}  // namespace topics
}  // namespace recording
