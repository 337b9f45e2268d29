// Colour ramp that turns 16-bit depth into B, G, R display colours.
#pragma once

#include <cstdint>
#include <vector>

#include <opencv2/core.hpp>

namespace qzapi::detail {

// Position 0..1021 of depth d on the ramp between the limits (d >= 2), or -1
// when the ratio is undefined (d equal to both limits).
int RampIndex(std::uint16_t d, int nearLimit, int farLimit);

// Colour (B, G, R) of one depth value: 0 black, 1 purple, else the ramp.
cv::Vec3b RampColour(std::uint16_t d, int nearLimit, int farLimit);

// Colours every pixel of a CV_16UC1 image into colour (CV_8UC3, B, G, R),
// reusing colour's and table's storage when they are large enough.
void ColouriseDepth(const cv::Mat& depth, int nearLimit, int farLimit, cv::Mat& colour,
                    std::vector<cv::Vec3b>& table);

// As above, into a new image.
cv::Mat ColouriseDepth(const cv::Mat& depth, int nearLimit, int farLimit);

}  // namespace qzapi::detail
