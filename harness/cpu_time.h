// CPU seconds (user and system) spent so far, the figure every benchmark divides by the
// recorded time.
#pragma once

#include <sys/resource.h>

namespace korvex::bench {

// who: RUSAGE_SELF, or RUSAGE_CHILDREN for the children waited for.
inline double CpuSeconds(int who = RUSAGE_SELF) {
    rusage usage{};
    getrusage(who, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

}  // namespace korvex::bench
