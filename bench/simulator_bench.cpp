// The simulator's throughput under several concurrent clients, against the minimal echo
// server measured in the same run with the same clients and requests.
#include <arpa/inet.h>

#include <cstdio>
#include <string>

#include "bench_main.h"
#include "switchsim/core/default_fabric.h"
#include "switchsim/core/server.h"
#include "tv_api/tv_inter.h"
#include "udp_echo.h"

namespace bench {

void run_simulator_bench(report& out) {
    sim::server srv(sim::default_fabric(inet_addr(addresses::simulator)));
    std::string why;
    if (!srv.bind(why)) {
        std::fprintf(stderr, "simulator: %s\n", why.c_str());
        return;
    }
    srv.start();
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
}

}  // namespace bench
