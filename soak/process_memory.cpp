#include "process_memory.h"

#include <cstdio>
#include <cstring>

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
