// The simulator's throughput under several concurrent clients, against the minimal echo
// server measured in the same run with the same clients and requests; and a simulator of 12
// addresses (served by one event loop, not a thread each) with a client at each.
#include <arpa/inet.h>

#include <cstdio>
#include <string>
#include <vector>

#include "bench_main.h"
#include "switchsim/core/default_fabric.h"
#include "switchsim/core/fabric_file.h"
#include "switchsim/core/server.h"
#include "tv_api/tv_inter.h"
#include "udp_echo.h"

namespace bench {

namespace {

// Requests per second of 12 clients, one at each address of a 12-address simulator, over those
// of the same clients at the echo server; 0 when the simulator cannot serve.
void many_addresses_row(const udp_echo& echo, const std::vector<std::uint8_t>& req) {
    constexpr int switches = 12;
    const in_addr_t base = ntohl(inet_addr(addresses::many_addresses));
    std::string text = R"({"switches": [)";
    std::vector<sockaddr_in> targets;
    for (int i = 0; i < switches; ++i) {
        sockaddr_in a = echo.address();
        a.sin_addr.s_addr = htonl(base + static_cast<in_addr_t>(i));
        targets.push_back(a);
        text += std::string(i ? "," : "") + R"({"ip": ")" + inet_ntoa(a.sin_addr) + "\"}";
    }
    std::string why;
    auto f = sim::parse_fabric(text + "]}", why);
    if (!f) {
        std::fprintf(stderr, "simulator of %d addresses: %s\n", switches, why.c_str());
        return;
    }
    sim::server srv(std::move(*f));
    if (!srv.bind(why)) {
        std::fprintf(stderr, "simulator of %d addresses: %s\n", switches, why.c_str());
        return;
    }
    srv.start();
    constexpr int each = 2000;
    throughput_rps(targets, switches, each / 5, req);  // warm up
    std::vector<double> echo_rps, sim_rps;
    for (int r = 0; r < 5; ++r) {
        echo_rps.push_back(throughput_rps(echo.address(), switches, each, req));
        sim_rps.push_back(throughput_rps(targets, switches, each, req));
    }
    srv.stop();
    const double e = median(echo_rps), s = median(sim_rps);
    std::printf("%-48s %10.2f requests/s\n", "simulator, 12 addresses, a client at each", s);
    const double ratio = s > 0 ? e / s : 0;
    std::printf("%-48s %10.2f      (goal <= %.2f)%s\n", "echo/simulator of 12 addresses ratio", ratio,
                1 / 0.95, s > 0 && ratio <= 1 / 0.95 ? "" : "  ABOVE GOAL");
}

}  // namespace

void run_simulator_bench(report& out) {
    sim::server srv(sim::default_fabric(inet_addr(addresses::simulator)));
    std::string why;
    if (!srv.bind(why)) {
        std::fprintf(stderr, "simulator: %s\n", why.c_str());
        return;
    }
    srv.start();
    {
        const echo_process floor_echo(addresses::exchange_echo, 5000);
        section_floor_us(out, "simulator", floor_echo);
    }
    udp_echo echo(addresses::throughput_echo, 5000);

    // A version request, the commonest question a switch is asked.
    std::vector<std::uint8_t> req(20, 0);
    tv_msg_hdr(nullptr, req.data(), TV_CMD_VERSION, 20);
    tv_set_chksum(req.data(), 20);
    sockaddr_in sim_addr = echo.address();
    sim_addr.sin_addr.s_addr = inet_addr(addresses::simulator);

    constexpr int clients = 4;
    constexpr int each = 5000;
    constexpr int repeats = 5;
    throughput_rps(echo.address(), clients, each / 5, req);  // warm up
    throughput_rps(sim_addr, clients, each / 5, req);
    std::vector<double> echo_rps, sim_rps;
    for (int r = 0; r < repeats; ++r) {
        echo_rps.push_back(throughput_rps(echo.address(), clients, each, req));
        sim_rps.push_back(throughput_rps(sim_addr, clients, each, req));
    }
    srv.stop();
    const double e = median(echo_rps), s = median(sim_rps);
    char what[96];
    std::snprintf(what, sizeof what, "echo server, %d clients", clients);
    out.line(what, e, "requests/s");
    std::snprintf(what, sizeof what, "simulator, %d clients (version requests)", clients);
    out.line(what, s, "requests/s");
    const double ratio = s > 0 ? e / s : 0;
    // The simulator is to serve at least 0.95 times the echo server's requests per second.
    std::printf("%-48s %10.2f      (goal <= %.2f)%s\n", "echo/simulator throughput ratio", ratio,
                1 / 0.95, ratio <= 1 / 0.95 ? "" : "  ABOVE GOAL");
    many_addresses_row(echo, req);
}

}  // namespace bench
