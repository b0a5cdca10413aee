#include "bench_main.h"

#include "tv_api.h"

int main() {
    tv_api_open(nullptr);
    bench::report out;
    std::printf("telvar benchmarks (ratios against the floor measured in this run)\n");
    bench::run_exchange_bench(out);
    bench::run_simulator_bench(out);
    bench::run_discovery_bench(out);
    return 0;
}
