#include "process_memory.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <malloc.h>

// The sanitizers' allocator statistics (absent in other builds).
extern "C" size_t __sanitizer_get_current_allocated_bytes() __attribute__((weak));

double resident_mb()
{
    std::FILE* f = std::fopen("/proc/self/status", "r");
    if (f == nullptr)
        return -1;
    char line[256];
    double kib = -1;
    while (std::fgets(line, sizeof line, f) != nullptr) {
        if (std::strncmp(line, "VmRSS:", 6) == 0) {
            long long v = 0;
            if (std::sscanf(line + 6, "%lld", &v) == 1)
                kib = static_cast<double>(v);
            break;
        }
    }
    std::fclose(f);
    return kib < 0 ? -1 : kib / 1024.0;
}

double heap_in_use_mb()
{
    // Under a sanitizer malloc is the sanitizer's, which glibc's statistics do not see.
    if (__sanitizer_get_current_allocated_bytes != nullptr)
        return static_cast<double>(__sanitizer_get_current_allocated_bytes()) / (1024.0 * 1024.0);
    // Blocks in the arenas plus the large ones glibc maps on their own.
    const struct mallinfo2 info = mallinfo2();
    return static_cast<double>(info.uordblks + info.hblkhd) / (1024.0 * 1024.0);
}

memory_map_mb memory_map()
{
    memory_map_mb m;
    std::FILE* f = std::fopen("/proc/self/smaps", "r");
    if (f == nullptr)
        return m;
    char line[512];
    double* kind = &m.files;  // where the Rss lines of the current mapping count
    while (std::fgets(line, sizeof line, f) != nullptr) {
        uint64_t begin = 0, end = 0;
        char perms[8], path[256] = "";
        unsigned long long offset = 0, inode = 0;
        char dev[16];
        if (std::sscanf(line, "%" SCNx64 "-%" SCNx64 " %7s %llx %15s %llu %255[^\n]", &begin, &end, perms, &offset,
                        dev, &inode, path)
            >= 6) {
            const char* name = path;
            while (*name == ' ')
                ++name;
            // The sanitizer allocator's own region (x86-64) and glibc's heap.
            if ((begin >= 0x600000000000ULL && begin < 0x640000000000ULL) || std::strcmp(name, "[heap]") == 0)
                kind = &m.heap;
            // AddressSanitizer's shadow of all memory (x86-64), one byte per eight.
            else if (*name == '\0' && begin >= 0x7fff8000ULL && end <= 0x10007fff8000ULL)
                kind = &m.shadow;
            else if (*name == '\0')
                kind = &m.anonymous;
            else
                kind = &m.files;
            continue;
        }
        long long kib = 0;
        if (std::sscanf(line, "Rss: %lld kB", &kib) == 1)
            *kind += static_cast<double>(kib) / 1024.0;
    }
    std::fclose(f);
    return m;
}
