// The watcher's events: what keeping a trap registration costs each interval when it is there
// (one read of the listener table: against the floor), and what the trap receiver spends on a
// datagram it takes and on one it refuses (a flood of forged traps must cost little).
#include <arpa/inet.h>
#include <sys/socket.h>

#include <chrono>
#include <cstdio>
#include <vector>

#include "bench_main.h"
#include "proto/header.h"
#include "proto/traps/decode.h"
#include "switchsim/core/default_fabric.h"
#include "switchsim/core/server.h"
#include "telvard/events/registration.h"
#include "telvard/events/trap_receiver.h"
#include "udp_echo.h"

namespace bench {

namespace {

using micro = std::chrono::duration<double, std::micro>;

std::vector<std::uint8_t> trap_from(std::uint32_t source) {
    std::vector<std::uint8_t> m(48);
    tv::encode_header(m, {1, 4, 0, TV_HDR_STATUS_OK, source, TV_CMD_TRAP, 32, 1});
    tv::encode_trap_event(m, {source, 3, 11, TV_TRAP_RISING, 25, 25});
    tv::set_checksum(m);
    return m;
}

// Microseconds the receiver spends on each of `batch` datagrams sent from `from`, queued
// before it reads them (a batch fits the socket's buffer); the median of nine batches.
double take_us(telvar::events::trap_receiver& rx, const char* from, const std::vector<std::uint8_t>& m,
               std::size_t& taken) {
    constexpr int batch = 200;
    const int s = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = inet_addr(from);
    ::bind(s, reinterpret_cast<const sockaddr*>(&a), sizeof a);
    const sockaddr_in to = rx.local();
    std::vector<double> runs;
    for (int r = 0; r < 9; ++r) {
        for (int i = 0; i < batch; ++i)
            ::sendto(s, m.data(), m.size(), 0, reinterpret_cast<const sockaddr*>(&to), sizeof to);
        const auto start = std::chrono::steady_clock::now();
        taken += rx.take(0).size();
        runs.push_back(micro(std::chrono::steady_clock::now() - start).count() / batch);
    }
    ::close(s);
    return median(runs);
}

}  // namespace

void run_events_bench(report& out) {
    sim::server srv(sim::default_fabric(inet_addr(addresses::events)));
    std::string why;
    if (!srv.bind(why)) {
        std::fprintf(stderr, "simulator: %s\n", why.c_str());
        return;
    }
    srv.start();
    {
        const echo_process echo(addresses::events_echo, 5000);
        section_floor_us(out, "events", echo);
    }
    Discover = 0;
    tv_context* ctx = tv_open(addresses::events);
    if (ctx == nullptr) {
        std::fprintf(stderr, "cannot open a context on %s\n", addresses::events);
        return;
    }
    telvar::events::trap_receiver rx({addresses::events_receiver, 0});
    const in_addr self = rx.local().sin_addr;
    const std::uint16_t port = ntohs(rx.local().sin_port);
    telvar::events::ensure_registered(ctx, 0x104000, self, port);
    constexpr int rounds = 2000;
    std::vector<double> runs;
    for (int r = 0; r < 9; ++r) {
        const auto start = std::chrono::steady_clock::now();
        for (int i = 0; i < rounds; ++i)
            if (telvar::events::ensure_registered(ctx, 0x104000, self, port).registered)
                std::fprintf(stderr, "registered again\n");
        runs.push_back(micro(std::chrono::steady_clock::now() - start).count() / rounds);
    }
    out.ratio("trap registration checked, present (1 exchange)", median(runs), 1.2);
    telvar::events::unregister(ctx, 0x104000, self, port);
    tv_close(ctx);

    in_addr gateway{};
    gateway.s_addr = inet_addr(addresses::events);
    rx.watch(addresses::events, gateway, {{"10:00:00:00:5e:01:00:00", "0x104000", 1}});
    std::size_t taken = 0;
    out.line("trap receiver: a trap taken", take_us(rx, addresses::events, trap_from(0x104000), taken), "us");
    out.line("trap receiver: a forged trap refused", take_us(rx, addresses::events_receiver, trap_from(0x104000), taken),
             "us");
    if (taken != 9 * 200) std::fprintf(stderr, "trap receiver took %zu of %d traps\n", taken, 9 * 200);
}

}  // namespace bench
