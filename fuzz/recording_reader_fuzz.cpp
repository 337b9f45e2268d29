// Recordings (ROS bag files) cut short, flipped and spliced: opening, the
// description `tessivue-cli info` prints, and every frame set, settings and
// calibration record read back. The reader must refuse or report, never
// crash, hang or throw.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "recording/describe.h"
#include "recording/reader.h"

namespace {

const std::string& ScratchFile() {
  static const std::string path = [] {
    char name[] = "/tmp/tessivue-fuzz-bag-XXXXXX";
    const int fd = mkstemp(name);
    if (fd >= 0) close(fd);
    return std::string(name);
  }();
  return path;
}

// Enough to reach every record of the seeds; a hostile index may claim more.
constexpr size_t kMaxFrameSets = 64;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string& path = ScratchFile();
  if (FILE* f = std::fopen(path.c_str(), "wb")) {
    std::fwrite(data, 1, size, f);
    std::fclose(f);
  } else {
    return 0;
  }
  std::string error;
  recording::open_status status = recording::open_status::ok;
  std::unique_ptr<recording::reader> r = recording::reader::open(path, error, &status);
  if (!r) {
    if (error.empty()) __builtin_trap();  // a refusal always says why
    return 0;
  }
  const recording::recording_description d = recording::describe(*r);
  (void)recording::to_text(d);
  (void)recording::to_json_text(d);

  const size_t n = std::min(r->size(), kMaxFrameSets);
  for (size_t i = 0; i < n; ++i) {
    recording::frame_set set;
    std::string why;
    if (r->read(i, set, why)) {
      for (const auto& image : set.images) {
        if (!image) continue;
        // What callers rely on: the pixels the size and step promise.
        if (image->height > 0 && image->data.size() < size_t(image->step) * size_t(image->height)) __builtin_trap();
      }
    }
    (void)r->settings_at(i);
    (void)r->calibration_at(i);
    (void)r->index_at(r->stamp_ns(i));
  }
  for (recording::stream s : recording::kAllStreams) (void)r->first_with(s);
  return 0;
}
