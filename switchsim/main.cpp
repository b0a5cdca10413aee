// switchsim: serves the management protocol of a simulated Fibre Channel fabric on loopback.
#include <arpa/inet.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

#include "switchsim/core/default_fabric.h"
#include "switchsim/core/fabric_file.h"
#include "switchsim/core/generated_fabric.h"
#include "switchsim/core/server.h"

namespace {

constexpr const char* help_text =
    "Usage: switchsim [options]\n"
    "Serves the switch management protocol (UDP port 5000) for a simulated fabric.\n"
    "Without --fabric or --generate it serves three switches linked in a line on 127.0.0.2,\n"
    "127.0.0.3 and 127.0.0.4 (chassis 1, 2, 3; FC addresses 0x104000, 0x108000, 0x10c000).\n"
    "\n"
    "Options:\n"
    "  --fabric FILE      load the fabric from a JSON file (format: docs/fabric-file.md)\n"
    "  --generate S,D     serve a generated fabric: S switches (1 to 63) of 16 ports in a\n"
    "                     ring, D devices spread over them on F and FL ports; only the\n"
    "                     first switch has an IP address, the others are reached through it\n"
    "  --base ADDR        address of the first switch; the others follow it\n"
    "                     (default 127.0.0.2; with --fabric, moves the file's addresses so\n"
    "                     that its first switch gets ADDR)\n"
    "  --login-required   every switch refuses configuration commands (status 0x0E) until\n"
    "                     the manager logs in (default account admin / password)\n"
    "  --login-expiry S   a login ends after S seconds without a request (default 32400)\n"
    "  --fault RULE       inject a fault into answers; may be repeated. RULE is\n"
    "                     KIND[=VALUE][,cmd=C][,sub=S][,p=P][,count=N] with KIND one of\n"
    "                     drop, silence, delay=MS, duplicate, reorder, stale, corrupt,\n"
    "                     status=BYTE, or for a hostile switch fill=BYTE (every payload\n"
    "                     byte), size=N (answers of N bytes) and truncate=N (datagrams cut\n"
    "                     after framing); cmd and sub select a command and its sub-command\n"
    "                     (sub alone: of 0x30; all requests when absent), p a probability,\n"
    "                     count the number of times. Example: --fault drop,cmd=0x7,p=0.5\n"
    "  --latency MS       every switch answers one request at a time, each MS milliseconds\n"
    "                     (0 to 10000) after the later of its arrival and the previous\n"
    "                     answer, as a switch's management processor does; a request relayed\n"
    "                     to another switch costs the switch that answers it (default: each\n"
    "                     switch's latency_ms in the fabric file, else 0)\n"
    "  --reset-time MS    after a switch reset, every switch stays silent for MS\n"
    "                     milliseconds (default: the fabric's reset_time_ms, else 0)\n"
    "  --seed N           seed of the fault injection and of the simulated port traffic\n"
    "                     (default 1; the fabric's diagnostics.seed when not given)\n"
    "  --trap-every SECONDS\n"
    "                     every SECONDS (fractions allowed), each switch moves the counter of\n"
    "                     its next enabled trap code across a threshold, which sends a trap to\n"
    "                     its registered listeners while trapping is on (for demos)\n"
    "  --capture FILE     write every datagram received and sent to a pcap file\n"
    "  -v, --verbose      log one line per request on standard error\n"
    "  -h, --help         print this text\n"
    "  --version          print which build this is\n"
    "\n"
    "It prints one line when it serves and stops cleanly on SIGINT or SIGTERM.\n";

sim::server* running = nullptr;

void on_signal(int) {
    if (running != nullptr) running->stop();
}

int usage_error(const std::string& why) {
    std::fprintf(stderr, "switchsim: %s\nTry 'switchsim --help'.\n", why.c_str());
    return 2;
}

// Binds the fabric's addresses and serves until a signal stops it.
int serve(sim::fabric f, const sim::server_options& opts) {
    const std::size_t switches = f.switches.size();
    sim::server srv(std::move(f), opts);
    std::string why;
    if (!srv.bind(why)) {
        std::fprintf(stderr, "switchsim: %s\n", why.c_str());
        return 1;
    }
    running = &srv;
    struct sigaction sa{};
    sa.sa_handler = on_signal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);

