// The exporter at scale, over the fabric of the fabric benchmark (12 chassis, 10,000 devices):
// one scrape of the whole fabric in this process, as a ratio to its exchanges times the
// loopback round trip (datagrams of 520 bytes: the name server's are nearly all of them); and
// the peak memory of the exporter program serving one scrape of it over HTTP.
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "bench_main.h"
#include "name_server_layout.h"
#include "scrape.h"
#include "support/http_get.h"
#include "walk_measure.h"

extern char** environ;

namespace bench {

namespace {

constexpr const char* listen_address = "127.0.134.1";
constexpr int listen_port = 9464;

// Peak resident memory (KiB) of the exporter serving one scrape of the fabric at `fabric`, or
// -1. It runs under a fresh copy of this program (peak_of_child), which passes SIGTERM on.
long exporter_peak_kib(const char* self, const char* fabric) {
    const std::string listen = std::string(listen_address) + ":" + std::to_string(listen_port);
    std::vector<std::string> args{self, "--peak-of", TELVAR_EXPORTER_BIN, "--listen", listen, "--fabric",
                                  "--deadline", "60000", fabric};
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    int out[2];
    if (pipe(out) != 0) return -1;
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_adddup2(&fa, out[1], 1);
    posix_spawn_file_actions_addclose(&fa, out[0]);
    pid_t pid = -1;
    const int rc = posix_spawn(&pid, self, &fa, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&fa);
    close(out[1]);
    // It listens within a few seconds; one scrape, then it is stopped.
    bool scraped = false;
    for (int i = 0; rc == 0 && i < 100 && !scraped; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        scraped = tvtest::http_get(listen_address, listen_port, "/metrics", 120000).status == 200;
    }
    if (rc == 0) kill(pid, SIGTERM);
    char text[32] = {};
    const ssize_t n = rc == 0 ? read(out[0], text, sizeof text - 1) : -1;
    close(out[0]);
    int status = 0;
    if (rc != 0 || waitpid(pid, &status, 0) != pid || n <= 0 || !scraped) return -1;
    return std::atol(text);
}

}  // namespace

void run_exporter_bench(report& out, sim::server& srv, const udp_echo& echo, const char* self,
                        const char* fabric) {
    // As the exporter program runs its scrapes.
    const int32_t was_strict = tv_set_strict_answers(1);
    const int32_t was_timeout = tv_get_timeout(), was_wait = tv_get_ip_timeout();
    tv_set_timeout(250);
    tv_set_ip_timeout(62);
    const exporter::scrape_options o{true, std::chrono::milliseconds(60000)};
    const walk_figures f = measure(srv, echo, tv::layout::name_server::msg_len, 5, [&] {
        const exporter::scrape_result r = exporter::scrape({fabric}, o);
        if (r.switches.size() != 12 || r.fabric_objects.size() != 1 || r.fabric_objects.begin()->second != 10000)
            std::fprintf(stderr, "exporter scrape: %zu switches, not the whole fabric\n", r.switches.size());
    });
    tv_set_strict_answers(was_strict);
    tv_set_timeout(was_timeout);
    tv_set_ip_timeout(was_wait);
    print_ratio("exporter scrape, 12 chassis, 10000 devices", f);
    out.line("telvar-exporter, one scrape of it: peak memory",
             static_cast<double>(exporter_peak_kib(self, fabric)) / 1024, "MiB");
}

}  // namespace bench
