#include "bench_main.h"

#include <cstring>

#include "tv_api.h"

int main(int argc, char** argv) {
    if (argc > 2 && std::strcmp(argv[1], "--peak-of") == 0) return bench::peak_of_child(argv + 2);
    tv_api_open(nullptr);
    bench::report out;
    std::printf("telvar benchmarks (ratios against the floor measured in this run)\n");
    bench::run_exchange_bench(out);
    bench::run_simulator_bench(out);
    bench::run_discovery_bench(out);
    bench::run_fabric_bench(out, argv[0]);
    return 0;
}
