// tv_exchange against an echo responder (the echo of a request is a matching answer with
// status 0x00), compared with the plain round trip against the same echo server.
#include <array>
#include <chrono>
#include <cstdio>

#include "bench_main.h"
#include "tv_api/tv_inter.h"
#include "udp_echo.h"

namespace bench {

namespace {

double exchange_round_trip_us(tv_context* ctx, int rounds) {
    std::array<std::uint8_t, 24> req{};
    std::array<std::uint8_t, 64> resp{};
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < rounds; ++i) {
        tv::build_config_request(ctx, req, 0x200);
        if (!tv::exchange(ctx, req, resp).ok()) std::fprintf(stderr, "exchange failed\n");
    }
    const std::chrono::duration<double, std::micro> took = std::chrono::steady_clock::now() - start;
    return took.count() / rounds;
}

}  // namespace

void run_exchange_bench(report& out) {
    const echo_process echo(addresses::exchange_echo, 5000);
    Discover = 0;
    tv_context* ctx = tv_open(addresses::exchange_echo);
    if (ctx == nullptr) {
        std::fprintf(stderr, "cannot open a context on %s\n", addresses::exchange_echo);
        return;
    }
    constexpr int rounds = 2000;
    constexpr int repeats = 9;
    section_floor_us(out, "exchange", echo);
    exchange_round_trip_us(ctx, rounds / 4);  // warm up
    std::vector<double> exch;
    for (int r = 0; r < repeats; ++r) exch.push_back(exchange_round_trip_us(ctx, rounds));
    tv_close(ctx);
    out.ratio("tv_exchange with an echo responder", median(exch), 1.05);
}

}  // namespace bench
