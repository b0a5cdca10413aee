// The benchmark program: each part measures against the floor taken in the same run and prints
// figures and ratios.
#pragma once

#include <cstdio>

namespace bench {

// TELVAR_BENCH_NET=A.B.C moves every address that a benchmark binds into that /24 (.1 to .32),
// so that several people can measure side by side on one machine.
namespace addresses {
inline const char* exchange_echo = "127.0.9.1";
inline const char* throughput_echo = "127.0.9.2";
inline const char* simulator = "127.0.9.3";  // and the next two
inline constexpr const char* silent_net = "127.1.0.0";  // a /16 where nothing listens
inline const char* fabric = "127.0.25.2";     // a generated fabric's first switch, and the next 11
inline const char* fabric_echo = "127.0.25.1";
// Applies TELVAR_BENCH_NET when it is set; false when it is not of the form A.B.C.
bool from_environment();
}

struct report {
    double floor_us = 0;  // one UDP round trip on loopback, measured in this run

    void line(const char* what, double value, const char* unit) const {
        std::printf("%-48s %10.2f %s\n", what, value, unit);
    }
    // Prints a time per operation and its ratio to the floor, against the goal.
    void ratio(const char* what, double us, double goal) const {
        const double r = floor_us > 0 ? us / floor_us : 0;
        std::printf("%-48s %10.2f us   ratio %.2f (goal <= %.1f)%s\n", what, us, r, goal,
                    r <= goal ? "" : "  ABOVE GOAL");
    }
};

void run_exchange_bench(report& out);
void run_simulator_bench(report& out);
void run_discovery_bench(report& out);
void run_fabric_bench(report& out, const char* self);
// `telvar_bench --peak-of PROGRAM ARGS...`: runs the program and prints its peak memory (KiB).
int peak_of_child(char** argv);

}  // namespace bench
