// The soak's memory figures follow memory the process really takes: a block
// of known size, written through so that every page is resident, must show
// in the resident total, in the heap in use and in the split by mapping.
#include "soak/process_memory.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

namespace {

constexpr double kBlockMb = 64;

struct figures {
    double resident;
    double heap_in_use;
    double mapped;  // the split's parts together
};

figures now()
{
    const memory_map_mb m = memory_map();
    return {resident_mb(), heap_in_use_mb(), m.heap + m.shadow + m.anonymous + m.files};
}

TEST(ProcessMemory, ABlockWrittenThroughShowsInEveryFigure)
{
    const figures before = now();
    const size_t bytes = static_cast<size_t>(kBlockMb * 1024 * 1024);
    auto* block = static_cast<char*>(std::malloc(bytes));
    ASSERT_NE(block, nullptr);
    std::memset(block, 0x5a, bytes);
    const figures during = now();
    // Read the block again so the compiler keeps the writes.
    EXPECT_EQ(block[bytes / 2], 0x5a);
    std::free(block);
    const figures after = now();

    // A sanitizer build may map a little more (shadow, redzones); nothing
    // may show less than the block.
    EXPECT_GE(during.resident - before.resident, kBlockMb * 0.95);
    EXPECT_GE(during.heap_in_use - before.heap_in_use, kBlockMb * 0.99);
    EXPECT_GE(during.mapped - before.mapped, kBlockMb * 0.95);
    // The split covers the whole of resident memory (both read the same
    // process a moment apart).
    EXPECT_NEAR(during.mapped, during.resident, 0.05 * during.resident);
    // Freed, the block leaves the heap in use.
    EXPECT_LE(after.heap_in_use - before.heap_in_use, kBlockMb * 0.01);
}

TEST(ProcessMemory, FiguresOfAFreshProcessArePlausible)
{
    const figures f = now();
    EXPECT_GT(f.resident, 1);
    EXPECT_GT(f.mapped, 1);
    EXPECT_GE(f.heap_in_use, 0);
    EXPECT_LT(f.heap_in_use, f.resident + 1);
}

}  // namespace
