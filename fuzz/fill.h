// Filling large buffers from a short input.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace fuzz {

// Fills `bytes` bytes of `out` with `pattern` repeated; leaves them alone when
// the pattern is empty. Doubling copies: a plain byte loop would spend the run
// in the coverage callbacks of the harness.
inline void FillRepeated(const uint8_t* pattern, size_t patternBytes, void* out, size_t bytes) {
  auto* dst = static_cast<uint8_t*>(out);
  if (patternBytes == 0 || bytes == 0) return;
  size_t done = std::min(patternBytes, bytes);
  std::memcpy(dst, pattern, done);
  while (done < bytes) {
    const size_t n = std::min(done, bytes - done);
    std::memcpy(dst + done, dst, n);
    done += n;
  }
}

}  // namespace fuzz
