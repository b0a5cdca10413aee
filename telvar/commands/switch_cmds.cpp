// Switch-level commands of the tool: discover, version, chassis_status, and switch_reset asked
// about first.
#include <arpa/inet.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "telvar/cli/prompts.h"
#include "telvar/commands/command_cores.h"
#include "telvar/commands/tool_commands.h"
#include "telvar/framework/command_context.h"
#include "telvar/framework/notices.h"
#include "telvar/framework/option_loop.h"
#include "telvar/framework/output.h"
#include "telvar/telvar.h"
#include "tv_api/command_support.h"

namespace telvar::tool {

namespace {

struct discovery_deleter {
    void operator()(char** result) const { tv_free_discovery(result, nullptr); }
};

// More addresses than this are a mistake more often than a plan: they need --all.
constexpr std::uint64_t unchecked_range = 65536;

// Probes in flight by default on a subnet this host is attached to: a /24 in one round (about
// 0.2 s where nothing answers, against 58 s one after another), while the neighbour entries
// that probing a local subnet makes stay below the kernel's default table size (gc_thresh2,
// 512). Elsewhere (through a gateway, or on this host) a probe makes no neighbour entry, and the
// whole range goes out at once: a silent /16 in well under a second.
constexpr int32_t on_link_in_flight = 256;
constexpr int32_t most_in_flight = 65536;

// Whether the best route in the main table to `addr` (network order) is a directly attached
// subnet of an interface other than loopback; false when the table cannot be read.
bool on_attached_subnet(std::uint32_t addr) {
    std::FILE* f = std::fopen("/proc/net/route", "re");
    if (f == nullptr) return false;
    std::array<char, 256> line{};
    bool attached = false;
    int best_bits = -1;
    std::fgets(line.data(), line.size(), f);  // the heading
    while (std::fgets(line.data(), line.size(), f) != nullptr) {
        std::array<char, 32> iface{};
        unsigned dest = 0, gateway = 0, flags = 0, mask = 0, refs = 0, use = 0, metric = 0;
        // The addresses are printed as the bytes of network order read as a host integer.
        if (std::sscanf(line.data(), "%31s %x %x %x %u %u %u %x", iface.data(), &dest, &gateway, &flags, &refs,
                        &use, &metric, &mask) != 8 || (addr & mask) != dest)
            continue;
        const int bits = __builtin_popcount(mask);
        if (bits <= best_bits) continue;
        best_bits = bits;
        constexpr unsigned through_gateway = 0x2;
        attached = (flags & through_gateway) == 0 && std::string_view(iface.data()) != "lo";
    }
    std::fclose(f);
    return attached;
}

// The first address probed, for -v: a mask's list starts at its first entry.
std::string text_of(std::uint32_t listed, const char* base) {
    if (listed == 0) return base;
    in_addr a{};
    a.s_addr = listed;
    return inet_ntoa(a);
}

// The count of the discover command: a whole number, not a text whose leading digits atoi
// would take.
std::optional<std::uint64_t> count_of(const char* text) {
    if (text == nullptr || *text == '\0' || std::strspn(text, "0123456789") != std::strlen(text))
        return std::nullopt;
    errno = 0;
    const unsigned long long n = std::strtoull(text, nullptr, 10);
    if (errno != 0) {
        errno = 0;
        return std::nullopt;
    }
    return n;
}

[[noreturn]] void refuse(const std::string& why) {
    std::fprintf(stderr, "telvar: discover: %s\n", why.c_str());
    usage();
}

// Redrawn at most ten times a second: a terminal over a slow link is not to be flooded.
void show_progress(uint32_t done, uint32_t total, void* last_drawn) {
    using clock = std::chrono::steady_clock;
    auto& last = *static_cast<clock::time_point*>(last_drawn);
    const auto now = clock::now();
    if (done != total && now - last < std::chrono::milliseconds(100)) return;
    last = now;
    std::fprintf(stderr, "\rprobed %u of %u addresses", done, total);
    if (done == total) std::fprintf(stderr, "\r\033[K");
}

// Takes a --word option off the line (it may stand anywhere); whether it was there.
bool take_word(int32_t& argc, char** argv, std::string_view word) {
    for (int32_t i = 1; i < argc; ++i) {
        if (std::string_view(argv[i]) != word) continue;
        std::copy(argv + i + 1, argv + argc + 1, argv + i);
        --argc;
        return true;
    }
    return false;
}

}  // namespace

char** discover_addresses(int32_t argc, char** argv) {
    // --all and --sequential are the tool's own words, not option letters of the command framework.
    const bool all = take_word(argc, argv, "--all");
    const bool sequential = take_word(argc, argv, "--sequential");
    const char* mask = nullptr;
    const char* jobs = nullptr;
    constexpr std::array<option_def, 2> own{{{'m', true}, {'j', true}}};
    parse_options(argc, argv, own,
                  [&](char letter, const char* value) { (letter == 'm' ? mask : jobs) = value; });
    if (argc < (mask ? 1 : 2)) usage();
    if (argc > (mask ? 1 : 2)) refuse(std::string("unexpected '") + argv[mask ? 1 : 2] + "'");
    if (sequential && jobs != nullptr) refuse("-j and --sequential do not go together");
    int32_t in_flight = 0;  // chosen below, from where the range is
    if (jobs != nullptr) {
        const auto j = count_of(jobs);
        if (!j || *j < 1 || *j > 65536) refuse(std::string("-j takes 1 to 65536, not '") + jobs + "'");
        in_flight = static_cast<int32_t>(*j);
    }

    uint32_t* list = nullptr;
    std::uint64_t probes = 0;
    if (mask != nullptr) {
        list = tv_ip_values_from_mask(argv[0], mask);
        if (list == nullptr) {
            print("Invalid mask %s for %s\n", mask, argv[0]);
            return nullptr;
        }
        while (list[probes] != 0) ++probes;
    } else {
        const auto n = count_of(argv[1]);
        if (!n) refuse(std::string("the range must be a number of addresses, not '") + argv[1] + "'");
        probes = *n;
    }
    if (probes > unchecked_range && !all) {
        std::free(list);
        refuse(std::to_string(probes) + " addresses; more than " + std::to_string(unchecked_range) +
               " need --all");
    }
    if (probes > 0xFFFFFFFFull - 1) {
        std::free(list);
        refuse("the range cannot go beyond the last IPv4 address");
    }
    const auto count = static_cast<int32_t>(std::min<std::uint64_t>(probes, INT32_MAX));
    if (in_flight == 0) {
        in_addr first{};
        const bool known = list != nullptr ? (first.s_addr = list[0], true) : inet_aton(argv[0], &first) != 0;
        in_flight = known && on_attached_subnet(first.s_addr) ? on_link_in_flight : most_in_flight;
    }
    if (current_notice_level() == notice_level::verbose) {
        // A mask's list is probed up to its last entry, which is not.
        const std::uint64_t probed = list != nullptr && probes > 0 ? probes - 1 : probes;
        const std::string pace = sequential ? "one after another"
                                            : std::to_string(std::min<std::uint64_t>(in_flight, std::max<std::uint64_t>(probed, 1))) + " at a time";
        note("discover: probing %llu addresses from %s, %s", static_cast<unsigned long long>(probed),
             text_of(list != nullptr ? list[0] : 0, argv[0]).c_str(), pace.c_str());
    }
    auto last_drawn = std::chrono::steady_clock::time_point{};
    char** found = sequential ? tv_discover(list, argv[0], count)
                              : tv_discover_parallel(list, argv[0], count, in_flight,
                                                     progress_wanted() ? show_progress : nullptr, &last_drawn);
    std::free(list);
    return found;
}

// discover <base-ip-address> <range>, or discover -m <ip-mask> <base-ip-address>: one
// answering address a line, in probing order. Probes are in flight the whole range at a time, 256
// on an attached subnet (-j N: N), which finds the same addresses in the same order as
// --sequential, the library's one-at-a-time discovery; ranges above 65536 addresses need --all.
// Finding no switch is a result, not a failure; probes that could not be made (a bad mask, no
// socket) are the command's failure.
outcome discover(int32_t argc, char** argv) {
    const std::unique_ptr<char*, discovery_deleter> found{discover_addresses(argc, argv)};
    if (!found) return reported(tv_api_errno);
    if (found.get()[0] == nullptr) print("No switch answered\n");
    for (char** ip = found.get(); *ip != nullptr; ++ip) print("%s\n", *ip);
    return outcome::done();
}

outcome version(int32_t argc, char** argv) {
    parse_options(argc, argv);
    command_context ctx{open_context(argc, argv, 1)};
    if (!ctx) return ctx.failure();
    tv_version_info v{};
    if (tv_get_version(ctx.get(), &v) != 0) return reported(tv_api_errno);
    show_version(&v);
    return outcome::done();
}

outcome chassis_status(int32_t argc, char** argv) {
    parse_options(argc, argv);
    command_context ctx{open_context(argc, argv, 1)};
    if (!ctx) return ctx.failure();
    tv_chassis_status status{};
    if (tv_get_chassis_status(ctx.get(), &status) != 0) return reported(tv_api_errno);
    show_chassis_status(&status);
    tv_sysconfig cfg{};
    if (tv_get_snmp_sysconfig(ctx.get(), &cfg) != 0) return reported(tv_api_errno);
    show_sysconfig(&cfg);
    return outcome::done();
}

outcome switch_reset(int32_t argc, char** argv) {
    // The flags are read here only to name the switch in the question; the command reads them
    // again, to the same values.
    int32_t left = argc;
    char** at = argv;
    parse_options(left, at);
    if (left >= 1 && !confirmed("Reset the switch " + switch_name(at[0]) + "? It restarts and drops what was not saved."))
        return declined("switch_reset");
    return cores::switch_reset(argc, argv);
}

}  // namespace telvar::tool
