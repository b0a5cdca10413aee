#include "bench_main.h"

#include <arpa/inet.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "telvar/tv_api.h"

namespace bench::addresses {

bool from_environment() {
    const char* net = std::getenv("TELVAR_BENCH_NET");
    if (net == nullptr) return true;
    in_addr probe{};
    if (inet_pton(AF_INET, (std::string(net) + ".1").c_str(), &probe) != 1) return false;
    constexpr int moved = 16;
    static std::string texts[moved];
    const char** targets[moved] = {&exchange_echo, &throughput_echo, &simulator, &fabric_echo, &fabric, &exporter,
                                   &slow_fabric, &many_addresses, &events, &events_echo, &events_receiver,
                                   &console, &console_fabric, &console_echo, &watch_echo, &watch_fabric};
    // The console's fabric takes .66 to .77, clear of the others.
    const int hosts[moved] = {1, 2, 3, 20, 21, 40, 41, 50, 30, 33, 34, 65, 66, 78, 79, 80};
    for (int i = 0; i < moved; ++i) {
        texts[i] = std::string(net) + "." + std::to_string(hosts[i]);
        *targets[i] = texts[i].c_str();
    }
    return true;
}

}  // namespace bench::addresses

int main(int argc, char** argv) {
    if (argc > 2 && std::strcmp(argv[1], "--peak-of") == 0) return bench::peak_of_child(argv + 2);
    if (!bench::addresses::from_environment()) {
        std::fprintf(stderr, "telvar_bench: TELVAR_BENCH_NET must be the first three parts of an IPv4 address\n");
        return 1;
    }
    tv_api_open(nullptr);
    bench::report out;
    std::printf("telvar benchmarks (ratios against the floor measured in this run)\n");
    // `telvar_bench PART...` runs only those parts.
    const auto wanted = [&](const char* part) {
        if (argc < 2) return true;
        for (int i = 1; i < argc; ++i)
            if (std::strcmp(argv[i], part) == 0) return true;
        return false;
    };
    if (wanted("exchange")) bench::run_exchange_bench(out);
    if (wanted("simulator")) bench::run_simulator_bench(out);
    if (wanted("discovery")) bench::run_discovery_bench(out);
    if (wanted("fabric")) bench::run_fabric_bench(out, argv[0]);
    if (wanted("slow")) bench::run_slow_fabric_bench(out, argv[0]);
    if (wanted("history")) bench::run_history_bench(out);
    if (wanted("events")) bench::run_events_bench(out);
    if (wanted("watcher")) bench::run_watcher_bench(out);
    if (wanted("console")) bench::run_console_bench(out);
    return 0;
}
