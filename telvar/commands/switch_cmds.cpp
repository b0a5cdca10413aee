// Switch-level commands of the tool: discover, version, chassis_status, and switch_reset asked
// about first.
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
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

void show_progress(uint32_t done, uint32_t total, void*) {
    std::fprintf(stderr, "\rprobed %u of %u addresses", done, total);
    if (done == total) std::fprintf(stderr, "\r\033[K");
}

}  // namespace

char** discover_addresses(int32_t argc, char** argv) {
    bool all = false;
    // --all is the tool's own word, not an option letter of the command framework.
    for (int32_t i = 1; i < argc; ++i) {
        if (std::string_view(argv[i]) != "--all") continue;
        all = true;
        std::copy(argv + i + 1, argv + argc + 1, argv + i);
        --argc;
        break;
    }
    const char* mask = nullptr;
    const char* jobs = nullptr;
    constexpr std::array<option_def, 2> own{{{'m', true}, {'j', true}}};
    parse_options(argc, argv, own,
                  [&](char letter, const char* value) { (letter == 'm' ? mask : jobs) = value; });
    if (argc < (mask ? 1 : 2)) usage();
    if (argc > (mask ? 1 : 2)) refuse(std::string("unexpected '") + argv[mask ? 1 : 2] + "'");
    int32_t in_flight = 0;
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
    const bool progress = in_flight > 0 && isatty(STDERR_FILENO);
    char** found = in_flight > 0 ? tv_discover_parallel(list, argv[0], count, in_flight,
                                                        progress ? show_progress : nullptr, nullptr)
                                 : tv_discover(list, argv[0], count);
    std::free(list);
    return found;
}

// discover <base-ip-address> <range>, or discover -m <ip-mask> <base-ip-address>: one
// answering address a line, in probing order. -j N keeps N probes in flight (the same addresses
// in the same order); ranges above 65536 addresses need --all.
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
