// Fabric-wide reads where switches are slow, as a user meets them: the simulator, as a process
// of its own, serves the 12-chassis, 10,000-device ring with every switch taking 1 ms per
// answer (switchsim --latency 1), and the tool, as a process of its own, reads it side by side
// (its default where switches are slow) and one switch after another (TELVAR_READS=sequential).
// The exporter's scrape is read in this process. Goals: snapshot and scrape under 2.5 s, links
// and map under a tenth of their sequential time, the snapshot's peak memory under 4 MiB.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "bench_main.h"
#include "exporter/scrape.h"
#include "telvar/tv_api.h"
#include "tv_api/lanes.h"
#include "udp_echo.h"

extern char** environ;

namespace bench {

namespace {

using clock = std::chrono::steady_clock;

// Starts `argv` with `extra_env` added and its output thrown away; the process id, or -1.
pid_t spawn(std::vector<std::string> args, const std::vector<std::string>& extra_env = {}) {
    std::vector<char*> argv, envp;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<std::string> env(extra_env);
    for (char** e = environ; *e != nullptr; ++e) env.emplace_back(*e);
    for (auto& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 1, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    if (posix_spawn(&pid, argv[0], &fa, nullptr, argv.data(), envp.data()) != 0) pid = -1;
    posix_spawn_file_actions_destroy(&fa);
    return pid;
}

// Seconds the tool takes as a whole process, once (the sequential reads take some 20 s);
// -1 when it fails.
double tool_seconds(const std::vector<std::string>& args, const char* reads) {
    std::vector<std::string> line{TELVAR_BIN};
    line.insert(line.end(), args.begin(), args.end());
    const auto start = clock::now();
    const pid_t pid = spawn(line, {std::string("TELVAR_READS=") + reads});
    int status = 0;
    if (pid < 0 || waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) return -1;
    return std::chrono::duration<double>(clock::now() - start).count();
}

void compare(const report& out, const char* what, const std::vector<std::string>& args) {
    const double side = tool_seconds(args, "side-by-side");
    const double seq = tool_seconds(args, "sequential");
    const double r = seq > 0 ? side / seq : 0;
    std::printf("%-48s %10.2f s    sequential %.2f s, ratio %.3f (goal < 0.1)%s\n", what, side, seq, r,
                r < 0.1 && side > 0 ? "" : "  ABOVE GOAL");
    (void)out;
}

void goal_seconds(const char* what, double s, double goal) {
    std::printf("%-48s %10.2f s    (goal < %.1f)%s\n", what, s, goal, s >= 0 && s < goal ? "" : "  ABOVE GOAL");
}

}  // namespace

void run_slow_fabric_bench(report& out, const char* self) {
    {
        const echo_process floor_echo(addresses::exchange_echo, 5000);
        section_floor_us(out, "slow", floor_echo);
    }
    const std::string ip = addresses::slow_fabric;
    const pid_t sim = spawn({SWITCHSIM_BIN, "--generate", "12,10000", "--latency", "1", "--base", ip});
    if (sim < 0) {
        std::fprintf(stderr, "cannot start the simulator\n");
        return;
    }
    tv_set_strict_answers(1);
    tv::set_lanes_mode(tv::lanes_mode::where_slow);  // as the programs do
    Discover = 0;
    tv_context* ctx = tv_open(ip.c_str());
    tv_version_info v{};
    // It serves within a second or two; the identity read also tells the library how slow the
    // switches are.
    for (int i = 0; ctx != nullptr && i < 50 && tv_get_version(ctx, &v) != TV_OK; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));

    goal_seconds("slow switches: telvar snapshot, side by side", tool_seconds({"snapshot", "-port", "0", ip}, "side-by-side"), 2.5);
    out.line("slow switches: telvar snapshot, sequential", tool_seconds({"snapshot", "-port", "0", ip}, "sequential"), "s");
    compare(out, "slow switches: telvar links", {"links", "-port", "0", ip});
    char dir[] = "/tmp/telvar-bench-XXXXXX";
    if (mkdtemp(dir) != nullptr) {
        const std::string svg = std::string(dir) + "/map.svg";
        compare(out, "slow switches: telvar map", {"map", "-port", "0", "-o", svg, ip});
        std::remove(svg.c_str());
        rmdir(dir);
    }
    if (ctx != nullptr) {
        exporter::scrape_options o;
        o.fabric = true;
        o.deadline = std::chrono::seconds(60);
        const auto started = clock::now();
        const auto r = exporter::scrape({ip}, o);
        goal_seconds("slow switches: exporter scrape, side by side",
                     std::chrono::duration<double>(clock::now() - started).count(), 2.5);
        if (r.switches.size() != 12) std::fprintf(stderr, "scrape: %zu switches\n", r.switches.size());
        tv_close(ctx);
    }
    const peak_run run(self, {TELVAR_BIN, "snapshot", "-port", "0", ip});
    out.line("slow switches: telvar snapshot, peak memory (goal < 4)", static_cast<double>(run.peak_kib()) / 1024, "MiB");
    kill(sim, SIGTERM);
    waitpid(sim, nullptr, 0);
    tv_set_strict_answers(0);
    tv::set_lanes_mode(tv::lanes_mode::never);
}

}  // namespace bench
