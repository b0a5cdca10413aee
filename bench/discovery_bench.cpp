// Discovery of a /16 (65,536 loopback addresses) with the whole range in flight, in a network
// namespace of the benchmark's own: silent (a socket on port 5000 of every address takes the
// probes and answers none, so nothing at all comes back, as from a real empty /16) and refused
// (nothing bound: "port unreachable" back at once). Beside them what the sequential discovery
// would take: three discovery-mode cycles of a 60 ms wait and a 15 ms pause for every silent
// address.
//
// Then the tool's `discover -m 255.255.255.0` as a user runs it, over a /24 where nothing sends
// anything back: a socket on port 5000 of every address takes the probes and answers none, so
// that no "port unreachable" ends a probe early. Its floor is one discovery budget, measured in
// the same run: the sequential discovery of one such address.
#include <arpa/inet.h>
#include <fcntl.h>
#include <net/if.h>
#include <sched.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "bench_main.h"
#include "telvar/tv_api.h"
#include "udp_echo.h"

extern char** environ;

namespace bench {

namespace {

using clock = std::chrono::steady_clock;

// Sockets bound to port 5000 of every address of a /24, reading nothing: probes vanish in them.
// SO_REUSEPORT lets two benchmark runs on one machine hold the same sinks.
class sink_net {
public:
    explicit sink_net(const char* net) {
        for (int host = 0; host < 256; ++host) {
            const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
            if (fd < 0) break;
            fds_.push_back(fd);
            const int on = 1;
            ::setsockopt(fd, SOL_SOCKET, SO_REUSEPORT, &on, sizeof on);
            sockaddr_in a{};
            a.sin_family = AF_INET;
            a.sin_port = htons(5000);
            a.sin_addr.s_addr = htonl(ntohl(inet_addr(net)) + static_cast<std::uint32_t>(host));
            if (::bind(fd, reinterpret_cast<const sockaddr*>(&a), sizeof a) != 0) return;
        }
        ok_ = fds_.size() == 256;
    }
    ~sink_net() {
        for (const int fd : fds_) ::close(fd);
    }
    sink_net(const sink_net&) = delete;
    sink_net& operator=(const sink_net&) = delete;
    bool ok() const { return ok_; }

private:
    std::vector<int> fds_;
    bool ok_ = false;
};

// Seconds the tool takes as a whole process (the median of three), its output thrown away;
// -1 when it fails.
double tool_seconds(std::vector<std::string> args) {
    args.insert(args.begin(), TELVAR_BIN);
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&fa, 2, "/dev/null", O_WRONLY, 0);
    std::vector<double> runs;
    for (int i = 0; i < 3; ++i) {
        const auto start = clock::now();
        pid_t pid = -1;
        int status = 0;
        if (posix_spawn(&pid, TELVAR_BIN, &fa, nullptr, argv.data(), environ) != 0 ||
            waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
            break;
        runs.push_back(std::chrono::duration<double>(clock::now() - start).count());
    }
    posix_spawn_file_actions_destroy(&fa);
    if (runs.size() != 3) return -1;
    std::ranges::sort(runs);
    return runs[1];
}

void tool_discovery_of_a_silent_24(report& out) {
    const sink_net sinks(addresses::sink_net);
    if (!sinks.ok()) {
        out.line("tool discover, sinking /24: NO SINKS", 0, "");
        return;
    }
    // One discovery budget: the sequential discovery of one address that answers nothing.
    const std::string first = std::string(addresses::sink_net).substr(0, std::string(addresses::sink_net).rfind('.')) + ".1";
    std::vector<double> budgets;
    for (int i = 0; i < 3; ++i) {
        const auto start = clock::now();
        tv_free_discovery(tv_discover(nullptr, first.c_str(), 1), nullptr);
        budgets.push_back(std::chrono::duration<double>(clock::now() - start).count());
    }
    std::ranges::sort(budgets);
    const double budget = budgets[1];
    const double took = tool_seconds({"discover", "-m", "255.255.255.0", first});
    const double r = took / budget;
    std::printf("%-48s %10.2f s    ratio %.2f to one discovery budget, %.3f s (goal <= 1.50)%s\n",
                "telvar discover -m 255.255.255.0, sinking /24", took, r, budget,
                took > 0 && r <= 1.5 ? "" : "  ABOVE GOAL");
    out.line("the same, one address after another (estimate)", 255 * budget, "s");
}

// Brings up the loopback interface of a fresh network namespace; false when it cannot.
bool loopback_up() {
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    ifreq ifr{};
    std::strncpy(ifr.ifr_name, "lo", sizeof ifr.ifr_name - 1);
    bool ok = ::ioctl(fd, SIOCGIFFLAGS, &ifr) == 0;
    ifr.ifr_flags = static_cast<short>(ifr.ifr_flags | IFF_UP);
    ok = ok && ::ioctl(fd, SIOCSIFFLAGS, &ifr) == 0;
    ::close(fd);
    return ok;
}

// Seconds to discover the /16 from `net` with it all in flight; -1 when something answered or
// the discovery failed.
double whole_range_seconds(const char* net) {
    constexpr int32_t addresses = 65536;
    const auto start = clock::now();
    char** found = tv_discover_parallel(nullptr, net, addresses, addresses, nullptr, nullptr);
    const double took = std::chrono::duration<double>(clock::now() - start).count();
    const bool none = found != nullptr && found[0] == nullptr;
    tv_free_discovery(found, nullptr);
    return none ? took : -1;
}

// The silent and the refused /16 (the median of three each), measured in a child process in a
// network namespace of its own, where a sink on 0.0.0.0:5000 troubles no one else; false when
// the system allows no namespace.
bool namespaced_discovery(double& silent, double& refused) {
    int pipe_fds[2];
    if (::pipe(pipe_fds) != 0) return false;
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(pipe_fds[0]);
        double figures[2] = {-1, -1};
        if (::unshare(CLONE_NEWNET) == 0 && loopback_up()) {
            for (int sinking = 1; sinking >= 0; --sinking) {
                int sink = -1;
                if (sinking == 1) {
                    sink = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
                    sockaddr_in a{};
                    a.sin_family = AF_INET;
                    a.sin_port = htons(5000);
                    if (sink < 0 || ::bind(sink, reinterpret_cast<const sockaddr*>(&a), sizeof a) != 0) break;
                }
                std::vector<double> runs;
                for (int i = 0; i < 3; ++i) runs.push_back(whole_range_seconds(addresses::silent_net));
                std::ranges::sort(runs);
                figures[sinking == 1 ? 0 : 1] = runs.front() < 0 ? -1 : runs[1];
                if (sink >= 0) ::close(sink);
            }
        }
        const bool sent = ::write(pipe_fds[1], figures, sizeof figures) == sizeof figures;
        ::_exit(sent ? 0 : 1);
    }
    ::close(pipe_fds[1]);
    double figures[2] = {-1, -1};
    const bool got = pid > 0 && ::read(pipe_fds[0], figures, sizeof figures) == sizeof figures;
    ::close(pipe_fds[0]);
    int status = 0;
    if (pid > 0) ::waitpid(pid, &status, 0);
    silent = figures[0];
    refused = figures[1];
    return got;
}

void whole_range_line(const char* what, double seconds, double goal) {
    if (seconds < 0) {
        std::printf("%-48s %10s\n", what, "FAILED (or something answered)");
        return;
    }
    std::printf("%-48s %10.2f s    (goal < %.1f s)%s\n", what, seconds, goal,
                seconds < goal ? "" : "  ABOVE GOAL");
}

}  // namespace

void run_discovery_bench(report& out) {
    {
        const echo_process floor_echo(addresses::exchange_echo, 5000);
        section_floor_us(out, "discovery", floor_echo);
    }
    constexpr int32_t addresses = 65536;
    constexpr double sequential_s_per_probe = 3 * (0.060 + 0.015);
    double silent = -1, refused = -1;
    if (namespaced_discovery(silent, refused)) {
        whole_range_line("silent /16 (nothing comes back), all in flight", silent, 0.7);
        whole_range_line("refused /16 (port unreachable), all in flight", refused, 0.5);
    } else {
        out.line("silent and refused /16: NO NETWORK NAMESPACE", 0, "");
    }
    out.line("silent /16, sequential (estimate)", addresses * sequential_s_per_probe, "s");
    tool_discovery_of_a_silent_24(out);
}

}  // namespace bench
