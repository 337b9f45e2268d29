// Out-of-line special members of the interface: they anchor its table of
// virtual operations in this library.
#include "qzapi/image_refiner.h"

namespace qzapi {

ImageRefiner::ImageRefiner() = default;
ImageRefiner::ImageRefiner(const ImageRefiner&) = default;
ImageRefiner::ImageRefiner(ImageRefiner&&) noexcept = default;
ImageRefiner& ImageRefiner::operator=(const ImageRefiner&) = default;
ImageRefiner& ImageRefiner::operator=(ImageRefiner&&) noexcept = default;

}  // namespace qzapi
