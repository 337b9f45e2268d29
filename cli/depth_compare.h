// Valid shares and |difference| percentiles of two depth images (recorded
// against recomputed). A pixel is valid when it holds a distance: neither 0
// (invalid) nor 1 (saturated). Differences count where both are valid.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace cli {

class depth_comparison {
public:
    depth_comparison() : histogram_(65536, 0) { }

    void add(const uint16_t* recorded, const uint16_t* recomputed, size_t pixels);
    void add(const depth_comparison& other);

    size_t pixels() const { return pixels_; }
    double valid_share_recorded() const { return pixels_ ? double(valid_a_) / pixels_ : 0.0; }
    double valid_share_recomputed() const { return pixels_ ? double(valid_b_) / pixels_ : 0.0; }
    size_t compared() const { return compared_; }
    // The smallest |difference| (mm) that `share` of the compared pixels do
    // not exceed; 0 when nothing was compared.
    unsigned percentile(double share) const;
    unsigned max_difference() const;

private:
    std::vector<uint64_t> histogram_;
    size_t pixels_ = 0, valid_a_ = 0, valid_b_ = 0, compared_ = 0;
};

}  // namespace cli
