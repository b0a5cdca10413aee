// Trap commands of the tool: show and change the trap configuration, turn trapping on and off,
// listen for trap messages, and make the switch raise a test trap.
//
// trap_listen holds a registration in the switch while it loops; whatever ends the loop (the
// time limit, a key, an interrupt) it unregisters before it returns, and the terminal is put in
// non-canonical mode only for the instant of each key check.
#include <arpa/inet.h>
#include <sys/select.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "telvar/commands/command_cores.h"
#include "telvar/displays/trap_display.h"
#include "telvar/framework/command_context.h"
#include "telvar/framework/option_loop.h"
#include "telvar/framework/output.h"
#include "telvar/telvar.h"
#include "tv_api/command_support.h"

namespace {

using telvar::print;

// A trap code or counter number typed by the user: a byte, or 255 (which no switch accepts)
// for a number that does not fit one, rather than the number cut to its low byte.
std::uint8_t byte_or_invalid(const char* text) {
    const int32_t v = tv::to_int(text);
    return v >= 0 && v <= 0xFF ? static_cast<std::uint8_t>(v) : 0xFF;
}

// The start of a trap command without options of its own: the usage text below two elements,
// the global flags, and the context opened with at least `min` elements from the address.
telvar::opened_context open_trap_command(int32_t& argc, char**& argv, int32_t min) {
    if (argc < 2) usage();
    telvar::parse_options(argc, argv);
    return telvar::open_context(argc, argv, min);
}

// `done` when the operation succeeded, else its error.
telvar::outcome report(int32_t status, const char* done) {
    if (status != 0) return telvar::reported(tv_api_errno);
    print("%s", done);
    return telvar::outcome::done(true);
}

volatile std::sig_atomic_t interrupted = 0;

void on_interrupt(int) { interrupted = 1; }

// While it lives, SIGINT, SIGTERM and SIGHUP only raise a flag, so that an interrupt (or the
// terminal going away) ends listening the way a key does: the listener is released and the
// process ends normally. A signal the process was told to ignore stays ignored.
class interrupt_catcher {
public:
    interrupt_catcher() {
        interrupted = 0;
        struct sigaction sa {};
        sa.sa_handler = on_interrupt;
        sigemptyset(&sa.sa_mask);
        for (std::size_t i = 0; i < signals.size(); ++i) {
            sigaction(signals[i], nullptr, &old_[i]);
            if (old_[i].sa_handler != SIG_IGN) sigaction(signals[i], &sa, nullptr);
        }
    }
    ~interrupt_catcher() {
        for (std::size_t i = 0; i < signals.size(); ++i) sigaction(signals[i], &old_[i], nullptr);
    }
    interrupt_catcher(const interrupt_catcher&) = delete;
    interrupt_catcher& operator=(const interrupt_catcher&) = delete;
    bool caught() const { return interrupted != 0; }

private:
    static constexpr std::array<int, 3> signals{SIGINT, SIGTERM, SIGHUP};
    std::array<struct sigaction, signals.size()> old_{};
};

}  // namespace

