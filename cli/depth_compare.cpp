#include "depth_compare.h"

#include <cmath>
#include <cstdlib>

namespace cli {

void depth_comparison::add(const uint16_t* a, const uint16_t* b, size_t n)
{
    pixels_ += n;
    for (size_t i = 0; i < n; ++i) {
        const bool va = a[i] > 1, vb = b[i] > 1;
        valid_a_ += va;
        valid_b_ += vb;
        if (va && vb) {
            ++histogram_[size_t(std::abs(int(a[i]) - int(b[i])))];
            ++compared_;
        }
    }
}

void depth_comparison::add(const depth_comparison& o)
{
    pixels_ += o.pixels_;
    valid_a_ += o.valid_a_;
    valid_b_ += o.valid_b_;
    compared_ += o.compared_;
    for (size_t i = 0; i < histogram_.size(); ++i)
        histogram_[i] += o.histogram_[i];
}

unsigned depth_comparison::percentile(double share) const
{
    if (compared_ == 0)
        return 0;
    // The rank of the value: ceil(share x count), at least 1.
    const uint64_t rank = std::max<uint64_t>(1, static_cast<uint64_t>(std::ceil(share * double(compared_))));
    uint64_t seen = 0;
    for (size_t d = 0; d < histogram_.size(); ++d) {
        seen += histogram_[d];
        if (seen >= rank)
            return static_cast<unsigned>(d);
    }
    return 65535;
}

unsigned depth_comparison::max_difference() const
{
    for (size_t d = histogram_.size(); d-- > 0;)
        if (histogram_[d])
            return static_cast<unsigned>(d);
    return 0;
}

}  // namespace cli
