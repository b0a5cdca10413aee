// Port status and diagnostics commands of the tool: port_status, port_counts, reset_log,
// start_test, stop_test and test_status. Each combines the library's operations and displays;
// a port is a number from 1 or "all", and a failure on one port of "all" is printed with the
// port's number while the others go on.
#include <sys/select.h>

#include <array>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <functional>

#include "telvar/commands/tool_commands.h"
#include "telvar/framework/command_context.h"
#include "telvar/framework/option_loop.h"
#include "telvar/framework/output.h"
#include "telvar/telvar.h"

namespace telvar::tool {

namespace {

// Defaults of a test: a 2000-byte transfer, ten passes, the pattern 7e7e7e7e.
constexpr uint32_t default_transfer_size = 2000;
constexpr uint32_t default_passes = 10;
constexpr uint32_t default_pattern = 0x7E7E7E7E;
constexpr uint64_t longest_wait_ms = 3600 * 1000;

// The value of an option: a whole number in `base` (hexadecimal may carry 0x) up to `max`.
// Anything else is a command-line error.
uint32_t option_number(char letter, const char* text, int base, uint64_t max) {
    const auto first = static_cast<unsigned char>(text[0]);
    char* end = nullptr;
    errno = 0;
    const unsigned long long v = std::strtoull(text, &end, base);
    if (!(base == 16 ? std::isxdigit(first) : std::isdigit(first)) || *end != '\0' || errno != 0 || v > max) {
        errno = 0;
        print("Bad value for -%c: %s\n", letter, text);
        usage();
    }
    return static_cast<uint32_t>(v);
}

// Runs `each` for the port, or for every port of the switch; with "all" a failure names its
// port before the error, and the first failure is the command's.
outcome for_ports(int32_t port, const std::function<int32_t(int32_t)>& each) {
    const bool all = port == TV_ALL_PORTS;
    outcome result;
    for (int32_t p = all ? 0 : port; p <= (all ? Max_Ports - 1 : port); ++p) {
        if (each(p) == 0) continue;
        if (all) print("Port %d: ", p + 1);
        result.also(reported(tv_api_errno));
    }
    return result;
}

// "SUCCESS\n" when the operation succeeded, else its error.
outcome report(int32_t status) {
    if (status != 0) return reported(tv_api_errno);
    print("SUCCESS\n");
    return outcome::done(true);
}

void wait_ms(uint32_t ms) {
    timeval tv{static_cast<time_t>(ms / 1000), static_cast<suseconds_t>(ms % 1000 * 1000)};
    select(0, nullptr, nullptr, nullptr, &tv);
}

// The rest of a command of the address and a port text, once its options are read: `body` on
// the open context and the port.
outcome on_port(int32_t argc, char** argv, const std::function<outcome(tv_context*, int32_t)>& body) {
    int32_t port = 0;
    command_context ctx{open_with_port(argc, argv, port)};
    if (!ctx) return ctx.failure();
    return body(ctx.get(), port);
}

outcome show_test(tv_context* ctx, int32_t port) {
    tv_test_status_info status{};
    if (tv_test_status(ctx, &status) != 0) return reported(tv_api_errno);
    show_test_status(&status, port);
    return outcome::done();
}

}  // namespace

// port_status [-a] <ip-address> <port|all>: with -a the ALPAs still free follow.
outcome port_status(int32_t argc, char** argv) {
    bool alpas = false;
    constexpr std::array<option_def, 1> own{{{'a', false}}};
    parse_options(argc, argv, own, [&](char, const char*) { alpas = true; });
    return on_port(argc, argv, [&](tv_context* ctx, int32_t port) {
        if (alpas) {
            if (const int32_t code = init_record_alpa(ctx); code != 0) return reported(code);
        }
        const outcome result = for_ports(port, [&](int32_t p) {
            tv_port_status status{};
            const int32_t code = tv_get_port_status(ctx, static_cast<uint32_t>(p), &status);
            if (code == 0) show_port_status(&status);
            tv_free_port_status(&status);
            return code;
        });
        if (alpas) show_available_alpas();
        return result;
    });
}

// port_counts <ip-address> <port|all>
outcome port_counts(int32_t argc, char** argv) {
    parse_options(argc, argv);
    return on_port(argc, argv, [](tv_context* ctx, int32_t port) {
        return for_ports(port, [&](int32_t p) {
            tv_port_counters counters{};
            const int32_t code = tv_get_port_counters(ctx, static_cast<uint8_t>(p), &counters);
            if (code == 0) show_port_counters(p, &counters);
            return code;
        });
    });
}

// reset_log <ip-address>
outcome reset_log(int32_t argc, char** argv) {
    parse_options(argc, argv);
    command_context ctx{open_context(argc, argv, 1)};
    if (!ctx) return ctx.failure();
    return report(tv_reset_log(ctx.get()));
}

// start_test [-x <xfer-size>] [-n <number-of-passes>] [-r] [-t <test-pattern>] [-w <wait-msec>]
//     <ip-address> <port|all>
// -r resets the test log first; -w waits that long once the test runs and shows its status.
outcome start_test(int32_t argc, char** argv) {
    uint32_t size = default_transfer_size, passes = default_passes, pattern = default_pattern;
    bool reset = false;
    int64_t wait = -1;
    constexpr std::array<option_def, 5> own{{{'x', true}, {'n', true}, {'r', false}, {'t', true}, {'w', true}}};
    parse_options(argc, argv, own, [&](char letter, const char* value) {
        switch (letter) {
            case 'x': size = option_number(letter, value, 10, UINT32_MAX); break;
            case 'n': passes = option_number(letter, value, 10, UINT32_MAX); break;
            case 't': pattern = option_number(letter, value, 16, UINT32_MAX); break;
            case 'w': wait = option_number(letter, value, 10, longest_wait_ms); break;
            default: reset = true; break;
        }
    });
    return on_port(argc, argv, [&](tv_context* ctx, int32_t port) {
        if (reset && tv_reset_log(ctx) != 0) return reported(tv_api_errno);
        outcome started = report(tv_start_test(ctx, static_cast<uint32_t>(port), size, passes, pattern));
        if (!started.ok() || wait < 0) return started;
        wait_ms(static_cast<uint32_t>(wait));
        return started.also(show_test(ctx, port));
    });
}

// stop_test <ip-address> <port|all>: the test stops on every port it runs on; the port is
// checked as every port argument is.
outcome stop_test(int32_t argc, char** argv) {
    parse_options(argc, argv);
    return on_port(argc, argv, [](tv_context* ctx, int32_t) { return report(tv_stop_test(ctx)); });
}

// test_status <ip-address> <port|all>
outcome test_status(int32_t argc, char** argv) {
    parse_options(argc, argv);
    return on_port(argc, argv, [](tv_context* ctx, int32_t port) { return show_test(ctx, port); });
}

}  // namespace telvar::tool
