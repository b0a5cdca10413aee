// The fabric view at scale, against the simulator in this process: a walk of the name server
// of a fabric of 10,000 devices, a walk of the link tables of 12 chassis in a ring and a
// snapshot of that whole fabric, each as
// a ratio to its number of exchanges times the loopback round trip. The round trip is measured
// around each repeat of a walk, with datagrams of the walk's size (520 bytes each way for the
// name server), so that both see the same machine. The peak memory of the tool walking the
// 10,000 devices is measured in a process of its own.
#include <arpa/inet.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench_main.h"
#include "proto/name_server/layout.h"
#include "proto/topology/layout.h"
#include "served_fabric.h"
#include "switchsim/core/server.h"
#include "telvar/data/fabric_snapshot.h"
#include "telvar/telvar.h"
#include "udp_echo.h"
#include "walk_measure.h"

extern char** environ;

namespace bench {

namespace {

constexpr std::size_t ring_switches = 12;
constexpr std::size_t devices = 10000;
constexpr std::uint32_t first_switch = 0x104000;

// Peak resident memory (KiB) of the telvar tool running `command` against the fabric.
long tool_peak_kib(const char* self, const char* command) {
    const peak_run run(self, {TELVAR_BIN, command, "-port", "0", addresses::fabric});
    return run.peak_kib();
}

// Seconds the telvar tool takes, as a whole process, to run with `args` (the median of three).
double tool_seconds(std::vector<std::string> args) {
    args.insert(args.begin(), TELVAR_BIN);
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<double> runs;
    for (int i = 0; i < 3; ++i) {
        const auto start = clock::now();
        pid_t pid = -1;
        int status = 0;
        if (posix_spawn(&pid, TELVAR_BIN, nullptr, nullptr, argv.data(), environ) != 0 ||
            waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
            return -1;
        runs.push_back(std::chrono::duration<double>(clock::now() - start).count());
    }
    return median(runs);
}

// The pictures of the fabric from a snapshot file of it: the map (Graphviz's layout included)
// and the panels of every switch.
void draw_pictures(report& out, tv_context* ctx) {
    char dir[] = "/tmp/telvar-bench-XXXXXX";
    if (mkdtemp(dir) == nullptr) return;
    const std::string snapshot = std::string(dir) + "/fabric.json", svg = std::string(dir) + "/picture.svg";
    if (std::FILE* f = std::fopen(snapshot.c_str(), "w")) {
        tv_set_dest_addr(ctx, first_switch);
        telvar::snapshot::write(ctx, addresses::fabric, f);
        std::fclose(f);
        out.line("telvar map, 12 chassis, 10000 devices (goal < 2)", tool_seconds({"map", "-o", svg, snapshot}), "s");
        out.line("telvar panel, 12 chassis, 10000 devices", tool_seconds({"panel", "-o", svg, snapshot}), "s");
        out.line("telvar map --devices, every device drawn", tool_seconds({"map", "--devices", "-o", svg, snapshot}), "s");
    }
    std::remove(snapshot.c_str());
    std::remove(svg.c_str());
    rmdir(dir);
}

void run_walks(report& out, const char* self) {
    const auto served = serve_generated({ring_switches, devices}, addresses::fabric);
    if (!served) return;
    sim::server& srv = *served;
    {
        const echo_process echo(addresses::fabric_echo, 5000);
        section_floor_us(out, "fabric", echo);
    }
    Discover = 0;
    tv_context* ctx = tv_open(addresses::fabric);
    if (ctx == nullptr) {
        std::fprintf(stderr, "cannot open a context on %s\n", addresses::fabric);
        return;
    }

    const walk_figures ns = measure(srv, out, 9, [&] {
        tv_nameserver_list list{};
        if (tv_get_nameserverdata(ctx, &list) != 0 || list.count != static_cast<int32_t>(devices))
            std::fprintf(stderr, "name-server walk: status %d, %d objects\n", tv_api_errno, list.count);
        tv_free_nameserverdata(&list);
    });
    print_ratio("name-server walk, 10000 devices", ns);

    FILE* const saved = fp;
    fp = std::fopen("/dev/null", "w");
    // A walk is 60 exchanges; ten in a row make one repeat, so that the simulator's first
    // wake-up after the floor measurement does not weigh on the figure.
    constexpr int walks_per_repeat = 10;
    walk_figures topo = measure(srv, out, 31, [&] {
        for (int i = 0; i < walks_per_repeat; ++i) {
            std::fill(std::begin(all_chassis), std::end(all_chassis), -1);
            tv_set_dest_addr(ctx, first_switch);
            add_to_topo(static_cast<int32_t>(tv::layout::topology::chassis_of(first_switch)));
            if (print_topo(ctx) != 0) std::fprintf(stderr, "fabric walk: status %d\n", tv_api_errno);
        }
    });
    if (fp != nullptr) std::fclose(fp);
    fp = saved;
    topo.exchanges /= walks_per_repeat;
    print_ratio("fabric walk, 12 chassis in a ring", topo);

    // The snapshot: the name server and every switch's record, written out as it goes.
    std::FILE* sink = std::fopen("/dev/null", "w");
    const walk_figures snap = measure(srv, out, 5, [&] {
        tv_set_dest_addr(ctx, first_switch);
        if (telvar::snapshot::write(ctx, addresses::fabric, sink) != 0)
            std::fprintf(stderr, "snapshot: a switch failed\n");
    });
    if (sink != nullptr) std::fclose(sink);
    print_ratio("snapshot, 12 chassis, 10000 devices", snap, 1.3);
    draw_pictures(out, ctx);
    tv_close(ctx);
    run_exporter_bench(out, srv, self, addresses::fabric);

    out.line("telvar nameserver, 10000 devices: peak memory",
             static_cast<double>(tool_peak_kib(self, "nameserver")) / 1024, "MiB");
    // The tool walks the name server a record at a time; holding all of it would take this much.
    out.line("  (10000 name-server records held at once)",
             static_cast<double>(devices * sizeof(tv_nameserver_entry)) / (1024 * 1024), "MiB");
    out.line("telvar snapshot, 10000 devices: peak memory",
             static_cast<double>(tool_peak_kib(self, "snapshot")) / 1024, "MiB");
    out.line("telvar version: peak memory",
             static_cast<double>(tool_peak_kib(self, "version")) / 1024, "MiB");
    srv.stop();
}

}  // namespace

peak_run::peak_run(const char* self, const std::vector<std::string>& program) {
    std::vector<std::string> args{self, "--peak-of"};
    args.insert(args.end(), program.begin(), program.end());
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    int out[2];
    if (pipe(out) != 0) return;
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_adddup2(&fa, out[1], 1);
    posix_spawn_file_actions_addclose(&fa, out[0]);
    if (posix_spawn(&pid_, self, &fa, nullptr, argv.data(), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&fa);
    close(out[1]);
    report_ = out[0];
}

long peak_run::peak_kib() const {
    char text[32] = {};
    const ssize_t n = pid_ > 0 ? read(report_, text, sizeof text - 1) : -1;
    if (report_ >= 0) close(report_);
    int status = 0;
    if (pid_ <= 0 || waitpid(pid_, &status, 0) != pid_ || n <= 0) return -1;
    return std::atol(text);
}

namespace {
pid_t peak_child = -1;
void pass_on(int signal) {
    if (peak_child > 0) kill(peak_child, signal);
}
}  // namespace

int peak_of_child(char** argv) {
    const pid_t pid = fork();
    if (pid == 0) {
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, 1);
        execv(argv[0], argv);
        _exit(127);
    }
    // A program that serves until it is stopped (the exporter) is stopped through this one.
    peak_child = pid;
    struct sigaction stop {};
    stop.sa_handler = pass_on;
    stop.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &stop, nullptr);
    int status = 0;
    rusage usage{};
    if (pid < 0 || wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) ||
        WEXITSTATUS(status) != 0)
        return 1;
    std::printf("%ld\n", usage.ru_maxrss);
    return 0;
}

void run_fabric_bench(report& out, const char* self) {
    run_walks(out, self);
}

}  // namespace bench
