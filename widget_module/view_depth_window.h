#pragma once

#include <QString>
#include <optional>
#include <vector>

// Running deviation of the depth at one measured pixel over recent frames.
// The arithmetic is deliberately integral (truncated mean and variance) so
// the shown value matches what users compare against across versions.

constexpr int kViewDepthWindowSize = 15;

enum class view_window_policy {
    drop_oldest,  // a full window drops its oldest sample (depth view)
    restart,      // a full window is emptied before the next sample (RGB view)
};

// Appends `sample` to `samples`, keeping at most kViewDepthWindowSize.
void view_push_sample(std::vector<int>& samples, int sample, view_window_policy policy);

// Deviation of the samples in millimetres, or nothing with fewer than 3.
std::optional<double> view_window_deviation(const std::vector<int>& samples);

// "%1 mm" with three decimals, as the measurement box shows it.
QString view_mm_text(double millimetres);
