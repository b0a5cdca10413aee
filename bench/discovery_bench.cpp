// Discovery of a silent /16 (65,536 loopback addresses with nothing listening) with probes in
// flight, beside what the sequential discovery would take: three discovery-mode cycles of a
// 60 ms wait and a 15 ms pause for every silent address.
#include <chrono>
#include <cstdio>

#include "bench_main.h"
#include "telvar/tv_api.h"

namespace bench {

void run_discovery_bench(report& out) {
    constexpr int32_t addresses = 65536;
    constexpr double sequential_s_per_probe = 3 * (0.060 + 0.015);
    for (const int32_t in_flight : {1024, 4096}) {
        const auto start = std::chrono::steady_clock::now();
        char** found = tv_discover_parallel(nullptr, addresses::silent_net, addresses, in_flight,
                                            nullptr, nullptr);
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        const bool none = found != nullptr && found[0] == nullptr;
        tv_free_discovery(found, nullptr);
        char what[96];
        std::snprintf(what, sizeof what, "silent /16 discovered, -j %d%s", in_flight,
                      none ? "" : " (SOMETHING ANSWERED)");
        out.line(what, took.count(), "s   (goal < 10 s)");
    }
    out.line("silent /16, sequential (estimate)", addresses * sequential_s_per_probe, "s");
}

}  // namespace bench
