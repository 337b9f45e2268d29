#pragma once

// Resident set size of this process in MiB, from /proc/self/status (VmRSS);
// negative when it cannot be read.
double resident_mb();

// Bytes the program holds in allocated blocks, in MiB: resident memory less
// what the allocator keeps in reserve, thread stacks and mapped libraries.
double heap_in_use_mb();

// Resident memory by kind of mapping, in MiB: the allocator's heap, other
// the sanitizer's shadow memory, other anonymous mappings (large blocks,
// thread stacks, graphics buffers) and mapped files.
struct memory_map_mb {
    double heap = 0;
    double shadow = 0;
    double anonymous = 0;
    double files = 0;
};
memory_map_mb memory_map();