namespace telvar::cores {

outcome get_trap_config(int32_t argc, char** argv) {
    command_context ctx{open_trap_command(argc, argv, 1)};
    if (!ctx) return ctx.failure();
    tv_trapping_status status{};
    if (tv_get_trapping_status(ctx.get(), 0, &status) != 0) return reported(tv_api_errno);
    print("Trapping: %s\n", status.enabled != 0 ? "enabled" : "disabled");
    print("Sample Interval: %d ms\n", status.interval);
    tv_trap_config_list list{};
    outcome result;
    if (tv_get_all_trap_configs(ctx.get(), 0, &list) != 0)
        result = reported(tv_api_errno);
    else
        show_trap_configs(&list);
    tv_free_trap_configs(&list);
    return result;
}

outcome set_trap_config(int32_t argc, char** argv) {
    command_context ctx{open_trap_command(argc, argv, 5)};
    if (!ctx) return ctx.failure();
    tv_trap_config config{};
    config.code = byte_or_invalid(argv[1]);
    config.status = std::strcmp(argv[2], "1") == 0 || std::strcmp(argv[2], "on") == 0 ? 1 : 0;
    config.rising = tv::to_int(argv[3]);
    config.falling = tv::to_int(argv[4]);
    return report(tv_set_trap_config(ctx.get(), 1, &config), "SUCCESS\n");
}

outcome set_trapping(int32_t argc, char** argv) {
    if (argc < 2) usage();
    const char* interval = nullptr;
    const char* trapping = nullptr;
    constexpr std::array<option_def, 2> own{{{'i', true}, {'t', true}}};
    parse_options(argc, argv, own, [&](char letter, const char* value) {
        (letter == 'i' ? interval : trapping) = value;
    });
    command_context ctx{open_context(argc, argv, 1)};
    if (!ctx) return ctx.failure();
    tv_trapping_status status{};
    if (tv_get_trapping_status(ctx.get(), 0, &status) != 0) return reported(tv_api_errno);
    if (interval != nullptr) status.interval = tv::to_int(interval);
    if (trapping != nullptr) {
        if (std::strcmp(trapping, "enabled") == 0) {
            status.enabled = 1;
        } else if (std::strcmp(trapping, "disabled") == 0) {
            status.enabled = 0;
        } else {
            ctx.close();
            usage();
        }
    }
    return report(tv_set_trapping_status(ctx.get(), 1, &status), "SUCCESS\n");
}

outcome trap_listen(int32_t argc, char** argv) {
    if (argc < 2) usage();
    double limit_s = 0;  // 0: until a key is pressed
    constexpr std::array<option_def, 1> own{{{'t', true}}};
    parse_options(argc, argv, own, [&](char, const char* value) { limit_s = std::atof(value); });
    const interrupt_catcher interrupt;
    command_context ctx{open_context(argc, argv, 1)};
    if (!ctx) return ctx.failure();
    tv_trap_listener* listener = tv_trap_createlistener(ctx.get());
    if (listener == nullptr) {
        print("create_listener\n");
        return reported(tv_api_errno);
    }
    const sockaddr_in& at = listener->ctx->local_addr;
    print("listening at: %s:%d\n\n%s", inet_ntoa(at.sin_addr), ntohs(at.sin_port), trap_event_header);
    if (fp != nullptr) std::fflush(fp);

    // A steady clock with fractions of a second, so that -t holds whatever the wall clock does.
    const auto start = std::chrono::steady_clock::now();
    const uint32_t dropped_before = tv_get_dropped_unsolicited();
    for (;;) {
        tv_trap_event event{};
        if (tv_trap_listen(listener, 200, &event) == 0) {
            print("%s", trap_event_line(event, std::time(nullptr)).c_str());
            if (fp != nullptr) std::fflush(fp);
        }
        const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
        if (limit_s > 0 && elapsed.count() >= limit_s) break;
        if (interrupt.caught() || _kbhit() > 0) break;
    }
    print("stopped\n");
    // Said apart from the report, so that a script reading the events is not disturbed.
    if (const uint32_t dropped = tv_get_dropped_unsolicited() - dropped_before; dropped > 0)
        std::fprintf(stderr, "%u datagram%s dropped: not a trap message from the switch\n",
                     static_cast<unsigned>(dropped), dropped == 1 ? "" : "s");
    if (tv_trap_release_listener(ctx.get(), listener) != 0) {
        print("release_listener");
        return reported(tv_api_errno);
    }
    return outcome::done();
}

outcome trap_test(int32_t argc, char** argv) {
    command_context ctx{open_trap_command(argc, argv, 3)};
    if (!ctx) return ctx.failure();
    tv_trap_counter counter{};
    counter.index = byte_or_invalid(argv[1]);
    counter.value_b1 = 1;
    counter.mode = 0;
    counter.value = tv::to_int(argv[2]);
    outcome sent = report(tv_set_trap_counter(ctx.get(), &counter), "message sent\n");
    sent.changed = false;  // a test alert changes nothing in the switch
    return sent;
}

}  // namespace telvar::cores

extern "C" {

int32_t get_trap_config(int32_t argc, char** argv) { return telvar::cores::get_trap_config(argc, argv).returned; }

int32_t set_trap_config(int32_t argc, char** argv) { return telvar::cores::set_trap_config(argc, argv).returned; }

int32_t set_trapping(int32_t argc, char** argv) { return telvar::cores::set_trapping(argc, argv).returned; }

int32_t _kbhit(void) {
    const int saved_errno = errno;  // a failed check must not colour a later print_error
    int32_t result = -1;
    termios saved{};
    // Not a terminal: no key, so only the time limit or an interrupt ends listening. A terminal
    // whose foreground is another process group (this one is a background job, which would be
    // stopped for changing it) is left alone too. Any other terminal is read, also one that is
    // not the controlling terminal of the process (tcgetpgrp fails there, and nothing stops a
    // process for changing it).
    const auto background_job = [] {
        const pid_t foreground = tcgetpgrp(STDIN_FILENO);
        return foreground != -1 && foreground != getpgrp();
    };
    if (tcgetattr(STDIN_FILENO, &saved) == 0 && !background_job()) {
        termios raw = saved;
        raw.c_lflag &= ~static_cast<tcflag_t>(ICANON);
        raw.c_cc[VMIN] = 1;
        raw.c_cc[VTIME] = 0;
        if (tcsetattr(STDIN_FILENO, TCSANOW, &raw) == 0) {
            fd_set readable;
            FD_ZERO(&readable);
            FD_SET(STDIN_FILENO, &readable);
            timeval no_wait{0, 0};
            result = select(STDIN_FILENO + 1, &readable, nullptr, nullptr, &no_wait);
            tcsetattr(STDIN_FILENO, TCSANOW, &saved);
        }
    }
    errno = saved_errno;
    return result;
}

int32_t trap_listen(int32_t argc, char** argv) { return telvar::cores::trap_listen(argc, argv).returned; }

int32_t trap_test(int32_t argc, char** argv) { return telvar::cores::trap_test(argc, argv).returned; }

}  // extern "C"
