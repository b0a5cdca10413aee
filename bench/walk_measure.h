// How the fabric benchmarks measure a walk: its time per exchange against the loopback round
// trip taken around each repeat, with datagrams of the walk's size.
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

// Runs `walk` `repeats` times, each between two floor measurements of as many plain round
// trips with datagrams of `size` bytes as the walk has exchanges (50 to 2000). The ratio of a
// repeat is its time per exchange over the mean of the floors around it, so that a change of
// the machine's load between repeats moves both; the medians of all repeats.
template <class Walk>
inline walk_figures measure(sim::server& srv, const echo_process& echo, std::size_t size, int repeats,
                            Walk&& walk) {
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
    const auto rounds = static_cast<int>(std::clamp<std::uint64_t>(f.exchanges, 50, 2000));
    std::vector<double> walks, floors, ratios;
    double floor_before = plain_round_trip_us(echo.address(), rounds, size);
    for (int r = 0; r < repeats; ++r) {
        const double us = one_walk();
        const double floor_after = plain_round_trip_us(echo.address(), rounds, size);
        const double floor = (floor_before + floor_after) / 2;
        walks.push_back(us);
        floors.push_back(floor);
        ratios.push_back(us / floor);
        floor_before = floor_after;
    }
    f.per_exchange_us = median(walks);
    f.floor_us = median(floors);
    f.ratio = median(ratios);
    return f;
}

inline void print_ratio(const char* what, const walk_figures& f, double goal = 1.2) {
    char line[128];
    std::snprintf(line, sizeof line, "%s (%llu exchanges)", what,
                  static_cast<unsigned long long>(f.exchanges));
    std::printf("%-48s %10.2f us   floor %.2f us   ratio %.2f (goal <= %.1f)%s\n", line,
                f.per_exchange_us, f.floor_us, f.ratio, goal, f.ratio <= goal ? "" : "  ABOVE GOAL");
}

}  // namespace bench