    std::string served;
    for (const auto& a : srv.addresses()) {
        char ip[INET_ADDRSTRLEN];
        inet_ntop(AF_INET, &a.sin_addr, ip, sizeof ip);
        served += std::string(served.empty() ? "" : " ") + ip;
    }
    // Every switch counts, also those reached only through the fabric.
    const std::size_t hidden = switches - srv.addresses().size();
    std::printf("switchsim: serving %zu switch(es) on UDP port %u: %s", switches, opts.port,
                served.c_str());
    if (hidden > 0) std::printf(" (and %zu reached through the fabric)", hidden);
    std::printf("\n");
    for (const auto& rule : opts.faults)
        std::printf("switchsim: fault %s (seed %u)\n", sim::describe(rule).c_str(), opts.seed);
    std::fflush(stdout);
    srv.run();
    running = nullptr;
    const auto st = srv.stats();
    std::fprintf(stderr,
                 "switchsim: stopped after %llu requests (%llu answered, %llu bad checksums, "
                 "%llu malformed, %llu unroutable, %llu dropped by faults, %llu dropped while "
                 "restarting)\n",
                 static_cast<unsigned long long>(st.received), static_cast<unsigned long long>(st.answered),
                 static_cast<unsigned long long>(st.bad_checksum), static_cast<unsigned long long>(st.malformed),
                 static_cast<unsigned long long>(st.unroutable), static_cast<unsigned long long>(st.dropped),
                 static_cast<unsigned long long>(st.restarting));
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    sim::server_options opts;
    std::string fabric_path;
    std::string generate_text;
    std::string base_text;
    bool login_required = false;
    long login_expiry = -1;
    double trap_every_s = 0;
    std::optional<std::uint32_t> reset_ms;
    std::optional<std::uint32_t> latency_ms;
    bool seed_given = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view a = argv[i];
        const auto value = [&](const char* what) -> const char* {
            if (i + 1 >= argc) return nullptr;
            (void)what;
            return argv[++i];
        };
        if (a == "-h" || a == "--help") {
            std::fputs(help_text, stdout);
            return 0;
        } else if (a == "--version") {
            std::printf("switchsim build %s\n", TELVAR_BUILD_ID);
            return 0;
        } else if (a == "-v" || a == "--verbose") {
            opts.verbose = true;
        } else if (a == "--login-required") {
            login_required = true;
        } else if (a == "--fabric" || a == "--generate" || a == "--base" || a == "--fault" ||
                   a == "--seed" || a == "--capture" || a == "--login-expiry" ||
                   a == "--trap-every" || a == "--reset-time" || a == "--latency") {
            const char* v = value(argv[i]);
            if (v == nullptr) return usage_error(std::string(a) + " needs a value");
            if (a == "--fabric") {
                fabric_path = v;
            } else if (a == "--generate") {
                generate_text = v;
            } else if (a == "--base") {
                base_text = v;
            } else if (a == "--capture") {
                opts.capture_path = v;
            } else if (a == "--login-expiry") {
                char* end = nullptr;
                login_expiry = std::strtol(v, &end, 10);
                if (*v == '\0' || *end != '\0' || login_expiry < 0 || login_expiry > 31536000)
                    return usage_error(std::string("bad --login-expiry '") + v + "'");
            } else if (a == "--trap-every") {
                char* end = nullptr;
                trap_every_s = std::strtod(v, &end);
                // At least a millisecond, at most a day.
                if (*v == '\0' || *end != '\0' || !(trap_every_s >= 0.001 && trap_every_s <= 86400))
                    return usage_error(std::string("--trap-every ") + v +
                                       ": seconds from 0.001 to 86400");
            } else if (a == "--reset-time") {
                char* end = nullptr;
                const unsigned long ms = std::strtoul(v, &end, 10);
                if (*v == '\0' || *end != '\0' || ms > 600000ul)
                    return usage_error(std::string("--reset-time ") + v +
                                       ": expected 0 to 600000 milliseconds");
                reset_ms = static_cast<std::uint32_t>(ms);
            } else if (a == "--latency") {
                char* end = nullptr;
                const unsigned long ms = std::strtoul(v, &end, 10);
                if (*v == '\0' || *end != '\0' || ms > sim::max_latency_ms)
                    return usage_error(std::string("--latency ") + v + ": expected 0 to " +
                                       std::to_string(sim::max_latency_ms) + " milliseconds");
                latency_ms = static_cast<std::uint32_t>(ms);
            } else if (a == "--seed") {
                char* end = nullptr;
                const unsigned long seed = std::strtoul(v, &end, 0);
                if (*v == '\0' || *end != '\0' || seed > 0xFFFFFFFFul)
                    return usage_error(std::string("bad seed '") + v + "'");
                opts.seed = static_cast<std::uint32_t>(seed);
                seed_given = true;
            } else {
                std::string why;
                const auto rule = sim::parse_fault(v, why);
                if (!rule) return usage_error("--fault " + std::string(v) + ": " + why);
                opts.faults.push_back(*rule);
            }
        } else {
            return usage_error("unknown option '" + std::string(a) + "'");
        }
    }

    in_addr base{};
    if (!base_text.empty() && inet_pton(AF_INET, base_text.c_str(), &base) != 1)
        return usage_error("--base " + base_text + ": not a dotted IPv4 address");

    if (!fabric_path.empty() && !generate_text.empty())
        return usage_error("--fabric and --generate exclude each other");
    sim::fabric f;
    if (!generate_text.empty()) {
        std::string why;
        const auto g = sim::parse_generate_shape(generate_text, why);
        if (!g) return usage_error("--generate " + generate_text + ": " + why);
        auto generated = sim::parse_fabric(sim::generated_fabric_json(*g), why);
        if (!generated) {
            std::fprintf(stderr, "switchsim: generated fabric: %s\n", why.c_str());
            return 1;
        }
        f = std::move(*generated);
        if (!base_text.empty()) sim::move_addresses(f, base.s_addr);
    } else if (fabric_path.empty()) {
        f = sim::default_fabric(base_text.empty() ? inet_addr("127.0.0.2") : base.s_addr);
    } else {
        std::string why;
        auto loaded = sim::load_fabric_file(fabric_path, why);
        if (!loaded) {
            std::fprintf(stderr, "switchsim: %s\n", why.c_str());
            return 1;
        }
        f = std::move(*loaded);
        if (!base_text.empty()) sim::move_addresses(f, base.s_addr);
    }
    for (auto& s : f.switches) {
        auto& login = s.get<sim::login_state>();
        if (login_required) login.login_required = true;
        if (login_expiry >= 0) login.expiry = std::chrono::seconds(login_expiry);
    }
    if (trap_every_s > 0)
        for (auto& s : f.switches)
            s.get<sim::trap_state>().raise_every =
                std::chrono::duration_cast<sim::sim_clock::duration>(
                    std::chrono::duration<double>(trap_every_s));
    if (reset_ms)
        for (auto& s : f.switches) s.get<sim::chassis_state>().reset_ms = *reset_ms;
    if (latency_ms)
        for (auto& s : f.switches) s.latency = std::chrono::milliseconds(*latency_ms);
    if (seed_given) f.get<sim::diag_fabric_state>().seed = opts.seed;
    return serve(std::move(f), opts);
}
