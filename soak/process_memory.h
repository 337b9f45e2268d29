#pragma once

// Resident set size of this process in MiB, from /proc/self/status (VmRSS);
// negative when it cannot be read.
double resident_mb();
