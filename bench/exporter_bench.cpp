// The exporter at scale, over the fabric of the fabric benchmark (12 chassis, 10,000 devices):
// one scrape of the whole fabric in this process, as a ratio to its exchanges times the
// loopback round trip (datagrams of 520 bytes: the name server's are nearly all of them); the
// peak memory of the exporter program serving one scrape of it over HTTP; and six scrapes of it
// at once with a deadline shorter than a whole read, beside two clients that hold half a
// request: how long the slowest waited for its answer.
#include <arpa/inet.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "bench_main.h"
#include "exporter/scrape.h"
#include "http_get.h"
#include "proto/name_server/layout.h"
#include "walk_measure.h"

namespace bench {

namespace {

constexpr int listen_port = 9464;
constexpr int concurrent_port = 9465;

// Peak resident memory (KiB) of the exporter serving one scrape of the fabric at `fabric`, or
// -1. It runs under a fresh copy of this program (peak_of_child), which passes SIGTERM on.
long exporter_peak_kib(const char* self, const char* fabric) {
    const std::string listen = std::string(addresses::exporter) + ":" + std::to_string(listen_port);
    const peak_run run(self, {TELVAR_EXPORTER_BIN, "--listen", listen, "--fabric", "--deadline", "60000", fabric});
    // It listens within a few seconds; one scrape, then it is stopped.
    bool scraped = false;
    for (int i = 0; run.pid() > 0 && i < 100 && !scraped; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        scraped = http_get(addresses::exporter, listen_port, "/metrics", 120000).status == 200;
    }
    if (run.pid() > 0) kill(run.pid(), SIGTERM);
    const long kib = run.peak_kib();
    return scraped ? kib : -1;
}

// Six scrapes at once of the exporter serving the fabric at `fabric` with --deadline
// `deadline_ms`, while two slow clients hold their connections: the slowest answer (seconds)
// and how many came, against 1.25 times the deadline.
void concurrent_scrapes(const char* self, const char* fabric, int deadline_ms) {
    const std::string listen = std::string(addresses::exporter) + ":" + std::to_string(concurrent_port);
    const peak_run run(self, {TELVAR_EXPORTER_BIN, "--listen", listen, "--fabric", "--deadline",
                              std::to_string(deadline_ms), fabric});
    // Listening once another path is refused.
    bool listening = false;
    for (int i = 0; run.pid() > 0 && i < 100 && !listening; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        listening = http_get(addresses::exporter, concurrent_port, "/", 1000).status == 404;
    }
    double slowest = 0;
    int answered = 0;
    if (listening) {
        const std::string half = "GET /metrics HTTP/1.1\r\nHost: bench\r\n";
        const half_request a(addresses::exporter, concurrent_port, half), b(addresses::exporter, concurrent_port, half);
        std::vector<std::future<std::pair<int, double>>> scrapes;
        for (int i = 0; i < 6; ++i)
            scrapes.push_back(std::async(std::launch::async, [] {
                const auto t = std::chrono::steady_clock::now();
                const int status = http_get(addresses::exporter, concurrent_port, "/metrics", 30000).status;
                return std::pair{status, std::chrono::duration<double>(std::chrono::steady_clock::now() - t).count()};
            }));
        for (auto& f : scrapes) {
            const auto [status, seconds] = f.get();
            answered += status == 200;
            slowest = std::max(slowest, seconds);
        }
    }
    if (run.pid() > 0) kill(run.pid(), SIGTERM);
    run.peak_kib();
    const double goal = 1.25 * deadline_ms / 1000;
    const std::string what = "exporter: 6 at once, 2 slow, deadline " + std::to_string(deadline_ms) + " ms";
    std::printf("%-48s %10.2f s    %d of 6 answered (goal <= %.2f s)%s\n", what.c_str(), slowest, answered, goal,
                answered == 6 && slowest <= goal ? "" : "  ABOVE GOAL");
}

}  // namespace

void run_exporter_bench(report& out, sim::server& srv, const char* self,
                        const char* fabric) {
    // As the exporter program runs its scrapes.
    const int32_t was_strict = tv_set_strict_answers(1);
    const int32_t was_timeout = tv_get_timeout(), was_wait = tv_get_ip_timeout();
    tv_set_timeout(250);
    tv_set_ip_timeout(62);
    const exporter::scrape_options o{.fabric = true, .deadline = std::chrono::milliseconds(60000)};
    const walk_figures f = measure(srv, out, 5, [&] {
        const exporter::scrape_result r = exporter::scrape({fabric}, o);
        if (r.switches.size() != 12 || r.fabric_objects.size() != 1 || r.fabric_objects.begin()->second != 10000)
            std::fprintf(stderr, "exporter scrape: %zu switches, not the whole fabric\n", r.switches.size());
    });
    tv_set_strict_answers(was_strict);
    tv_set_timeout(was_timeout);
    tv_set_ip_timeout(was_wait);
    print_ratio("exporter scrape, 12 chassis, 10000 devices", f, 1.3);  // the snapshot's goal: it reads as much
    out.line("telvar-exporter, one scrape of it: peak memory",
             static_cast<double>(exporter_peak_kib(self, fabric)) / 1024, "MiB");
    // A deadline above a whole read, and one below it (the answers then come without the read).
    concurrent_scrapes(self, fabric, 2000);
    concurrent_scrapes(self, fabric, 500);
}

}  // namespace bench
