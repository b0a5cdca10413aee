// How the fabric benchmarks measure a walk: its time per exchange against the section's floor.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "bench_main.h"
#include "switchsim/core/server.h"
#include "udp_echo.h"

namespace bench {

using clock = std::chrono::steady_clock;

struct walk_figures {
    double per_exchange_us = 0;
    double floor_us = 0;
    double ratio = 0;
    std::uint64_t exchanges = 0;
};

// Runs `walk` `repeats` times; its time per exchange is the median, its ratio that over the
// section's floor (section_floor_us), measured as every section measures it.
template <class Walk>
inline walk_figures measure(sim::server& srv, const report& out, int repeats, Walk&& walk) {
    walk_figures f;
    const auto one_walk = [&] {
        const std::uint64_t before = srv.stats().received;
        const auto start = clock::now();
        walk();
        const std::chrono::duration<double, std::micro> took = clock::now() - start;
        f.exchanges = srv.stats().received - before;
        return took.count() / static_cast<double>(std::max<std::uint64_t>(f.exchanges, 1));
    };
    one_walk();  // warms up, and counts the exchanges
    std::vector<double> walks;
    for (int r = 0; r < repeats; ++r) walks.push_back(one_walk());
    f.per_exchange_us = median(walks);
    f.floor_us = out.floor_us;
    f.ratio = f.floor_us > 0 ? f.per_exchange_us / f.floor_us : 0;
    return f;
}

inline void print_ratio(const char* what, const walk_figures& f, double goal = 1.2) {
    char line[128];
    std::snprintf(line, sizeof line, "%s (%llu exchanges)", what,
                  static_cast<unsigned long long>(f.exchanges));
    std::printf("%-48s %10.2f us   ratio %.2f (goal <= %.1f)%s\n", line, f.per_exchange_us, f.ratio, goal,
                f.ratio <= goal ? "" : "  ABOVE GOAL");
}

}  // namespace bench
