// What every benchmark program needs: a wall clock, the best of a few runs,
// the peak memory, and the folder for scratch files.
#pragma once

#include "winutil/FdIo.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <string>

namespace bench {

// Seconds from a monotonic clock.
inline double Now() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// The shortest of rounds runs, in seconds.
template <class F> double Best(int rounds, F&& run) {
    double best = 1e30;
    for (int i = 0; i < rounds; ++i) {
        const double start = Now();
        run();
        best = std::min(best, Now() - start);
    }
    return best;
}

// The process's peak resident memory so far.
inline double PeakRssMiB() {
    return static_cast<double>(PeakMemoryBytes()) / (1024.0 * 1024.0);
}

// $BM_BENCH_DIR, else $TMPDIR (on Windows %TEMP%), else /tmp.
inline std::string TempFolder() {
    for (const char* name : {"BM_BENCH_DIR", "TMPDIR", "TEMP"}) {
        const char* value = std::getenv(name);
        if (value && *value)
            return value;
    }
    return "/tmp";
}

} // namespace bench
